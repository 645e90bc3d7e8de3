#include "platform/testing/temp_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace kestrava::platform::testing {
namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path) {
  throw std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

std::string baseDirectory() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string base = tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp";
  if (base.back() != '/') {
    base += '/';
  }
  return base;
}

// The entries but "." and ".."; false when the directory can't be opened.
bool readEntryNames(const std::string& directory, std::vector<std::string>* names) {
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) {
    return false;
  }
  while (const struct dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") {
      names->push_back(name);
    }
  }
  ::closedir(dir);
  return true;
}

// Removes what `path` names and, for a directory, all below it, staying on the device `device`: a file
// system mounted below is left alone, so a mount that outlived its test never loses data.
void removeTree(const std::string& path, dev_t device) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    return;
  }
  if (!S_ISDIR(st.st_mode)) {
    ::unlink(path.c_str());
    return;
  }
  if (st.st_dev != device) {
    return;
  }
  // A test may have taken the rights away; without them a non-root user could not empty it.
  ::chmod(path.c_str(), 0700);
  std::vector<std::string> names;
  readEntryNames(path, &names);
  for (const std::string& name : names) {
    removeTree(path + "/" + name, device);
  }
  ::rmdir(path.c_str());
}

}  // namespace

TempDir::TempDir() {
  std::string pattern = baseDirectory() + "kestrava-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    fail("mkdtemp", pattern);
  }
  path_ = pattern + "/";
}

TempDir::~TempDir() {
  const std::string directory = path_.substr(0, path_.size() - 1);
  struct stat st;
  if (::lstat(directory.c_str(), &st) == 0) {
    removeTree(directory, st.st_dev);
  }
}

std::string TempDir::file(const std::string& name) const {
  return path_ + name;
}

void TempDir::write(const std::string& name, const std::string& bytes) const {
  const std::string target = file(name);
  const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    fail("open", target);
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (w < 0 && errno == EINTR) {
      continue;
    }
    if (w <= 0) {
      ::close(fd);
      fail("write", target);
    }
    done += static_cast<std::size_t>(w);
  }
  if (::close(fd) != 0) {
    fail("close", target);
  }
}

std::string TempDir::read(const std::string& name) const {
  const std::string source = file(name);
  const int fd = ::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    fail("open", source);
  }
  std::string bytes;
  char chunk[65536];
  while (true) {
    const ssize_t r = ::read(fd, chunk, sizeof chunk);
    if (r < 0 && errno == EINTR) {
      continue;
    }
    if (r < 0) {
      ::close(fd);
      fail("read", source);
    }
    if (r == 0) {
      break;
    }
    bytes.append(chunk, static_cast<std::size_t>(r));
  }
  ::close(fd);
  return bytes;
}

void TempDir::setLastWriteTime(const std::string& name, const FileTime& time) const {
  const std::string target = file(name);
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(time.seconds);
  times[1].tv_nsec = time.nanoseconds;
  if (::utimensat(AT_FDCWD, target.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    fail("utimensat", target);
  }
}

FileTime TempDir::lastWriteTime(const std::string& name) const {
  const std::string target = file(name);
  struct stat st;
  if (::lstat(target.c_str(), &st) != 0) {
    fail("lstat", target);
  }
  return FileTime{static_cast<std::int64_t>(st.st_mtim.tv_sec),
                  static_cast<std::int32_t>(st.st_mtim.tv_nsec)};
}

std::vector<std::string> TempDir::names(const std::string& subdirectory) const {
  const std::string directory = file(subdirectory);
  std::vector<std::string> names;
  if (!readEntryNames(directory, &names)) {
    fail("opendir", directory);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool TempDir::exists(const std::string& name) const {
  struct stat st;
  return ::lstat(file(name).c_str(), &st) == 0;
}

}  // namespace kestrava::platform::testing
