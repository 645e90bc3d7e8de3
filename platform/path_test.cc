#include "platform/path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrava::platform {
namespace {

struct PathCase {
  std::string path;
  std::string name;
  std::string directoryWith;
  std::string directoryWithout;
  std::string extension;
  std::string backup;  // withExtension(path, ".bak")
};

void expectSplits(const std::vector<PathCase>& cases, const PathRules& rules) {
  for (const PathCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.path));
    EXPECT_EQ(namePart(c.path, rules), c.name);
    EXPECT_EQ(directoryWithSeparator(c.path, rules), c.directoryWith);
    EXPECT_EQ(directoryWithoutSeparator(c.path, rules), c.directoryWithout);
    EXPECT_EQ(extensionOf(c.path, rules), c.extension);
    EXPECT_EQ(withExtension(c.path, ".bak", rules), c.backup);
  }
}

TEST(PathTest, SplitsWindowsPaths) {
  // 0x95 0x5C and 0x83 0x5C are CP932 characters whose second byte is the code of "\".
  expectSplits(
      {
          {"C:\\PHOTO\\IMG_0001.JPG", "IMG_0001.JPG", "C:\\PHOTO\\", "C:\\PHOTO", ".JPG",
           "C:\\PHOTO\\IMG_0001.bak"},
          {"C:\\a.jpg", "a.jpg", "C:\\", "C:\\", ".jpg", "C:\\a.bak"},
          {"C:a.jpg", "a.jpg", "C:", "C:", ".jpg", "C:a.bak"},
          {"C:\\PHOTO\\\\a.jpg", "a.jpg", "C:\\PHOTO\\\\", "C:\\PHOTO\\\\", ".jpg", "C:\\PHOTO\\\\a.bak"},
          {"C:\\PHOTO\\\x95\x5C.jpg", "\x95\x5C.jpg", "C:\\PHOTO\\", "C:\\PHOTO", ".jpg",
           "C:\\PHOTO\\\x95\x5C.bak"},
          {"C:\\PHOTO\\\x95\x5C", "\x95\x5C", "C:\\PHOTO\\", "C:\\PHOTO", "", "C:\\PHOTO\\\x95\x5C.bak"},
          {"C:\\\x95\x5C\\a.jpg", "a.jpg", "C:\\\x95\x5C\\", "C:\\\x95\x5C", ".jpg", "C:\\\x95\x5C\\a.bak"},
          {"C:\\\x83\x5C\x83\x74\\x\x83\x5C.jpg", "x\x83\x5C.jpg", "C:\\\x83\x5C\x83\x74\\",
           "C:\\\x83\x5C\x83\x74", ".jpg", "C:\\\x83\x5C\x83\x74\\x\x83\x5C.bak"},
          {"C:\\PHOTO\\README", "README", "C:\\PHOTO\\", "C:\\PHOTO", "", "C:\\PHOTO\\README.bak"},
          {"C:\\DCIM.100\\README", "README", "C:\\DCIM.100\\", "C:\\DCIM.100", "",
           "C:\\DCIM.100\\README.bak"},
          {"C:\\PHOTO\\a.b.jpg", "a.b.jpg", "C:\\PHOTO\\", "C:\\PHOTO", ".jpg", "C:\\PHOTO\\a.b.bak"},
          {"C:\\PHOTO\\.jpg", ".jpg", "C:\\PHOTO\\", "C:\\PHOTO", ".jpg", "C:\\PHOTO\\.bak"},
          {"C:\\PHOTO\\IMG_0001.BAK", "IMG_0001.BAK", "C:\\PHOTO\\", "C:\\PHOTO", ".BAK",
           "C:\\PHOTO\\IMG_0001.bak"},
          {"a.jpg", "a.jpg", "", "", ".jpg", "a.bak"},
      },
      PathRules::windows());
}

TEST(PathTest, SplitsHostPaths) {
  // In UTF-8 no byte of a multi-byte character is "/" or ".", and "\" is an ordinary byte.
  expectSplits(
      {
          {"/photo/IMG_0001.JPG", "IMG_0001.JPG", "/photo/", "/photo", ".JPG", "/photo/IMG_0001.bak"},
          {"/a.jpg", "a.jpg", "/", "/", ".jpg", "/a.bak"},
          {"a.jpg", "a.jpg", "", "", ".jpg", "a.bak"},
          {"/photo//a.jpg", "a.jpg", "/photo//", "/photo//", ".jpg", "/photo//a.bak"},
          {"/dcim.100/README", "README", "/dcim.100/", "/dcim.100", "", "/dcim.100/README.bak"},
          {"/x/a\\b.jpg", "a\\b.jpg", "/x/", "/x", ".jpg", "/x/a\\b.bak"},
          {"/x/\xe5\x86\x99\xe7\x9c\x9f.jpg", "\xe5\x86\x99\xe7\x9c\x9f.jpg", "/x/", "/x", ".jpg",
           "/x/\xe5\x86\x99\xe7\x9c\x9f.bak"},
          {"/x/a.b.jpg", "a.b.jpg", "/x/", "/x", ".jpg", "/x/a.b.bak"},
          {"/x/.jpg", ".jpg", "/x/", "/x", ".jpg", "/x/.bak"},
      },
      PathRules::host());
}

TEST(PathTest, FitsPathUpToTheLimitAndNoFurther) {
  for (const PathRules& rules : {PathRules::host(), PathRules::windows()}) {
    SCOPED_TRACE(rules.maxPathBytes);
    EXPECT_TRUE(fitsPath(std::string(rules.maxPathBytes, 'a'), rules));
    EXPECT_FALSE(fitsPath(std::string(rules.maxPathBytes + 1, 'a'), rules));
  }
  EXPECT_EQ(PathRules::windows().maxPathBytes, 279u);
}

}  // namespace
}  // namespace kestrava::platform
