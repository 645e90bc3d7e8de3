#pragma once

#include <string>

namespace kestrava::platform {

// The outcome of one host operation: success, or the errno value the host reported, with the path the
// operation was about (for diagnostics; messages to the user show only the number).
class Status {
 public:
  Status() = default;
  static Status ok() { return Status(); }
  static Status error(int errorNumber, std::string context = {}) {
    return Status(errorNumber == 0 ? -1 : errorNumber, std::move(context));
  }

  bool isOk() const { return errorNumber_ == 0; }
  explicit operator bool() const { return isOk(); }
  // errno of the failure (EEXIST is 17 on Linux); 0 on success.
  int errorNumber() const { return errorNumber_; }
  const std::string& context() const { return context_; }
  std::string toString() const;

 private:
  Status(int errorNumber, std::string context) : errorNumber_(errorNumber), context_(std::move(context)) {}
  int errorNumber_ = 0;
  std::string context_;
};

}  // namespace kestrava::platform
