#pragma once

#include <memory>

#include "platform/env.h"

namespace kestrava::platform {

struct PosixEnvOptions {
  // Always take the path used where the file system refuses RENAME_NOREPLACE (check that the target is
  // absent, then rename), so that tests can exercise it on any disk.
  bool forceRenameFallback = false;
};

// The real host: POSIX calls on Linux.
std::unique_ptr<Env> newPosixEnv(PosixEnvOptions options = {});

}  // namespace kestrava::platform
