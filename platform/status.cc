#include "platform/status.h"

#include <cstring>

namespace kestrava::platform {

std::string Status::toString() const {
  if (isOk()) {
    return "OK";
  }
  std::string text = std::strerror(errorNumber_);
  text += " (errno ";
  text += std::to_string(errorNumber_);
  text += ")";
  if (!context_.empty()) {
    text += ": " + context_;
  }
  return text;
}

}  // namespace kestrava::platform
