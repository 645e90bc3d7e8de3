#include <unistd.h>

#include <iostream>

#include "cli/cli.h"
#include "platform/env_posix.h"
#include "platform/local_time.h"

int main(int argc, char** argv) {
  kestrava::platform::loadLocalTimeZone();
  const std::vector<std::string> args(argv + 1, argv + argc);
  kestrava::cli::Streams streams{std::cout, std::cerr, isatty(STDERR_FILENO) == 1};
  const std::unique_ptr<kestrava::platform::Env> env = kestrava::platform::newPosixEnv();
  return kestrava::cli::execute(args, streams, *env);
}
