#include "naming/target_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/path.h"

namespace kestrava::naming {
namespace {

using platform::PathRules;

// The tags of 2005-08-27 16:42:08, Western style, no weekday.
std::string westernTag(int pattern) {
  switch (pattern) {
    case 1:
      return "7_164208";
    case 2:
      return "050827_164208";
    case 3:
      return "_050827_164208";
    case 4:
      return "050827_";
    case 5:
      return "050827-1642_";
    case 6:
      return "20050827_164208";
    default:
      return "";
  }
}

struct NameCase {
  int pattern;
  std::string workPath;
  std::string expected;  // the stem with the old path's extension appended
};

void expectNewPaths(const std::vector<NameCase>& cases, const PathRules& rules) {
  for (const NameCase& c : cases) {
    const std::string stem = targetStem(c.pattern, c.workPath, westernTag(c.pattern), rules);
    EXPECT_EQ(collisionCandidate(stem, '\0', platform::extensionOf(c.workPath, rules)), c.expected)
        << "pattern " << c.pattern << " on " << c.workPath;
  }
}

TEST(TargetNameStem, EveryPatternUnderWindowsRules) {
  expectNewPaths(
      {
          {1, R"(C:\PHOTO\IMG_0001.JPG)", R"(C:\PHOTO\7_164208.JPG)"},
          {2, R"(C:\PHOTO\IMG_0001.JPG)", R"(C:\PHOTO\050827_164208.JPG)"},
          {3, R"(C:\PHOTO\IMG_0001.JPG)", R"(C:\PHOTO\IMG_0001_050827_164208.JPG)"},
          {4, R"(C:\PHOTO\IMG_0001.JPG)", R"(C:\PHOTO\050827_IMG_0001.JPG)"},
          {5, R"(C:\PHOTO\IMG_0001.JPG)", R"(C:\PHOTO\050827-1642_IMG_0001.JPG)"},
          {6, R"(C:\PHOTO\IMG_0001.JPG)", R"(C:\PHOTO\20050827_164208.JPG)"},
      },
      PathRules::windows());
}

TEST(TargetNameStem, EveryPatternUnderHostRules) {
  expectNewPaths(
      {
          {1, "/photo/IMG_0001.JPG", "/photo/7_164208.JPG"},
          {2, "/photo/IMG_0001.JPG", "/photo/050827_164208.JPG"},
          {3, "/photo/IMG_0001.JPG", "/photo/IMG_0001_050827_164208.JPG"},
          {4, "/photo/IMG_0001.JPG", "/photo/050827_IMG_0001.JPG"},
          {5, "/photo/IMG_0001.JPG", "/photo/050827-1642_IMG_0001.JPG"},
          {6, "/photo/IMG_0001.JPG", "/photo/20050827_164208.JPG"},
      },
      PathRules::host());
}

TEST(TargetNameStem, PatternThreeCutsFourBytesWithoutLookingForTheDot) {
  expectNewPaths(
      {
          {3, R"(C:\PHOTO\clip.mpeg)", R"(C:\PHOTO\clip._050827_164208.mpeg)"},
          {3, R"(C:\PHOTO\README)", R"(C:\PHOTO\RE_050827_164208)"},
      },
      PathRules::windows());
  expectNewPaths(
      {
          {3, "/photo/clip.mpeg", "/photo/clip._050827_164208.mpeg"},
          {3, "/photo/README", "/photo/RE_050827_164208"},
          {3, "abcd", "_050827_164208"},
          {3, "abc", "abc_050827_164208"},  // three bytes or fewer are kept whole
          {3, "", "_050827_164208"},
      },
      PathRules::host());
}

TEST(TargetNameStem, PrefixPatternsCutTheNameAtItsLastDotButNeverAtItsFirstByte) {
  expectNewPaths(
      {
          {4, R"(C:\PHOTO\a.b.jpg)", R"(C:\PHOTO\050827_a.b.jpg)"},
          {5, R"(C:\PHOTO\a.b.jpg)", R"(C:\PHOTO\050827-1642_a.b.jpg)"},
          {4, R"(C:\PHOTO\.jpg)", R"(C:\PHOTO\050827_.jpg.jpg)"},
          {5, R"(C:\PHOTO\.jpg)", R"(C:\PHOTO\050827-1642_.jpg.jpg)"},
          {4, R"(C:\PHOTO\README)", R"(C:\PHOTO\050827_README)"},
          {4, R"(C:\PHOTO.D\README)", R"(C:\PHOTO.D\050827_README)"},  // a dot of the directory is no cut
      },
      PathRules::windows());
  expectNewPaths(
      {
          {4, "/photo/a.b.jpg", "/photo/050827_a.b.jpg"},
          {5, "/photo/.jpg", "/photo/050827-1642_.jpg.jpg"},
          {4, "/photo.d/README", "/photo.d/050827_README"},
          {4, "/photo/x.", "/photo/050827_x."},  // the lone dot is the extension, put back after the tag
      },
      PathRules::host());
}

TEST(TargetNameStem, PathsWithoutADirectoryOrWithADriveOnly) {
  expectNewPaths(
      {
          {2, "IMG_0001.JPG", "050827_164208.JPG"},
          {4, "IMG_0001.JPG", "050827_IMG_0001.JPG"},
          {2, "C:IMG_0001.JPG", "C:050827_164208.JPG"},
          {5, "C:IMG_0001.JPG", "C:050827-1642_IMG_0001.JPG"},
      },
      PathRules::windows());
}

// 0x95 0x5C is one double-byte character of the camera's code page; its second byte is a backslash
// only by value.
TEST(TargetNameStem, TrailByteBackslashOfAWindowsNameIsNoSeparator) {
  const std::string kanji = "\x95\x5C";
  expectNewPaths(
      {
          {2, "C:\\PHOTO\\" + kanji + ".JPG", "C:\\PHOTO\\050827_164208.JPG"},
          {4, "C:\\PHOTO\\" + kanji + ".JPG", "C:\\PHOTO\\050827_" + kanji + ".JPG"},
          {5, "C:\\PHOTO\\IMG" + kanji + "1.JPG", "C:\\PHOTO\\050827-1642_IMG" + kanji + "1.JPG"},
          {6, "C:\\" + kanji + "\\IMG.JPG", "C:\\" + kanji + "\\20050827_164208.JPG"},
          {4, "C:\\" + kanji + "\\IMG.JPG", "C:\\" + kanji + "\\050827_IMG.JPG"},
      },
      PathRules::windows());
}

TEST(TargetNameStem, PatternsThatDoNotRenameGiveNoStem) {
  for (int pattern : {0, 7, -1}) {
    EXPECT_EQ(targetStem(pattern, R"(C:\PHOTO\IMG_0001.JPG)", "050827_164208", PathRules::windows()), "")
        << pattern;
  }
}

TEST(TargetNameCollision, LetterGoesBetweenStemAndExtension) {
  const struct {
    std::string stem;
    char letter;
    std::string extension;
    std::string expected;
  } cases[] = {
      {R"(C:\PHOTO\050827_164208)", '\0', ".JPG", R"(C:\PHOTO\050827_164208.JPG)"},
      {R"(C:\PHOTO\050827_164208)", 'a', ".JPG", R"(C:\PHOTO\050827_164208a.JPG)"},
      {R"(C:\PHOTO\050827_164208)", 'b', ".JPG", R"(C:\PHOTO\050827_164208b.JPG)"},
      {R"(C:\PHOTO\050827_164208)", 'z', ".JPG", R"(C:\PHOTO\050827_164208z.JPG)"},
      {R"(C:\PHOTO\RE_050827_164208)", 'a', "", R"(C:\PHOTO\RE_050827_164208a)"},
      {"/photo/050827_.jpg", 'z', ".jpg", "/photo/050827_.jpgz.jpg"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(collisionCandidate(c.stem, c.letter, c.extension), c.expected);
  }
}

}  // namespace
}  // namespace kestrava::naming
