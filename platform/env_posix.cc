#ifndef _GNU_SOURCE
#define _GNU_SOURCE  // renameat2 and RENAME_NOREPLACE
#endif

#include "platform/env_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <new>
#include <utility>
#include <vector>

namespace kestrava::platform {
namespace {

constexpr char kTemporaryNameTemplate[] = ".kestrava-XXXXXX";

Status errnoStatus(const std::string& context) {
  return Status::error(errno, context);
}

Status tooLong(const std::string& path) {
  return Status::error(ENAMETOOLONG, path);
}

// Closes fd without letting close(2) change the errno that describes the failure being reported.
void closeQuietly(int fd) {
  const int saved = errno;
  ::close(fd);
  errno = saved;
}

class PosixFile final : public File {
 public:
  PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixFile() override { close(); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  Status info(FileInfo* out) override {
    if (fd_ < 0) {
      return Status::error(EBADF, path_);
    }
    struct stat st;
    if (::fstat(fd_, &st) != 0) {
      return errnoStatus(path_);
    }
    out->length = static_cast<std::uint64_t>(st.st_size);
    out->lastWriteTime =
        FileTime{static_cast<std::int64_t>(st.st_mtim.tv_sec), static_cast<std::int32_t>(st.st_mtim.tv_nsec)};
    out->permissions = static_cast<unsigned>(st.st_mode & 07777);
    return Status::ok();
  }

  Status read(char* dst, std::size_t n, std::size_t* got) override {
    *got = 0;
    if (fd_ < 0) {
      return Status::error(EBADF, path_);
    }
    while (*got < n) {
      const ssize_t r = ::read(fd_, dst + *got, n - *got);
      if (r < 0) {
        if (errno == EINTR) {
          continue;
        }
        return errnoStatus(path_);
      }
      if (r == 0) {
        break;
      }
      *got += static_cast<std::size_t>(r);
    }
    return Status::ok();
  }

  Status write(const char* src, std::size_t n) override {
    if (fd_ < 0) {
      return Status::error(EBADF, path_);
    }
    std::size_t done = 0;
    while (done < n) {
      const ssize_t w = ::write(fd_, src + done, n - done);
      if (w < 0) {
        if (errno == EINTR) {
          continue;
        }
        return errnoStatus(path_);
      }
      if (w == 0) {
        // A regular file never takes nothing without saying why; looping would never end.
        return Status::error(EIO, path_);
      }
      done += static_cast<std::size_t>(w);
    }
    return Status::ok();
  }

  Status setLastWriteTime(const FileTime& time) override {
    if (fd_ < 0) {
      return Status::error(EBADF, path_);
    }
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(time.seconds);
    times[1].tv_nsec = time.nanoseconds;
    if (::futimens(fd_, times) != 0) {
      return errnoStatus(path_);
    }
    return Status::ok();
  }

  Status close() override {
    if (fd_ < 0) {
      return Status::ok();
    }
    const int fd = std::exchange(fd_, -1);
    // Linux releases the descriptor even when close(2) fails, so it is never retried.
    if (::close(fd) != 0) {
      return errnoStatus(path_);
    }
    return Status::ok();
  }

 private:
  int fd_;
  std::string path_;
};

bool hasNoWritePermission(const struct stat& st) {
  return (st.st_mode & 0222) == 0;
}

Status clearNonBlocking(int fd, const std::string& path) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    return errnoStatus(path);
  }
  return Status::ok();
}

// The permission bits of a new file; a file system without any (fusefat answers ENOSYS) keeps the mode
// it gives every file, as it does for the files the new one replaces.
Status applyPermissions(int fd, unsigned permissions, const std::string& path) {
  if (::fchmod(fd, static_cast<mode_t>(permissions & 07777)) == 0) {
    return Status::ok();
  }
  if (errno == ENOSYS || errno == EOPNOTSUPP || errno == ENOTSUP) {
    return Status::ok();
  }
  return errnoStatus(path);
}

EntryType entryTypeOfMode(mode_t mode) {
  if (S_ISREG(mode)) {
    return EntryType::RegularFile;
  }
  if (S_ISDIR(mode)) {
    return EntryType::Directory;
  }
  if (S_ISLNK(mode)) {
    return EntryType::SymbolicLink;
  }
  return EntryType::Other;
}

EntryType entryTypeOf(DIR* dir, const struct dirent& entry) {
  switch (entry.d_type) {
    case DT_REG:
      return EntryType::RegularFile;
    case DT_DIR:
      return EntryType::Directory;
    case DT_LNK:
      return EntryType::SymbolicLink;
    case DT_UNKNOWN: {
      struct stat st;
      if (::fstatat(::dirfd(dir), entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return EntryType::Other;  // gone since readdir saw it
      }
      return entryTypeOfMode(st.st_mode);
    }
    default:
      return EntryType::Other;
  }
}

bool isDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool refusesNoReplaceFlag(int errorNumber) {
  return errorNumber == EINVAL || errorNumber == ENOSYS;
}

class PosixEnv final : public Env {
 public:
  explicit PosixEnv(PosixEnvOptions options) : options_(options), rules_(PathRules::host()) {}

  const PathRules& pathRules() const override { return rules_; }

  Status openExisting(const std::string& path, std::unique_ptr<File>* out) override {
    if (!fitsPath(path, rules_)) {
      return tooLong(path);
    }
    // O_NONBLOCK keeps the open of a FIFO or a device from waiting; such a file is refused below.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
      return errnoStatus(path);
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
      const Status status = errnoStatus(path);
      closeQuietly(fd);
      return status;
    }
    if (!S_ISREG(st.st_mode)) {
      ::close(fd);
      return Status::error(EINVAL, path);
    }
    // Root may write to any file, but a file without a write bit is one the user marked read-only.
    if (hasNoWritePermission(st)) {
      ::close(fd);
      return Status::error(EACCES, path);
    }
    if (Status status = clearNonBlocking(fd, path); !status) {
      closeQuietly(fd);
      return status;
    }
    *out = std::make_unique<PosixFile>(fd, path);
    return Status::ok();
  }

  Status createTemporary(const std::string& directory, unsigned permissions, std::unique_ptr<File>* out,
                         std::string* path) override {
    std::string name = directory + kTemporaryNameTemplate;
    if (!fitsPath(name, rules_)) {
      return tooLong(name);
    }
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
      return errnoStatus(directory);
    }
    if (Status status = applyPermissions(fd, permissions, name); !status) {
      closeQuietly(fd);
      ::unlink(name.c_str());
      return status;
    }
    *out = std::make_unique<PosixFile>(fd, name);
    *path = std::move(name);
    return Status::ok();
  }

  bool canOpenForReading(const std::string& path) override {
    if (!fitsPath(path, rules_)) {
      return false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
      return false;
    }
    ::close(fd);
    return true;
  }

  bool exists(const std::string& path) override {
    struct stat st;
    return fitsPath(path, rules_) && ::lstat(path.c_str(), &st) == 0;
  }

  Status removeFile(const std::string& path) override {
    if (!fitsPath(path, rules_)) {
      return tooLong(path);
    }
    if (::unlink(path.c_str()) != 0) {
      return errnoStatus(path);
    }
    return Status::ok();
  }

  Status renameNoReplace(const std::string& from, const std::string& to) override {
    if (!fitsPath(from, rules_)) {
      return tooLong(from);
    }
    if (!fitsPath(to, rules_)) {
      return tooLong(to);
    }
    if (!options_.forceRenameFallback) {
      if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return Status::ok();
      }
      if (!refusesNoReplaceFlag(errno)) {
        return errnoStatus(from + " -> " + to);
      }
    }
    return renameAfterCheckingTarget(from, to);
  }

  Status listDirectory(const std::string& directory, std::vector<DirEntry>* out) override {
    out->clear();
    if (!fitsPath(directory, rules_)) {
      return tooLong(directory);
    }
    DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
    if (dir == nullptr) {
      return errnoStatus(directory);
    }
    Status status = readEntries(dir, directory, out);
    ::closedir(dir);
    return status;
  }

  Status allocate(std::size_t size, Buffer* out) override {
    // new[] of more than PTRDIFF_MAX bytes is not required to return null; never ask for it.
    if (size > static_cast<std::size_t>(PTRDIFF_MAX)) {
      return Status::error(ENOMEM, std::to_string(size) + " bytes");
    }
    char* data = new (std::nothrow) char[size];
    if (data == nullptr) {
      return Status::error(ENOMEM, std::to_string(size) + " bytes");
    }
    *out = Buffer(std::unique_ptr<char[]>(data), size);
    return Status::ok();
  }

 private:
  // Where the file system cannot rename atomically without replacing, a target that appears between the
  // check and the rename would be replaced; the system runs alone on its files, so that window stays open.
  Status renameAfterCheckingTarget(const std::string& from, const std::string& to) {
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) {
      return Status::error(EEXIST, from + " -> " + to);
    }
    if (errno != ENOENT) {
      // Without knowing that the target is absent, renaming might replace it.
      return errnoStatus(from + " -> " + to);
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
      return errnoStatus(from + " -> " + to);
    }
    return Status::ok();
  }

  static Status readEntries(DIR* dir, const std::string& directory, std::vector<DirEntry>* out) {
    while (true) {
      errno = 0;
      const struct dirent* entry = ::readdir(dir);
      if (entry == nullptr) {
        return errno == 0 ? Status::ok() : errnoStatus(directory);
      }
      if (isDotOrDotDot(entry->d_name)) {
        continue;
      }
      out->push_back(DirEntry{entry->d_name, entryTypeOf(dir, *entry)});
    }
  }

  PosixEnvOptions options_;
  PathRules rules_;
};

}  // namespace

std::unique_ptr<Env> newPosixEnv(PosixEnvOptions options) {
  return std::make_unique<PosixEnv>(options);
}

}  // namespace kestrava::platform
