#include "platform/path.h"

#include <climits>
#include <vector>

namespace kestrava::platform {
namespace {

constexpr std::size_t kWindowsMaxPath = 279;

bool isCp932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// For each byte of the path: true when it may act as a separator or a dot, that is when it is not the
// second byte of a CP932 double-byte character. Under the host's rules every byte may (in UTF-8 no byte
// of a multi-byte character is ASCII).
std::vector<bool> singleByteMask(std::string_view path, const PathRules& rules) {
  std::vector<bool> mask(path.size(), true);
  if (rules.style != PathStyle::Windows) {
    return mask;
  }
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (isCp932LeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      mask[i + 1] = false;
      ++i;
    }
  }
  return mask;
}

bool isSeparatorByte(char byte, const PathRules& rules) {
  if (rules.style == PathStyle::Windows) {
    return byte == '\\' || byte == ':';
  }
  return byte == '/';
}

// Index just past the last separator (0 when there is none).
std::size_t nameStart(std::string_view path, const PathRules& rules) {
  const std::vector<bool> mask = singleByteMask(path, rules);
  for (std::size_t i = path.size(); i > 0; --i) {
    if (mask[i - 1] && isSeparatorByte(path[i - 1], rules)) {
      return i;
    }
  }
  return 0;
}

// Index of the dot that starts the extension, or npos.
std::size_t extensionStart(std::string_view path, const PathRules& rules) {
  const std::vector<bool> mask = singleByteMask(path, rules);
  const std::size_t start = nameStart(path, rules);
  for (std::size_t i = path.size(); i > start; --i) {
    if (mask[i - 1] && path[i - 1] == '.') {
      return i - 1;
    }
  }
  return std::string_view::npos;
}

}  // namespace

PathRules PathRules::host() {
  return PathRules{PathStyle::Posix, PATH_MAX - 1};
}

PathRules PathRules::windows() {
  return PathRules{PathStyle::Windows, kWindowsMaxPath};
}

bool fitsPath(std::string_view path, const PathRules& rules) {
  return path.size() <= rules.maxPathBytes;
}

std::string namePart(std::string_view path, const PathRules& rules) {
  return std::string(path.substr(nameStart(path, rules)));
}

std::string directoryWithSeparator(std::string_view path, const PathRules& rules) {
  return std::string(path.substr(0, nameStart(path, rules)));
}

std::string directoryWithoutSeparator(std::string_view path, const PathRules& rules) {
  std::size_t end = nameStart(path, rules);
  if (end >= 2) {
    const std::vector<bool> mask = singleByteMask(path, rules);
    const std::size_t last = end - 1;
    const char trailing = rules.style == PathStyle::Windows ? '\\' : '/';
    const bool previousIsSeparator = mask[last - 1] && isSeparatorByte(path[last - 1], rules);
    if (path[last] == trailing && !previousIsSeparator) {
      end = last;
    }
  }
  return std::string(path.substr(0, end));
}

std::string extensionOf(std::string_view path, const PathRules& rules) {
  const std::size_t dot = extensionStart(path, rules);
  return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot));
}

std::string withExtension(std::string_view path, std::string_view newExtension, const PathRules& rules) {
  const std::size_t dot = extensionStart(path, rules);
  std::string result(path.substr(0, dot == std::string_view::npos ? path.size() : dot));
  result += newExtension;
  return result;
}

}  // namespace kestrava::platform
