#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"

namespace kestrava::platform::testing {

// An Env that forwards every call to another one, records it, and refuses chosen calls deterministically,
// so that tests can drive each failure path of the code above it.
//
// log() holds one line per call, in order: "<op> <path>" with <op> one of openExisting, createTemporary
// (the directory), canOpenForReading, exists, remove, listDirectory, allocate (the size in decimal), and,
// for the files it opened or created, info, read, write, setTime, close (the path the file was opened or
// created with); a rename is "rename <from> -> <to>". A refused call is logged too. Files stay usable
// after the env is gone.
class FaultInjectionEnv final : public Env {
 public:
  enum class Op {
    OpenExisting,
    CreateTemporary,
    CanOpenForReading,
    Exists,
    Remove,
    Rename,
    ListDirectory,
    Allocate,
    Read,
    Write,
    SetTime,
    Close
  };

  explicit FaultInjectionEnv(Env& target);
  ~FaultInjectionEnv() override;

  // Counting only the calls of `op` whose path contains `pathPart` (a rename: its from or its to; a file
  // operation: the file's path; allocate: the size in decimal; empty: every call), the (skip+1)-th and
  // the following calls, `times` in all (-1: for ever), fail with errorNumber without reaching the
  // target. A refused close still closes the underlying file; a refused canOpenForReading or exists
  // answers false. Rules add up: each counts the calls it matches, and a call fails when any rule says so.
  void failNext(Op op, int errorNumber, std::string pathPart = "", int skip = 0, int times = 1);

  // Counting every byte written through files of this env from now on (0-based), the write that would
  // write byte k writes the bytes before k to the target and then fails with errorNumber. Once.
  void failWriteAtByte(std::uint64_t k, int errorNumber = EIO);

  // Allocations of more than `bytes` fail with ENOMEM.
  void refuseAllocationsOver(std::size_t bytes);

  // Drops every rule of failNext, failWriteAtByte and refuseAllocationsOver; the log stays.
  void clearFaults();

  const std::vector<std::string>& log() const;
  void clearLog();

  const PathRules& pathRules() const override;
  Status openExisting(const std::string& path, std::unique_ptr<File>* out) override;
  Status createTemporary(const std::string& directory, unsigned permissions, std::unique_ptr<File>* out,
                         std::string* path) override;
  bool canOpenForReading(const std::string& path) override;
  bool exists(const std::string& path) override;
  Status removeFile(const std::string& path) override;
  Status renameNoReplace(const std::string& from, const std::string& to) override;
  Status listDirectory(const std::string& directory, std::vector<DirEntry>* out) override;
  Status allocate(std::size_t size, Buffer* out) override;

  struct State;

 private:
  Env& target_;
  std::shared_ptr<State> state_;
};

}  // namespace kestrava::platform::testing
