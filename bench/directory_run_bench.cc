// Times a directory run over many small camera JPEGs, with and without the backup, and prints files per
// second. Usage: directory_run_bench [FILES] [DIRECTORY]; the files are made in a fresh subdirectory of
// DIRECTORY (default /tmp), which is removed afterwards.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "batch/batch_run.h"
#include "engine/conversion.h"
#include "platform/env_posix.h"
#include "platform/local_time.h"

namespace {

using namespace kestrava;

class Silent : public platform::MessageBox {
 public:
  void show(const std::string& text) override { last = text; }
  std::string last;
};

std::string smallJpeg(int index) {
  char date[32];
  std::snprintf(date, sizeof date, "2005:08:%02d %02d:%02d:%02d", 1 + index % 28, index / 3600 % 24,
                index / 60 % 60, index % 60);
  std::string app1 = std::string("Exif\0\0MM*\0\0\0\0\0", 14) + date + '\0';
  std::string bytes = "\xFF\xD8\xFF\xE1";
  bytes += static_cast<char>((app1.size() + 2) >> 8);
  bytes += static_cast<char>((app1.size() + 2) & 0xFF);
  bytes += app1 + "\xFF\xDB";
  bytes.append(20000, '\x5A');  // a small picture's worth of data
  return bytes;
}

void makeFiles(const std::string& directory, int count) {
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%05d.JPG", i);
    const std::string bytes = smallJpeg(i);
    FILE* file = std::fopen((directory + name).c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
      std::perror("write");
      std::exit(1);
    }
    std::fclose(file);
  }
}

void removeAll(const std::string& directory) {
  if (DIR* d = opendir(directory.c_str())) {
    while (dirent* entry = readdir(d)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") {
        unlink((directory + name).c_str());
      }
    }
    closedir(d);
  }
  rmdir(directory.c_str());
}

double timeRun(const std::string& directory, bool keepBackup, int* total) {
  const std::unique_ptr<platform::Env> env = platform::newPosixEnv();
  engine::ProcessingOptions options;
  options.keepBackup = keepBackup;
  engine::FixedOptions source(options);
  Silent messages;
  engine::Converter converter(*env, source, messages);
  batch::BatchObserver quiet;
  const batch::BatchRequest request{directory, 1, 1};
  const auto start = std::chrono::steady_clock::now();
  const batch::BatchOutcome outcome = batch::runBatch(request, converter, *env, messages, quiet);
  const auto end = std::chrono::steady_clock::now();
  *total = outcome.total;
  return std::chrono::duration<double>(end - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  const std::string parent = argc > 2 ? argv[2] : "/tmp";
  platform::loadLocalTimeZone();
  for (const bool keepBackup : {false, true}) {
    std::string templ = parent + "/kestrava-bench-XXXXXX";
    if (mkdtemp(templ.data()) == nullptr) {
      std::perror("mkdtemp");
      return 1;
    }
    const std::string directory = templ + "/";
    makeFiles(directory, count);
    sync();
    int total = 0;
    const double seconds = timeRun(directory, keepBackup, &total);
    std::printf("%-14s %6d files counted in %.3f s: %.0f files/s\n",
                keepBackup ? "with backup" : "without backup", total, seconds, total / seconds);
    removeAll(directory);
  }
  return 0;
}
