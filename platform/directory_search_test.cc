#include "platform/directory_search.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>

#include "platform/env_posix.h"
#include "platform/testing/listing_env.h"
#include "platform/testing/temp_dir.h"

namespace kestrava::platform {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using testing::ListingEnv;

DirEntry file(const std::string& name) {
  return DirEntry{name, EntryType::RegularFile};
}

struct MaskCase {
  const char* name;
  const char* mask;
  bool matches;
};

class MatchesMaskTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MatchesMaskTest, MatchesAsTheWindowsDirectorySearchDoes) {
  const MaskCase& c = GetParam();
  EXPECT_EQ(matchesMask(c.name, c.mask), c.matches) << "name \"" << c.name << "\", mask \"" << c.mask << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Table, MatchesMaskTest,
    ::testing::Values(
        // The extension masks of the passes, in every case.
        MaskCase{"a.jpg", "*.jpg", true}, MaskCase{"IMG_0001.JPG", "*.jpg", true},
        MaskCase{"b.JpG", "*.JPG", true}, MaskCase{"b.JPE", "*.jpe", true}, MaskCase{"c.AVI", "*.avi", true},
        MaskCase{"a.jpeg", "*.jpe", false}, MaskCase{"a.jpg.txt", "*.jpg", false},
        MaskCase{"a.jpg.jpg", "*.jpg", true}, MaskCase{"jpg", "*.jpg", false},
        MaskCase{"ajpg", "*.jpg", false}, MaskCase{".jpg", "*.jpg", true},
        // "*.*" takes every name, with or without a dot; a trailing ".*" also takes no extension.
        MaskCase{"README", "*.*", true}, MaskCase{"a.b.c", "*.*", true}, MaskCase{"trailing.", "*.*", true},
        MaskCase{"x", "*.*", true}, MaskCase{"readme", "readme.*", true},
        MaskCase{"readme.txt", "readme.*", true}, MaskCase{"readmex", "readme.*", false},
        MaskCase{"readme", "readme.?", false},
        // "?" is one byte, not one character.
        MaskCase{"a", "?", true}, MaskCase{"ab", "?", false}, MaskCase{"", "?", false},
        MaskCase{"\xC3\xA9", "?", false}, MaskCase{"\xC3\xA9", "??", true}, MaskCase{"x.avi", "?.AVI", true},
        // Stars that must give back what they took.
        MaskCase{"abcbc", "*bc", true}, MaskCase{"aXbXc", "a*b*c", true}, MaskCase{"acb", "a*b*c", false},
        MaskCase{"ab", "a*b*", true}, MaskCase{"a", "a*?", false}, MaskCase{"", "*", true},
        MaskCase{"a.jpg", "a.jpg", true}, MaskCase{"a.jpgx", "a.jpg", false},
        // Only ASCII letters fold: bytes that differ by 0x20 elsewhere stay apart.
        MaskCase{"a[.jpg", "a{.jpg", false}, MaskCase{"@.jpg", "`.jpg", false},
        MaskCase{"\xC3\x84.jpg", "\xC3\xA4.jpg", false}, MaskCase{"a^.jpg", "A~.JPG", false}));

TEST(SearchOrderTest, FoldsAsciiLettersAndBreaksTiesByRawBytes) {
  ListingEnv env;
  env.listings["/photos/"] = {file("b.jpg"),  file("c.JPG"), file("a.JPG"),        file("z.jpg"),
                              file("B.jpg"),  file("A.jpg"), file("\xC3\xA9.jpg"), file("_x.jpg"),
                              file("a1.jpg"), file("[y.jpg")};
  std::vector<std::string> names;
  ASSERT_TRUE(findFiles(env, "/photos/", "*.jpg", &names));
  // "_" and "[" lie between the capitals and the small letters, so the fold to small letters puts them
  // first; bytes above 0x7F come after every ASCII name.
  EXPECT_THAT(names, ElementsAre("[y.jpg", "_x.jpg", "A.jpg", "a.JPG", "a1.jpg", "B.jpg", "b.jpg", "c.JPG",
                                 "z.jpg", "\xC3\xA9.jpg"));
}

TEST(FindFilesTest, TakesOnlyVisibleRegularFilesThatFitTheMask) {
  ListingEnv env;
  env.listings["/photos/"] = {
      file("d.txt"),
      DirEntry{"x.jpg", EntryType::Directory},
      file("a.jpg"),
      file(".e.jpg"),
      DirEntry{"f.jpg", EntryType::SymbolicLink},
      DirEntry{"fifo.jpg", EntryType::Other},
      file("b.JPG"),
      file("a.jpg.bak"),
  };
  std::vector<std::string> names;
  ASSERT_TRUE(findFiles(env, "/photos/", "*.jpg", &names));
  EXPECT_THAT(names, ElementsAre("a.jpg", "b.JPG"));
  ASSERT_TRUE(findFiles(env, "/photos/", "*.*", &names));
  EXPECT_THAT(names, ElementsAre("a.jpg", "a.jpg.bak", "b.JPG", "d.txt"));
  EXPECT_THAT(env.listed, ElementsAre("/photos/", "/photos/"));
}

TEST(FindFilesTest, UnlistableDirectoryGivesItsErrorAndNoNames) {
  ListingEnv env;
  std::vector<std::string> names = {"left over"};
  const Status status = findFiles(env, "/missing/", "*.*", &names);
  EXPECT_EQ(status.errorNumber(), ENOENT);
  EXPECT_THAT(names, IsEmpty());
}

TEST(FindFilesTest, EmptyDirectoryListsTheCurrentOne) {
  ListingEnv env;
  env.listings["."] = {file("a.jpg")};
  std::vector<std::string> names;
  ASSERT_TRUE(findFiles(env, "", "*.jpg", &names));
  EXPECT_THAT(names, ElementsAre("a.jpg"));
}

TEST(FindFilesOnDiskTest, PassesOverDirectoriesLinksFifosAndHiddenFiles) {
  testing::TempDir dir;
  for (const char* name : {"a.jpg", "B.JPG", ".e.jpg", "d.txt"}) {
    dir.write(name, "x");
  }
  ASSERT_EQ(::mkdir(dir.file("x.jpg").c_str(), 0755), 0);
  ASSERT_EQ(::symlink(dir.file("a.jpg").c_str(), dir.file("f.jpg").c_str()), 0);
  ASSERT_EQ(::mkfifo(dir.file("p.jpg").c_str(), 0644), 0);
  const std::unique_ptr<Env> env = newPosixEnv();
  std::vector<std::string> names;
  ASSERT_TRUE(findFiles(*env, dir.path(), "*.jpg", &names));
  EXPECT_THAT(names, ElementsAre("a.jpg", "B.JPG"));
}

}  // namespace
}  // namespace kestrava::platform
