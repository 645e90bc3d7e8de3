#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Splitting paths into directory, name and extension, under the rules of the host (POSIX: "/" separates)
// or of Windows ("\" and ":" separate; the second byte of a CP932 double-byte character, whose first byte
// is 0x81-0x9F or 0xE0-0xFC, is never taken for a separator or a dot). Texts are byte strings; nothing
// here touches the file system.
namespace kestrava::platform {

enum class PathStyle { Posix, Windows };

struct PathRules {
  PathStyle style = PathStyle::Posix;
  // The longest path, in bytes, that the file system takes; a longer one is refused, never cut.
  std::size_t maxPathBytes = 0;

  static PathRules host();     // "/" and PATH_MAX - 1
  static PathRules windows();  // "\" and ":", CP932, 279 bytes
};

bool fitsPath(std::string_view path, const PathRules& rules);

// Everything after the last separator.
std::string namePart(std::string_view path, const PathRules& rules);

// Everything up to and including the last separator; empty when there is none.
std::string directoryWithSeparator(std::string_view path, const PathRules& rules);

// The directory without its trailing separator, except where that separator is the root or follows a
// drive colon or another separator: C:\Photos\a.jpg gives C:\Photos, C:\a.jpg gives C:\, C:a.jpg gives
// C:, /x/a.jpg gives /x and /a.jpg gives /.
std::string directoryWithoutSeparator(std::string_view path, const PathRules& rules);

// The name part from its last "." to the end, the dot included; empty when the name has no dot.
// A name that is only ".jpg" has the extension ".jpg".
std::string extensionOf(std::string_view path, const PathRules& rules);

// The path with its extension replaced by newExtension (which carries its dot), or with newExtension
// appended when the path has none.
std::string withExtension(std::string_view path, std::string_view newExtension, const PathRules& rules);

}  // namespace kestrava::platform
