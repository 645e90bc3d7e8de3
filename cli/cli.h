#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/env.h"

// The command-line front end: converts one file, or the matching files of a directory, with the options
// of the window given as flags.
namespace kestrava::cli {

struct Streams {
  std::ostream& out;           // the plan or verbose lines and the count line
  std::ostream& err;           // messages, progress and usage errors
  bool errIsTerminal = false;  // progress is drawn only on a terminal
};

enum ExitStatus : int { kCompleted = 0, kStopped = 1, kBadUsage = 2 };

// Runs the command with its arguments (without the program name) on the host `env`. A dry run wraps
// `env` so that nothing on disk changes.
int execute(const std::vector<std::string>& args, Streams& streams, platform::Env& env);

}  // namespace kestrava::cli
