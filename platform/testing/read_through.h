#pragma once

#include <memory>
#include <string>

#include "platform/env.h"

namespace kestrava::platform::testing {

// The first 4096 bytes of a file as an env opens it, or a text that says why it could not.
inline std::string readThrough(Env& env, const std::string& path) {
  std::unique_ptr<File> file;
  if (!env.openExisting(path, &file)) {
    return "<cannot open>";
  }
  std::string bytes(4096, '\0');
  std::size_t got = 0;
  if (!file->read(bytes.data(), bytes.size(), &got)) {
    return "<cannot read>";
  }
  return bytes.substr(0, got);
}

}  // namespace kestrava::platform::testing
