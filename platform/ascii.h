#pragma once

#include <string_view>

// Letter case as FAT/exFAT cards and the Windows directory search ignore it: ASCII letters only; every
// other byte, those of multi-byte characters included, stands for itself.
namespace kestrava::platform {

constexpr char foldAsciiLetter(char byte) {
  return (byte >= 'A' && byte <= 'Z') ? static_cast<char>(byte - 'A' + 'a') : byte;
}

constexpr bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::string_view::size_type i = 0; i < a.size(); ++i) {
    if (foldAsciiLetter(a[i]) != foldAsciiLetter(b[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace kestrava::platform
