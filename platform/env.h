#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/local_time.h"
#include "platform/path.h"
#include "platform/status.h"

// The host layer: every file-system, file-time and memory operation that the conversion, the renaming and
// the batch run need, behind one interface that is passed to them. PosixEnv (env_posix.h) is the real
// host; the doubles under platform/testing wrap an Env to inject failures or to fold letter case as
// FAT/exFAT cards do, and the dry run overlays one to keep every change in memory.
//
// Paths are byte strings in the host's encoding (UTF-8 on Linux). No operation creates, truncates,
// replaces or removes anything that its contract does not name.
namespace kestrava::platform {

// What fstat tells of an open file.
struct FileInfo {
  std::uint64_t length = 0;
  FileTime lastWriteTime;
  unsigned permissions = 0;  // the mode bits 07777
};

// An open file. Destroying it closes it; every method but close() needs it open.
class File {
 public:
  virtual ~File() = default;

  virtual Status info(FileInfo* out) = 0;

  // Reads up to n bytes from the current position into dst; *got is the number read, less than n only at
  // the end of the file. Retries interrupted and partial reads itself.
  virtual Status read(char* dst, std::size_t n, std::size_t* got) = 0;

  // Writes all n bytes at the current position, or fails; after a failure an unknown prefix may have
  // been written.
  virtual Status write(const char* src, std::size_t n) = 0;

  // Sets the last-write time, leaving the last-access time as it is.
  virtual Status setLastWriteTime(const FileTime& time) = 0;

  // Closes the file and reports what the host reports of it (a delayed write error shows here).
  // Closing a closed file does nothing and succeeds.
  virtual Status close() = 0;
};

enum class EntryType { RegularFile, Directory, SymbolicLink, Other };

struct DirEntry {
  std::string name;  // without its directory
  EntryType type = EntryType::Other;
};

// A block of memory obtained from the host, released when the Buffer goes.
class Buffer {
 public:
  Buffer() = default;
  Buffer(std::unique_ptr<char[]> data, std::size_t size) : data_(std::move(data)), size_(size) {}
  char* data() { return data_.get(); }
  const char* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
};

class Env {
 public:
  virtual ~Env() = default;

  // The path rules of this host (separators, longest path).
  virtual const PathRules& pathRules() const = 0;

  // Opens an existing regular file for reading and writing, at its start, without creating or truncating
  // it and without following a symbolic link in its last component. Fails with:
  //   ENOENT (and nothing is created) when the path names no file; ENAMETOOLONG when it does not fit;
  //   EACCES when the file has no write permission bit at all, also for root (the read-only attribute);
  //   EINVAL (or what the host says) when it names something other than a regular file.
  virtual Status openExisting(const std::string& path, std::unique_ptr<File>* out) = 0;

  // Creates a new, empty, hidden file for writing in the directory `directory` (given with its trailing
  // separator, or empty for the current directory), never reusing an existing name, and gives it the
  // permission bits `permissions`. *path receives its full path.
  virtual Status createTemporary(const std::string& directory, unsigned permissions, std::unique_ptr<File>* out,
                                 std::string* path) = 0;

  // True when the path can be opened for reading (a name taken by anything readable).
  virtual bool canOpenForReading(const std::string& path) = 0;

  // True when the path names an entry of any kind (lstat succeeds).
  virtual bool exists(const std::string& path) = 0;

  // Deletes a file (unlink).
  virtual Status removeFile(const std::string& path) = 0;

  // Renames `from` to `to`, never replacing an existing entry: EEXIST when `to` exists, and nothing
  // changes. Where the file system refuses the no-replace flag (EINVAL, as FUSE file systems do) it checks
  // that `to` does not exist and then renames.
  virtual Status renameNoReplace(const std::string& from, const std::string& to) = 0;

  // Every entry of a directory but "." and "..", in the host's order, with its type as lstat sees it
  // (a symbolic link is SymbolicLink, whatever it points to). `directory` may end with its separator or
  // not; "." and "" name the current directory.
  virtual Status listDirectory(const std::string& directory, std::vector<DirEntry>* out) = 0;

  // Obtains `size` bytes of uninitialised memory; ENOMEM instead of ending the program when it can't.
  virtual Status allocate(std::size_t size, Buffer* out) = 0;
};

}  // namespace kestrava::platform
