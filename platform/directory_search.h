#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"
#include "platform/status.h"

// The directory search of a batch run: the plain files of one directory whose names fit a wildcard mask,
// matched as the Windows directory search matches them, in an order that does not depend on the host.
namespace kestrava::platform {

// True when `name` fits `mask`: "*" takes any run of bytes, "?" exactly one byte, every other byte
// itself with ASCII letters matched regardless of case (other bytes are never folded). A mask that ends
// in ".*" also takes a name that has no dot there, so "*.*" takes every name, as on Windows.
bool matchesMask(std::string_view name, std::string_view mask);

// True when `a` comes before `b` in the order of findFiles: by their bytes, unsigned, with ASCII letters
// folded to lower case; two names that differ only in case are ordered by their raw bytes.
bool precedesInSearchOrder(std::string_view a, std::string_view b);

// The names (without the directory) of the regular files in `directory` (given with its trailing
// separator; empty for the current directory) that fit `mask`, from one listing, in search order.
// Directories, symbolic links and other special files are passed over, and so is a hidden name (one that
// begins with "."). A directory that can't be listed gives no names and its error.
Status findFiles(Env& env, const std::string& directory, const std::string& mask,
                 std::vector<std::string>* names);

}  // namespace kestrava::platform
