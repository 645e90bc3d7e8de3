#include "engine/rename_by_date.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

#include "engine/conversion_test_support.h"
#include "platform/env_posix.h"
#include "platform/testing/fat_mount.h"
#include "platform/testing/fault_injection_env.h"

namespace kestrava::engine {
namespace {

using platform::FileTime;
using platform::testing::FaultInjectionEnv;
using testing::ConversionFixture;
using testing::exifJpeg;
using testing::localTime;

const std::string kCollisionMessage17 = "rename error : 17\n\n同一ファイル名が発生しました。";

class RenameTest : public ConversionFixture {
 protected:
  RenameTest() { options.value().renamePattern = 2; }

  // Files with the same date inside, so that they want the same name.
  void makePhoto(const std::string& name, const std::string& date = "2005:08:27 16:42:08") {
    makeFile(name, exifJpeg(date) + name);  // the name at the end tells the files apart
  }
};

TEST_F(RenameTest, EachPatternGivesItsName) {
  struct Case {
    int pattern;
    int calendar;
    int weekday;
    std::string name;
  } cases[] = {
      {1, 0, 0, "7_164208.JPG"},
      {2, 0, 0, "050827_164208.JPG"},
      {3, 0, 0, "IMG_0001_050827_164208.JPG"},
      {4, 0, 0, "050827_IMG_0001.JPG"},
      {5, 0, 0, "050827-1642_IMG_0001.JPG"},
      {6, 0, 0, "20050827_164208.JPG"},
      {2, 1, 1, "H170827_DO_164208.JPG"},
      {2, 2, 1, "平成17年08月27日(土)16時42分08秒.JPG"},
  };
  for (const Case& c : cases) {
    platform::testing::TempDir own;
    own.write("IMG_0001.JPG", exifJpeg("2005:08:27 16:42:08"));
    options.value().renamePattern = c.pattern;
    options.value().calendarStyle = c.calendar;
    options.value().showWeekday = c.weekday;
    Converter converter(*posix, options, messages, &observer);
    EXPECT_EQ(converter.file_syori(own.file("IMG_0001.JPG")), ConversionResult::Counted) << c.name;
    std::vector<std::string> expected{"IMG_0001.bak", c.name};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(own.names(), expected) << c.pattern;
    EXPECT_EQ(own.lastWriteTime(c.name), localTime(2005, 8, 27, 16, 42, 8)) << c.name;
  }
  EXPECT_EQ(observer.settled, 8);
  EXPECT_TRUE(messages.texts.empty());
}

TEST_F(RenameTest, NamesWithoutAThreeLetterExtensionOrWithSeveralDots) {
  options.value().keepBackup = false;
  struct Case {
    int pattern;
    std::string name;
    std::string renamed;
  } cases[] = {
      {3, "clip.mpeg", "clip._050827_164208.mpeg"},
      {3, "README", "RE_050827_164208"},
      {4, "a.b.jpg", "050827_a.b.jpg"},
      {5, "a.b.jpg", "050827-1642_a.b.jpg"},
      {4, ".jpg", "050827_.jpg.jpg"},
  };
  for (const Case& c : cases) {
    platform::testing::TempDir own;
    own.write(c.name, exifJpeg("2005:08:27 16:42:08"));
    options.value().renamePattern = c.pattern;
    Converter converter(*posix, options, messages, &observer);
    EXPECT_EQ(converter.file_syori(own.file(c.name)), ConversionResult::Counted) << c.name;
    EXPECT_EQ(own.names(), std::vector<std::string>{c.renamed}) << c.name;
  }
}

TEST_F(RenameTest, FilesOfTheSameSecondGetLettersInConversionOrder) {
  for (const char* name : {"P1.JPG", "P2.JPG", "P3.JPG"}) {
    makePhoto(name);
    EXPECT_EQ(convert(name), ConversionResult::Counted);
  }
  EXPECT_EQ(dir.read("050827_164208.JPG"), exifJpeg("2005:08:27 16:42:08") + "P1.JPG");
  EXPECT_EQ(dir.read("050827_164208a.JPG"), exifJpeg("2005:08:27 16:42:08") + "P2.JPG");
  EXPECT_EQ(dir.read("050827_164208b.JPG"), exifJpeg("2005:08:27 16:42:08") + "P3.JPG");
}

TEST_F(RenameTest, PatternOneCollidesOnDaysEndingInTheSameDigit) {
  options.value().renamePattern = 1;
  makePhoto("a.JPG", "2005:08:07 16:42:08");
  makePhoto("b.JPG", "2005:08:17 16:42:08");
  convert("a.JPG");
  convert("b.JPG");
  EXPECT_TRUE(dir.exists("7_164208.JPG"));
  EXPECT_TRUE(dir.exists("7_164208a.JPG"));
}

TEST_F(RenameTest, AFileThatBearsItsDateNameStaysAndStillCounts) {
  makePhoto("050827_164208.JPG");
  FaultInjectionEnv recording(*posix);
  EXPECT_EQ(convertWith(recording, "050827_164208.JPG"), ConversionResult::Counted);
  EXPECT_EQ(observer.settled, 1);
  EXPECT_TRUE(dir.exists("050827_164208.JPG"));
  EXPECT_FALSE(dir.exists("050827_164208a.JPG"));
  for (const std::string& line : recording.log()) {
    EXPECT_NE(line.rfind("canOpenForReading", 0), 0u) << "probed " << line;
  }
}

TEST_F(RenameTest, ALetteredFileMovesBetweenLettersBecauseItsOwnNameCountsAsTaken) {
  makePhoto("050827_164208.JPG");
  makePhoto("050827_164208a.JPG");
  EXPECT_EQ(convert("050827_164208a.JPG"), ConversionResult::Counted);
  EXPECT_TRUE(dir.exists("050827_164208b.JPG"));
  EXPECT_FALSE(dir.exists("050827_164208a.JPG"));
  EXPECT_EQ(convert("050827_164208b.JPG"), ConversionResult::Counted);
  EXPECT_TRUE(dir.exists("050827_164208a.JPG"));
  EXPECT_FALSE(dir.exists("050827_164208b.JPG"));
}

TEST_F(RenameTest, WhenEveryNameIsTakenNothingIsRenamedOrReplaced) {
  options.value().keepBackup = false;
  std::vector<std::string> taken{"050827_164208.JPG"};
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    taken.push_back(std::string("050827_164208") + letter + ".JPG");
  }
  for (const std::string& name : taken) {
    dir.write(name, "holder " + name);
  }
  makePhoto("IMG_0001.JPG");
  EXPECT_EQ(convert("IMG_0001.JPG"), ConversionResult::Stop);
  EXPECT_EQ(messages.texts, std::vector<std::string>{kCollisionMessage17});
  EXPECT_EQ(observer.settled, 0);
  EXPECT_EQ(dir.read("IMG_0001.JPG"), exifJpeg("2005:08:27 16:42:08") + "IMG_0001.JPG");
  EXPECT_EQ(dir.lastWriteTime("IMG_0001.JPG"), localTime(2005, 8, 27, 16, 42, 8));  // stamped, not renamed
  for (const std::string& name : taken) {
    EXPECT_EQ(dir.read(name), "holder " + name);
  }
}

TEST_F(RenameTest, NoDateWithTheDateInsideOnlyIsCountedButNotRenamed) {
  options.value().dateSource = 1;
  makeFile("IMG_0001.JPG", std::string(100, 'x'));
  EXPECT_EQ(convert("IMG_0001.JPG"), ConversionResult::Counted);
  EXPECT_TRUE(dir.exists("IMG_0001.JPG"));
  EXPECT_EQ(observer.settled, 0);
}

TEST_F(RenameTest, NoDateFallsBackToTheOwnTimeWithAnEvenSecond) {
  options.value().dateSource = 0;
  makeFile("IMG_0001.JPG", std::string(100, 'x'));
  dir.setLastWriteTime("IMG_0001.JPG", localTime(1985, 11, 3, 10, 20, 31));
  options.value().calendarStyle = 1;
  options.value().showWeekday = 1;
  EXPECT_EQ(convert("IMG_0001.JPG"), ConversionResult::Counted);
  EXPECT_TRUE(dir.exists("S601103_NICHI_102030.JPG"));
}

TEST_F(RenameTest, ADateInsideNamesTheFileEvenWhenItsTimeIsKept) {
  options.value().timestampMode = 1;
  makePhoto("IMG_0001.JPG");
  EXPECT_EQ(convert("IMG_0001.JPG"), ConversionResult::Counted);
  EXPECT_EQ(dir.lastWriteTime("050827_164208.JPG"), kOldTime);
}

TEST_F(RenameTest, ATargetLongerThanTheLongestPathFailsBeforeReachingTheDisk) {
  std::string deep = dir.path();
  while (deep.size() < PATH_MAX - 40) {
    deep += "d/";
  }
  RenameRequest request;
  // The longest path that fits; the tag in front of the name makes it too long.
  request.workPath = deep + std::string(PATH_MAX - 1 - deep.size() - 4, 'x') + ".JPG";
  request.fileExtension = ".JPG";
  request.renamePattern = 4;
  request.date = naming::DateParts{2005, 8, 27, 16, 42, 8};
  ASSERT_EQ(request.workPath.size(), static_cast<std::size_t>(PATH_MAX - 1));
  FaultInjectionEnv recording(*posix);
  const RenameOutcome outcome = renameByDate(recording, messages, request);
  EXPECT_TRUE(outcome.failed);
  EXPECT_EQ(messages.texts, std::vector<std::string>{"rename error : 36\n\n同一ファイル名が発生しました。"});
  EXPECT_TRUE(recording.log().empty());
}

TEST_F(RenameTest, TheRenameFallbackStillNeverReplacesAFile) {
  const std::unique_ptr<platform::Env> fallback = platform::newPosixEnv(platform::PosixEnvOptions{true});
  makePhoto("P1.JPG");
  makePhoto("P2.JPG");
  EXPECT_EQ(convertWith(*fallback, "P1.JPG"), ConversionResult::Counted);
  EXPECT_EQ(convertWith(*fallback, "P2.JPG"), ConversionResult::Counted);
  EXPECT_EQ(dir.read("050827_164208.JPG"), exifJpeg("2005:08:27 16:42:08") + "P1.JPG");
  EXPECT_EQ(dir.read("050827_164208a.JPG"), exifJpeg("2005:08:27 16:42:08") + "P2.JPG");
}

TEST_F(RenameTest, OnARealFatCardANameTakenInOtherLettersGetsALetter) {
  if (const std::string reason = platform::testing::FatMount::unavailableReason(); !reason.empty()) {
    GTEST_SKIP() << "no FAT image can be mounted here: " << reason;
  }
  platform::testing::FatMount card;
  const std::string jpeg = exifJpeg("2005:08:27 16:42:08");
  for (const char* name : {"050827_164208.jpg", "IMG_0001.JPG"}) {
    testing::writeFileAt(card.path() + name, jpeg + name);
  }
  Converter converter(*posix, options, messages, &observer);
  EXPECT_EQ(converter.file_syori(card.path() + "IMG_0001.JPG"), ConversionResult::Counted);
  EXPECT_TRUE(messages.texts.empty());
  EXPECT_EQ(testing::sortedNames(*posix, card.path()),
            (std::vector<std::string>{"050827_164208.jpg", "050827_164208a.JPG", "IMG_0001.bak"}));
}

}  // namespace
}  // namespace kestrava::engine
