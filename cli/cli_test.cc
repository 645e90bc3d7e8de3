#include "cli/cli.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <map>
#include <sstream>

#include "engine/test_support.h"
#include "platform/env_posix.h"
#include "platform/testing/fat_mount.h"
#include "platform/testing/temp_dir.h"

namespace kestrava::cli {
namespace {

using engine::testing::exifJpeg;
using engine::testing::localTime;
using platform::FileTime;

const std::string kCountLine1 = "1 件 処理しました\n";

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

class CliTest : public ::testing::Test {
 protected:
  CliRun run(std::vector<std::string> args, bool terminal = false) {
    std::ostringstream out;
    std::ostringstream err;
    Streams streams{out, err, terminal};
    const int status = execute(args, streams, *env);
    return CliRun{status, out.str(), err.str()};
  }

  void makePhoto(const std::string& name, const std::string& date) {
    dir.write(name, exifJpeg(date) + name);
    dir.setLastWriteTime(name, kOldTime);
  }

  // Every entry of the directory with its bytes and last-write time.
  std::map<std::string, std::pair<std::string, FileTime>> snapshot() const {
    std::map<std::string, std::pair<std::string, FileTime>> files;
    for (const std::string& name : dir.names()) {
      files[name] = {dir.read(name), dir.lastWriteTime(name)};
    }
    return files;
  }

  static constexpr FileTime kOldTime{981140706, 123456789};

  engine::testing::ScopedTimeZone zone{"Asia/Tokyo"};
  platform::testing::TempDir dir;
  std::unique_ptr<platform::Env> env = platform::newPosixEnv();
};

TEST_F(CliTest, HelpAndVersion) {
  const CliRun help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--timestamp=change|keep", "--rename=0..6", "--strip-exif", "--no-backup",
                             "--date-source=", "--calendar=", "--weekday", "--options=DIGITS", "--dir",
                             "--types=", "--dry-run", "--verbose"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  const CliRun version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(version.out.find("2.03"), std::string::npos);
}

TEST_F(CliTest, BadUsageExitsWith2AndTheUsage) {
  dir.write("a.jpg", "x");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--rename=7", dir.file("a.jpg")},
      {"--timestamp=later", dir.file("a.jpg")},
      {"--calendar", dir.file("a.jpg")},
      {"--weekday=yes", dir.file("a.jpg")},
      {"--bogus", dir.file("a.jpg")},
      {"--options=0201100001", dir.file("a.jpg")},
      {dir.file("a.jpg"), dir.file("b.jpg")},
      {dir.path()},  // a directory without --dir
      {dir.file("missing.jpg")},
      {"--dir", dir.file("missing/")},
  };
  for (const auto& args : cases) {
    const CliRun result = run(args);
    EXPECT_EQ(result.status, 2) << (args.empty() ? "(none)" : args[0]);
    EXPECT_NE(result.err.find("kestrava-cli: "), std::string::npos);
    EXPECT_TRUE(result.out.empty());
  }
  EXPECT_TRUE(dir.exists("a.jpg"));
  EXPECT_EQ(dir.read("a.jpg"), "x");
}

TEST_F(CliTest, ConvertsOneFileWithTheWindowsDefaults) {
  makePhoto("IMG_0001.JPG", "2005:08:27 16:42:08");
  const CliRun result = run({dir.file("IMG_0001.JPG")});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, kCountLine1);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"050827_164208.JPG", "IMG_0001.bak"}));
  EXPECT_EQ(dir.lastWriteTime("050827_164208.JPG"), localTime(2005, 8, 27, 16, 42, 8));
  EXPECT_EQ(dir.lastWriteTime("IMG_0001.bak"), kOldTime);
  EXPECT_EQ(dir.read("IMG_0001.bak"), dir.read("050827_164208.JPG"));
}

TEST_F(CliTest, FlagsSetTheOptionsAndLaterOnesWin) {
  struct Case {
    std::vector<std::string> flags;
    std::vector<std::string> names;
  } cases[] = {
      {{"--calendar=kanji", "--weekday"}, {"IMG_0001.bak", "平成17年08月27日(土)16時42分08秒.JPG"}},
      {{"--calendar=wareki", "--rename=6"}, {"H170827_164208.JPG", "IMG_0001.bak"}},
      {{"--options=000000000"}, {"IMG_0001.JPG"}},
      {{"--options=000000000", "--rename=4"}, {"050827_IMG_0001.JPG"}},
      {{"--rename=4", "--options=020110000"}, {"050827_164208.JPG", "IMG_0001.bak"}},
      {{"--no-backup", "--rename=1"}, {"7_164208.JPG"}},
  };
  for (const Case& c : cases) {
    platform::testing::TempDir own;
    own.write("IMG_0001.JPG", exifJpeg("2005:08:27 16:42:08"));
    std::vector<std::string> args = c.flags;
    args.push_back(own.file("IMG_0001.JPG"));
    const CliRun result = run(args);
    EXPECT_EQ(result.status, 0) << c.flags[0];
    EXPECT_EQ(own.names(), c.names) << c.flags[0];
  }
}

TEST_F(CliTest, AFailureGoesToStandardErrorAndExitsWith1) {
  makePhoto("IMG_0001.JPG", "2005:08:27 16:42:08");
  ASSERT_EQ(mkdir(dir.file("IMG_0001.bak").c_str(), 0755), 0);
  const CliRun result = run({dir.file("IMG_0001.JPG")});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "rename error : 17\n");
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(dir.exists("IMG_0001.JPG"));
}

TEST_F(CliTest, ASkippedFileCountsZero) {
  makePhoto("IMG_0001.bak", "2005:08:27 16:42:08");
  const CliRun result = run({dir.file("IMG_0001.bak")});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "0 件 処理しました\n");
}

TEST_F(CliTest, ADirectoryRunTakesTheMatchingFilesInNameOrder) {
  makePhoto("b.jpg", "2005:08:27 16:42:08");
  makePhoto("A.JPG", "2005:08:27 16:42:08");
  makePhoto("B.JPG", "2005:08:27 16:42:08");
  makePhoto("c.avi", "2006:01:02 03:04:05");
  makePhoto("d.txt", "2007:01:02 03:04:05");
  // The run takes the directory of a file, or a directory given with or without its trailing slash.
  const std::vector<std::function<std::string(const platform::testing::TempDir&)>> givens = {
      [](const auto& d) { return d.file("b.jpg"); },
      [](const auto& d) { return d.path(); },
      [](const auto& d) { return d.path().substr(0, d.path().size() - 1); },
  };
  for (const auto& given : givens) {
    platform::testing::TempDir own;
    for (const char* name : {"b.jpg", "A.JPG", "B.JPG", "c.avi", "d.txt"}) {
      own.write(name, dir.read(name));
    }
    const std::string target = given(own);
    const CliRun result = run({"--dir", "--no-backup", target});
    EXPECT_EQ(result.status, 0) << target;
    EXPECT_EQ(result.out, "4 件 処理しました\n") << target;
    EXPECT_EQ(own.read("050827_164208.JPG"), dir.read("A.JPG"))
        << target;  // A, then B (the raw bytes break the tie with b)
    EXPECT_EQ(own.read("050827_164208a.JPG"), dir.read("B.JPG")) << target;
    EXPECT_EQ(own.read("050827_164208.jpg"), dir.read("b.jpg")) << target;  // the extension differs
    EXPECT_TRUE(own.exists("060102_030405.avi")) << target;
    EXPECT_TRUE(own.exists("d.txt")) << target;
  }
  const CliRun onlyAvi = run({"--dir", "--types=avi", "--verbose", dir.path()});
  EXPECT_EQ(onlyAvi.out.substr(onlyAvi.out.find('\n') + 1), kCountLine1);
  EXPECT_TRUE(dir.exists("A.JPG"));
}

TEST_F(CliTest, ADryRunChangesNothingAndPlansExactlyWhatTheRealRunDoes) {
  makePhoto("P1.JPG", "2005:08:27 16:42:08");
  makePhoto("P2.JPG", "2005:08:27 16:42:08");
  makePhoto("P3.JPG", "2005:08:27 16:42:08");
  makePhoto("clip.avi", "2006:01:02 03:04:05");
  dir.write("no-date.jpg", std::string(100, 'x'));
  makePhoto("050827_164208b.JPG", "2004:01:01 00:00:00");  // read-only: skipped, its name stepped over
  ASSERT_EQ(chmod(dir.file("050827_164208b.JPG").c_str(), 0444), 0);
  makePhoto("old.bak", "2005:08:27 16:42:08");
  const auto before = snapshot();

  const CliRun plan = run({"--dir", "--strip-exif", "--types=all", "--dry-run", dir.path()});
  EXPECT_EQ(plan.status, 0);
  EXPECT_EQ(snapshot(), before);

  const CliRun real = run({"--dir", "--strip-exif", "--types=all", "--verbose", dir.path()});
  EXPECT_EQ(real.status, 0);
  EXPECT_EQ(plan.out, real.out);
  EXPECT_NE(
      real.out.find(dir.file("P1.JPG") + " -> 050827_164208.JPG | time 2005-08-27 16:42:08 | backup yes | "
                                         "exif removed\n"),
      std::string::npos)
      << real.out;
  EXPECT_NE(real.out.find(dir.file("P2.JPG") + " -> 050827_164208a.JPG"), std::string::npos);
  EXPECT_NE(real.out.find(dir.file("P3.JPG") + " -> 050827_164208c.JPG"), std::string::npos);
  EXPECT_NE(real.out.find(dir.file("clip.avi") + " -> 060102_030405.avi"), std::string::npos);
  EXPECT_NE(
      real.out.find(dir.file("no-date.jpg") + " -> unchanged | time unchanged | backup yes | exif kept\n"),
      std::string::npos);
  EXPECT_NE(
      real.out.find(dir.file("old.bak") + " -> unchanged | time unchanged | backup no | exif kept | skipped"),
      std::string::npos);
  EXPECT_TRUE(dir.exists("050827_164208c.JPG"));
  EXPECT_EQ(dir.read("050827_164208b.JPG"), before.at("050827_164208b.JPG").first);
  EXPECT_EQ(dir.lastWriteTime("050827_164208a.JPG"), localTime(2005, 8, 27, 16, 42, 8));
}

TEST_F(CliTest, OnAFatCardTheDryRunPlansTheLettersTheCardWillGive) {
  if (const std::string reason = platform::testing::FatMount::unavailableReason(); !reason.empty()) {
    GTEST_SKIP() << "no FAT image can be mounted here: " << reason;
  }
  platform::testing::FatMount card;
  // Names that differ only in the case of their extension want one name on the card.
  for (const char* name : {"a.JPG", "b.jpg", "c.Jpg"}) {
    const std::string bytes = exifJpeg("2005:08:27 16:42:08") + name;
    FILE* file = std::fopen((card.path() + name).c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    ASSERT_EQ(std::fclose(file), 0);
  }
  const CliRun plan = run({"--dir", "--dry-run", card.path()});
  const CliRun real = run({"--dir", "--verbose", card.path()});
  EXPECT_EQ(real.status, 0);
  EXPECT_EQ(plan.out, real.out);
  EXPECT_NE(real.out.find(" -> 050827_164208a.jpg"), std::string::npos) << real.out;
  EXPECT_NE(real.out.find(" -> 050827_164208b.Jpg"), std::string::npos) << real.out;
}

TEST_F(CliTest, ProgressIsDrawnOnlyOnATerminal) {
  makePhoto("a.jpg", "2005:08:27 16:42:08");
  makePhoto("b.jpg", "2005:08:28 16:42:08");
  const CliRun quiet = run({"--dir", "--no-backup", "--rename=0", dir.path()});
  EXPECT_EQ(quiet.err, "");
  const CliRun drawn = run({"--dir", "--no-backup", "--rename=0", dir.path()}, true);
  EXPECT_NE(drawn.err.find("\r"), std::string::npos);
  EXPECT_NE(drawn.err.find("*.jpg (2 files): 2"), std::string::npos) << drawn.err;
  EXPECT_EQ(drawn.out, "2 件 処理しました\n");
}

}  // namespace
}  // namespace kestrava::cli
