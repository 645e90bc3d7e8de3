#include "platform/testing/fat_mount.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

namespace kestrava::platform::testing {
namespace {

constexpr off_t kImageBytes = 8 * 1024 * 1024;
// fusefat returns once the mount is in place; the polls only guard against a slow daemon.
constexpr int kMountPolls = 200;
constexpr int kUnmountAttempts = 50;
constexpr auto kPollInterval = std::chrono::milliseconds(25);

// The full path of an executable program, looked for on PATH and in the sbin directories that a
// non-root PATH often lacks; empty when there is none.
std::string findProgram(const std::string& name) {
  const char* pathVariable = std::getenv("PATH");
  std::string directories = pathVariable != nullptr ? pathVariable : "";
  directories += ":/usr/local/sbin:/usr/sbin:/sbin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= directories.size()) {
    std::size_t end = directories.find(':', start);
    if (end == std::string::npos) {
      end = directories.size();
    }
    const std::string directory = directories.substr(start, end - start);
    if (!directory.empty()) {
      const std::string candidate = directory + "/" + name;
      if (::access(candidate.c_str(), X_OK) == 0) {
        return candidate;
      }
    }
    start = end + 1;
  }
  return {};
}

std::string findFusermount() {
  const std::string fusermount = findProgram("fusermount");
  return fusermount.empty() ? findProgram("fusermount3") : fusermount;
}

// Runs a program with its standard streams on /dev/null (a daemon that keeps the test's output pipe open
// would keep the test runner waiting) and gives its exit code, or -1 when it could not run.
int runQuietly(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    return -1;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      return -1;
    }
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool isMountPoint(const std::string& directory) {
  struct stat self;
  struct stat parent;
  return ::stat(directory.c_str(), &self) == 0 && ::stat((directory + "..").c_str(), &parent) == 0 &&
         self.st_dev != parent.st_dev;
}

void makeImage(const std::string& image) {
  const int fd = ::open(image.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0 || ::ftruncate(fd, kImageBytes) != 0) {
    if (fd >= 0) {
      ::close(fd);
    }
    throw std::runtime_error("cannot create the FAT image " + image);
  }
  ::close(fd);
  const std::string mkfs = findProgram("mkfs.fat");
  if (mkfs.empty() || runQuietly({mkfs, image}) != 0) {
    throw std::runtime_error("mkfs.fat failed on " + image);
  }
}

std::string probeAvailability() {
  const int fuse = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
  if (fuse < 0) {
    return "FAT tests need /dev/fuse, which cannot be opened here";
  }
  ::close(fuse);
  for (const char* program : {"fusefat", "mkfs.fat"}) {
    if (findProgram(program).empty()) {
      return std::string("FAT tests need ") + program + ", which is not installed";
    }
  }
  if (findFusermount().empty()) {
    return "FAT tests need fusermount, which is not installed";
  }
  try {
    FatMount trial;
  } catch (const std::exception& error) {
    return std::string("FAT tests cannot mount an image: ") + error.what();
  }
  return {};
}

}  // namespace

std::string FatMount::unavailableReason() {
  static const std::string reason = probeAvailability();
  return reason;
}

FatMount::FatMount() {
  const std::string image = workspace_.file("card.img");
  makeImage(image);
  mountPoint_ = workspace_.file("card/");
  if (::mkdir(mountPoint_.c_str(), 0700) != 0) {
    throw std::runtime_error("cannot make the mount point " + mountPoint_);
  }
  const std::string fusefat = findProgram("fusefat");
  if (fusefat.empty() || runQuietly({fusefat, "-o", "rw+", image, mountPoint_}) != 0) {
    throw std::runtime_error("fusefat failed to mount " + image);
  }
  for (int poll = 0; poll < kMountPolls && !mounted_; ++poll) {
    mounted_ = isMountPoint(mountPoint_);
    if (!mounted_) {
      std::this_thread::sleep_for(kPollInterval);
    }
  }
  if (!mounted_) {
    throw std::runtime_error("fusefat did not mount " + image);
  }
}

FatMount::~FatMount() {
  unmount();
}

void FatMount::unmount() {
  if (!mounted_) {
    return;
  }
  const std::string fusermount = findFusermount();
  // A file the test left open keeps the mount busy until its descriptor is closed.
  for (int attempt = 0; attempt < kUnmountAttempts && isMountPoint(mountPoint_); ++attempt) {
    if (runQuietly({fusermount, "-u", mountPoint_}) != 0) {
      std::this_thread::sleep_for(kPollInterval);
    }
  }
  if (isMountPoint(mountPoint_)) {
    runQuietly({fusermount, "-u", "-z", mountPoint_});
  }
  mounted_ = false;
}

}  // namespace kestrava::platform::testing
