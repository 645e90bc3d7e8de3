#include "naming/target_name.h"

namespace kestrava::naming {
namespace {

// The four bytes are cut without looking for the dot; a path of three bytes or fewer is kept whole.
std::string withoutLastFourBytes(const std::string& path) {
  return path.size() > 3 ? path.substr(0, path.size() - 4) : path;
}

// The name up to its last dot. The first byte is never examined, so that a name like ".jpg" is kept
// whole. No CP932 trail byte is a dot, so a byte-wise search is safe under either rule set.
std::string baseNameBeforeLastDot(const std::string& name) {
  for (std::size_t i = name.size(); i > 1; --i) {
    if (name[i - 1] == '.') {
      return name.substr(0, i - 1);
    }
  }
  return name;
}

}  // namespace

std::string targetStem(int renamePattern, const std::string& workPath, const std::string& dateTag,
                       const platform::PathRules& rules) {
  switch (renamePattern) {
    case 1:
    case 2:
    case 6:
      return platform::directoryWithSeparator(workPath, rules) + dateTag;
    case 3:
      return withoutLastFourBytes(workPath) + dateTag;
    case 4:
    case 5:
      return platform::directoryWithSeparator(workPath, rules) + dateTag +
             baseNameBeforeLastDot(platform::namePart(workPath, rules));
    default:
      return {};
  }
}

std::string collisionCandidate(const std::string& stem, char letter, const std::string& fileExtension) {
  std::string candidate = stem;
  if (letter != '\0') {
    candidate += letter;
  }
  candidate += fileExtension;
  return candidate;
}

}  // namespace kestrava::naming
