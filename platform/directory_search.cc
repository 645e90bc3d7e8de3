#include "platform/directory_search.h"

#include <algorithm>

#include "platform/ascii.h"

namespace kestrava::platform {
namespace {

// Names sort by unsigned bytes, letters folded.
unsigned char foldedByte(char byte) {
  return static_cast<unsigned char>(foldAsciiLetter(byte));
}

bool sameByteIgnoringAsciiCase(char a, char b) {
  return foldAsciiLetter(a) == foldAsciiLetter(b);
}

// Plain wildcard matching; on a mismatch after a "*" the star takes one more byte and matching resumes
// there, which finds a match whenever one exists without recursion.
bool matchesWildcards(std::string_view name, std::string_view mask) {
  std::size_t n = 0;
  std::size_t m = 0;
  std::size_t starMask = std::string_view::npos;
  std::size_t starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && (mask[m] == '?' || sameByteIgnoringAsciiCase(mask[m], name[n]))) {
      ++m;
      ++n;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') {
    ++m;
  }
  return m == mask.size();
}

bool isHidden(const std::string& name) {
  return !name.empty() && name.front() == '.';
}

}  // namespace

bool matchesMask(std::string_view name, std::string_view mask) {
  if (matchesWildcards(name, mask)) {
    return true;
  }
  constexpr std::string_view kAnyExtension = ".*";
  return mask.ends_with(kAnyExtension) &&
         matchesWildcards(name, mask.substr(0, mask.size() - kAnyExtension.size()));
}

bool precedesInSearchOrder(std::string_view a, std::string_view b) {
  const auto folded = std::lexicographical_compare_three_way(
      a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) { return foldedByte(x) <=> foldedByte(y); });
  if (folded != 0) {
    return folded < 0;
  }
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

Status findFiles(Env& env, const std::string& directory, const std::string& mask,
                 std::vector<std::string>* names) {
  names->clear();
  std::vector<DirEntry> entries;
  // An empty directory stands for the current one, which the host lists as ".".
  const Status listed = env.listDirectory(directory.empty() ? std::string(".") : directory, &entries);
  if (!listed) {
    return listed;
  }
  for (DirEntry& entry : entries) {
    if (entry.type == EntryType::RegularFile && !isHidden(entry.name) && matchesMask(entry.name, mask)) {
      names->push_back(std::move(entry.name));
    }
  }
  std::sort(names->begin(), names->end(), precedesInSearchOrder);
  return Status::ok();
}

}  // namespace kestrava::platform
