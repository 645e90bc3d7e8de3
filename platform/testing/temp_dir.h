#pragma once

#include <string>
#include <vector>

#include "platform/local_time.h"

namespace kestrava::platform::testing {

// A fresh directory under $TMPDIR (else /tmp) for one test, removed with everything in it when the
// TempDir goes. The removal never follows a symbolic link and never descends into another file system
// mounted below it. Names given to the helpers are relative to the directory ("sub/a.jpg" works); the
// helpers throw std::runtime_error when the host refuses.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory with a trailing "/".
  const std::string& path() const { return path_; }

  // path() + name.
  std::string file(const std::string& name) const;

  // Creates or empties the file and writes the bytes into it.
  void write(const std::string& name, const std::string& bytes) const;
  std::string read(const std::string& name) const;

  // The last-write time, set or read without following a symbolic link; the last-access time stays.
  void setLastWriteTime(const std::string& name, const FileTime& time) const;
  FileTime lastWriteTime(const std::string& name) const;

  // The names of the entries of the directory, or of a directory inside it ("." and ".." left out),
  // sorted bytewise.
  std::vector<std::string> names(const std::string& subdirectory = "") const;
  // True when lstat finds the name.
  bool exists(const std::string& name) const;

 private:
  std::string path_;
};

}  // namespace kestrava::platform::testing
