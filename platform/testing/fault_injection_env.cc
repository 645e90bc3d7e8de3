#include "platform/testing/fault_injection_env.h"

#include <optional>
#include <utility>

namespace kestrava::platform::testing {
namespace {

using Op = FaultInjectionEnv::Op;

const char* opName(Op op) {
  switch (op) {
    case Op::OpenExisting:
      return "openExisting";
    case Op::CreateTemporary:
      return "createTemporary";
    case Op::CanOpenForReading:
      return "canOpenForReading";
    case Op::Exists:
      return "exists";
    case Op::Remove:
      return "remove";
    case Op::Rename:
      return "rename";
    case Op::ListDirectory:
      return "listDirectory";
    case Op::Allocate:
      return "allocate";
    case Op::Read:
      return "read";
    case Op::Write:
      return "write";
    case Op::SetTime:
      return "setTime";
    case Op::Close:
      return "close";
  }
  return "?";
}

struct FaultRule {
  Op op;
  int errorNumber;
  std::string pathPart;
  int skip;
  int times;  // -1: for ever

  bool matches(Op calledOp, const std::string& path, const std::string& otherPath) const {
    if (calledOp != op) {
      return false;
    }
    return pathPart.empty() || path.find(pathPart) != std::string::npos ||
           otherPath.find(pathPart) != std::string::npos;
  }

  // Counts one matching call; true when this call is to fail.
  bool countCall() {
    if (skip > 0) {
      --skip;
      return false;
    }
    if (times == 0) {
      return false;
    }
    if (times > 0) {
      --times;
    }
    return true;
  }
};

}  // namespace

struct FaultInjectionEnv::State {
  std::vector<FaultRule> rules;
  std::optional<std::uint64_t> writeFailureByte;
  int writeFailureErrno = EIO;
  std::uint64_t bytesWritten = 0;
  std::optional<std::size_t> allocationLimit;
  std::vector<std::string> log;

  void record(Op op, const std::string& path) { log.push_back(std::string(opName(op)) + " " + path); }

  // Every rule that matches counts the call; the first that fires gives the error.
  int injectedError(Op op, const std::string& path, const std::string& otherPath = {}) {
    int error = 0;
    for (FaultRule& rule : rules) {
      if (rule.matches(op, path, otherPath) && rule.countCall() && error == 0) {
        error = rule.errorNumber;
      }
    }
    return error;
  }
};

namespace {

class FaultInjectionFile final : public File {
 public:
  FaultInjectionFile(std::unique_ptr<File> target, std::string path,
                     std::shared_ptr<FaultInjectionEnv::State> state)
      : target_(std::move(target)), path_(std::move(path)), state_(std::move(state)) {}

  Status info(FileInfo* out) override {
    state_->log.push_back("info " + path_);
    return target_->info(out);
  }

  Status read(char* dst, std::size_t n, std::size_t* got) override {
    state_->record(Op::Read, path_);
    if (const int error = state_->injectedError(Op::Read, path_)) {
      *got = 0;
      return Status::error(error, path_);
    }
    return target_->read(dst, n, got);
  }

  Status write(const char* src, std::size_t n) override {
    state_->record(Op::Write, path_);
    if (const int error = state_->injectedError(Op::Write, path_)) {
      return Status::error(error, path_);
    }
    const std::uint64_t start = state_->bytesWritten;
    if (state_->writeFailureByte && *state_->writeFailureByte < start + n) {
      return writePrefixThenFail(src, static_cast<std::size_t>(*state_->writeFailureByte - start));
    }
    Status status = target_->write(src, n);
    if (status) {
      state_->bytesWritten += n;
    }
    return status;
  }

  Status setLastWriteTime(const FileTime& time) override {
    state_->record(Op::SetTime, path_);
    if (const int error = state_->injectedError(Op::SetTime, path_)) {
      return Status::error(error, path_);
    }
    return target_->setLastWriteTime(time);
  }

  Status close() override {
    state_->record(Op::Close, path_);
    if (const int error = state_->injectedError(Op::Close, path_)) {
      target_->close();
      return Status::error(error, path_);
    }
    return target_->close();
  }

 private:
  Status writePrefixThenFail(const char* src, std::size_t prefix) {
    const int error = state_->writeFailureErrno;
    state_->writeFailureByte.reset();
    if (prefix > 0) {
      if (Status status = target_->write(src, prefix); !status) {
        return status;
      }
      state_->bytesWritten += prefix;
    }
    return Status::error(error, path_);
  }

  std::unique_ptr<File> target_;
  std::string path_;
  std::shared_ptr<FaultInjectionEnv::State> state_;
};

}  // namespace

FaultInjectionEnv::FaultInjectionEnv(Env& target) : target_(target), state_(std::make_shared<State>()) {}

FaultInjectionEnv::~FaultInjectionEnv() = default;

void FaultInjectionEnv::failNext(Op op, int errorNumber, std::string pathPart, int skip, int times) {
  state_->rules.push_back(FaultRule{op, errorNumber, std::move(pathPart), skip, times});
}

void FaultInjectionEnv::failWriteAtByte(std::uint64_t k, int errorNumber) {
  state_->writeFailureByte = state_->bytesWritten + k;
  state_->writeFailureErrno = errorNumber;
}

void FaultInjectionEnv::refuseAllocationsOver(std::size_t bytes) {
  state_->allocationLimit = bytes;
}

void FaultInjectionEnv::clearFaults() {
  state_->rules.clear();
  state_->writeFailureByte.reset();
  state_->allocationLimit.reset();
}

const std::vector<std::string>& FaultInjectionEnv::log() const {
  return state_->log;
}

void FaultInjectionEnv::clearLog() {
  state_->log.clear();
}

const PathRules& FaultInjectionEnv::pathRules() const {
  return target_.pathRules();
}

Status FaultInjectionEnv::openExisting(const std::string& path, std::unique_ptr<File>* out) {
  state_->record(Op::OpenExisting, path);
  if (const int error = state_->injectedError(Op::OpenExisting, path)) {
    return Status::error(error, path);
  }
  std::unique_ptr<File> file;
  Status status = target_.openExisting(path, &file);
  if (status) {
    *out = std::make_unique<FaultInjectionFile>(std::move(file), path, state_);
  }
  return status;
}

Status FaultInjectionEnv::createTemporary(const std::string& directory, unsigned permissions,
                                          std::unique_ptr<File>* out, std::string* path) {
  state_->record(Op::CreateTemporary, directory);
  if (const int error = state_->injectedError(Op::CreateTemporary, directory)) {
    return Status::error(error, directory);
  }
  std::unique_ptr<File> file;
  std::string created;
  Status status = target_.createTemporary(directory, permissions, &file, &created);
  if (status) {
    *out = std::make_unique<FaultInjectionFile>(std::move(file), created, state_);
    *path = std::move(created);
  }
  return status;
}

bool FaultInjectionEnv::canOpenForReading(const std::string& path) {
  state_->record(Op::CanOpenForReading, path);
  if (state_->injectedError(Op::CanOpenForReading, path) != 0) {
    return false;
  }
  return target_.canOpenForReading(path);
}

bool FaultInjectionEnv::exists(const std::string& path) {
  state_->record(Op::Exists, path);
  if (state_->injectedError(Op::Exists, path) != 0) {
    return false;
  }
  return target_.exists(path);
}

Status FaultInjectionEnv::removeFile(const std::string& path) {
  state_->record(Op::Remove, path);
  if (const int error = state_->injectedError(Op::Remove, path)) {
    return Status::error(error, path);
  }
  return target_.removeFile(path);
}

Status FaultInjectionEnv::renameNoReplace(const std::string& from, const std::string& to) {
  state_->record(Op::Rename, from + " -> " + to);
  if (const int error = state_->injectedError(Op::Rename, from, to)) {
    return Status::error(error, from + " -> " + to);
  }
  return target_.renameNoReplace(from, to);
}

Status FaultInjectionEnv::listDirectory(const std::string& directory, std::vector<DirEntry>* out) {
  state_->record(Op::ListDirectory, directory);
  if (const int error = state_->injectedError(Op::ListDirectory, directory)) {
    return Status::error(error, directory);
  }
  return target_.listDirectory(directory, out);
}

Status FaultInjectionEnv::allocate(std::size_t size, Buffer* out) {
  const std::string sizeText = std::to_string(size);
  state_->record(Op::Allocate, sizeText);
  if (const int error = state_->injectedError(Op::Allocate, sizeText)) {
    return Status::error(error, sizeText + " bytes");
  }
  if (state_->allocationLimit && size > *state_->allocationLimit) {
    return Status::error(ENOMEM, sizeText + " bytes");
  }
  return target_.allocate(size, out);
}

}  // namespace kestrava::platform::testing
