#pragma once

#include <string>

#include "platform/path.h"

// The new path of a renamed file, as texts only: the stem that the date tag makes of the old path, and
// the candidates tried when that name is taken. Nothing here touches the file system.
namespace kestrava::naming {

// The new path without its extension. Patterns 1, 2 and 6 put the tag in place of the base name,
// pattern 3 after it (cutting the last four bytes of the path, the dot and a three-letter extension),
// patterns 4 and 5 before it. Any other pattern renames nothing and gives an empty stem.
std::string targetStem(int renamePattern, const std::string& workPath, const std::string& dateTag,
                       const platform::PathRules& rules);

// stem + letter + fileExtension; letter 0 gives the plain name, 'a'..'z' the lettered ones.
std::string collisionCandidate(const std::string& stem, char letter, const std::string& fileExtension);

}  // namespace kestrava::naming
