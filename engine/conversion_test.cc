#include "engine/conversion.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "engine/conversion_test_support.h"
#include "platform/testing/case_folding_env.h"
#include "platform/testing/fat_mount.h"
#include "platform/testing/fault_injection_env.h"

namespace kestrava::engine {
namespace {

using platform::FileTime;
using platform::testing::CaseFoldingEnv;
using platform::testing::FaultInjectionEnv;
using testing::ConversionFixture;
using testing::exifJpeg;
using testing::localTime;
using testing::ScopedTimeZone;
using testing::withoutExifSegment;
using Op = FaultInjectionEnv::Op;

class ConversionTest : public ConversionFixture {};

// --- What is skipped, and what is left alone ---------------------------------------------------------

TEST_F(ConversionTest, SkipsALowerCaseBakExtensionWithoutOpeningIt) {
  makeFile("IMG_0001.bak", exifJpeg("2005:08:27 16:42:08"));
  FaultInjectionEnv recording(*posix);
  EXPECT_EQ(convertWith(recording, "IMG_0001.bak"), ConversionResult::Skipped);
  EXPECT_TRUE(recording.log().empty());
  EXPECT_EQ(dir.lastWriteTime("IMG_0001.bak"), kOldTime);
}

TEST_F(ConversionTest, ConvertsOtherSpellingsOfBakOnACaseSensitiveDisk) {
  for (const char* name : {"A.BAK", "B.Bak", "C.bakx"}) {
    makeFile(name, exifJpeg("2005:08:27 16:42:08"));
    EXPECT_EQ(convert(name), ConversionResult::Counted) << name;
    EXPECT_EQ(dir.lastWriteTime(name), localTime(2005, 8, 27, 16, 42, 8)) << name;
  }
  EXPECT_TRUE(dir.exists("A.bak"));
  EXPECT_TRUE(dir.exists("C.bak"));
}

TEST_F(ConversionTest, AMissingPathIsSkippedAndNothingIsCreated) {
  EXPECT_EQ(convert("absent.jpg"), ConversionResult::Skipped);
  EXPECT_TRUE(dir.names().empty());
  EXPECT_TRUE(messages.texts.empty());
}

TEST_F(ConversionTest, AFileWithoutWritePermissionIsSkippedEvenForRoot) {
  makeFile("ro.jpg", exifJpeg("2005:08:27 16:42:08"));
  ASSERT_EQ(chmod(dir.file("ro.jpg").c_str(), 0444), 0);
  EXPECT_EQ(convert("ro.jpg"), ConversionResult::Skipped);
  EXPECT_TRUE(messages.texts.empty());
  EXPECT_EQ(dir.names(), std::vector<std::string>{"ro.jpg"});
  EXPECT_EQ(dir.lastWriteTime("ro.jpg"), kOldTime);
}

TEST_F(ConversionTest, SkipsADirectoryAndASymbolicLink) {
  ASSERT_EQ(mkdir(dir.file("folder.jpg").c_str(), 0755), 0);
  makeFile("target.jpg", exifJpeg("2005:08:27 16:42:08"));
  ASSERT_EQ(symlink("target.jpg", dir.file("link.jpg").c_str()), 0);
  EXPECT_EQ(convert("folder.jpg"), ConversionResult::Skipped);
  EXPECT_EQ(convert("link.jpg"), ConversionResult::Skipped);
  EXPECT_EQ(dir.lastWriteTime("target.jpg"), kOldTime);
  EXPECT_FALSE(dir.exists("link.bak"));
}

TEST_F(ConversionTest, AFileShorterThan20BytesIsRewrittenButNeitherStampedNorRenamed) {
  options.value().renamePattern = 2;
  const std::string nineteen = "2007:12:16 10:20:30";
  makeFile("short.jpg", nineteen);
  EXPECT_EQ(convert("short.jpg"), ConversionResult::Skipped);
  EXPECT_EQ(dir.read("short.jpg"), nineteen);
  EXPECT_EQ(dir.read("short.bak"), nineteen);
  EXPECT_EQ(dir.lastWriteTime("short.bak"), kOldTime);
  EXPECT_NE(dir.lastWriteTime("short.jpg"), localTime(2007, 12, 16, 10, 20, 30));
  EXPECT_EQ(observer.settled, 0);
}

TEST_F(ConversionTest, AFileOf20BytesIsScanned) {
  makeFile("twenty.jpg", "2007:12:16 10:20:30x");
  EXPECT_EQ(convert("twenty.jpg"), ConversionResult::Counted);
  EXPECT_EQ(dir.lastWriteTime("twenty.jpg"), localTime(2007, 12, 16, 10, 20, 30));
}

TEST_F(ConversionTest, OnlyTheFirst4096BytesAreScanned) {
  options.value().keepBackup = false;
  for (const auto& [endsAt, found] : {std::pair{4095, true}, std::pair{4096, false}}) {
    std::string bytes(5000, 'x');
    bytes.replace(endsAt - 18, 19, "2007:12:16 10:20:30");
    makeFile("big.jpg", bytes);
    EXPECT_EQ(convert("big.jpg"), ConversionResult::Counted);
    EXPECT_EQ(dir.lastWriteTime("big.jpg") == localTime(2007, 12, 16, 10, 20, 30), found) << endsAt;
  }
}

// --- Time stamping ---------------------------------------------------------------------------------

enum class Ends { FoundDate, OwnTime, RewriteTime };

struct StampCase {
  int timestampMode;
  int dateSource;
  bool keepBackup;
  bool dateInside;
  Ends ends;
};

class StampingTest : public ConversionFixture,
                     public ::testing::WithParamInterface<std::tuple<const char*, StampCase>> {};

TEST_P(StampingTest, EndsWithTheTimeTheOptionsAskFor) {
  const auto& [zoneName, c] = GetParam();
  ScopedTimeZone inZone(zoneName);
  options.value().timestampMode = c.timestampMode;
  options.value().dateSource = c.dateSource;
  options.value().keepBackup = c.keepBackup;
  const std::string bytes = c.dateInside ? exifJpeg("2007:12:16 10:20:31") : std::string(300, 'n');
  makeFile("a.jpg", bytes);
  const FileTime before = localTime(2026, 1, 1, 0, 0, 0);

  EXPECT_EQ(convert("a.jpg"), ConversionResult::Counted);
  const FileTime after = dir.lastWriteTime("a.jpg");
  switch (c.ends) {
    case Ends::FoundDate:
      EXPECT_EQ(after, localTime(2007, 12, 16, 10, 20, 30));  // an odd second is stamped one earlier
      break;
    case Ends::OwnTime:
      EXPECT_EQ(after, kOldTime);  // to the nanosecond
      break;
    case Ends::RewriteTime:
      EXPECT_GT(after.seconds, before.seconds);
      break;
  }
  EXPECT_EQ(dir.read("a.jpg"), bytes);
  if (c.keepBackup) {
    EXPECT_EQ(dir.lastWriteTime("a.bak"), kOldTime);
  }
}

constexpr StampCase kStampCases[] = {
    {0, 0, true, true, Ends::FoundDate}, {0, 0, false, true, Ends::FoundDate},
    {0, 1, true, true, Ends::FoundDate}, {0, 1, false, true, Ends::FoundDate},
    {0, 0, true, false, Ends::OwnTime},  {0, 1, true, false, Ends::OwnTime},
    {0, 1, false, false, Ends::OwnTime}, {0, 2, true, true, Ends::RewriteTime},
    {0, 2, false, true, Ends::OwnTime},  {1, 0, true, true, Ends::OwnTime},
    {1, 2, true, false, Ends::OwnTime},  {1, 1, false, true, Ends::OwnTime},
};

INSTANTIATE_TEST_SUITE_P(ModesSourcesAndBackups, StampingTest,
                         ::testing::Combine(::testing::Values("Asia/Tokyo", "Europe/Berlin"),
                                            ::testing::ValuesIn(kStampCases)));

TEST_F(ConversionTest, ADateThatIsNoRealLocalTimeLeavesTheTimeAndStillCounts) {
  options.value().keepBackup = false;
  for (const char* date : {"2007:00:16 10:20:30", "2007:12:00 10:20:30", "2007:04:31 10:20:30",
                           "1979:12:31 23:59:59", "1901:01:01 00:00:00"}) {
    makeFile("a.jpg", exifJpeg(date));
    EXPECT_EQ(convert("a.jpg"), ConversionResult::Counted) << date;
    EXPECT_EQ(dir.lastWriteTime("a.jpg"), kOldTime) << date;
  }
}

TEST_F(ConversionTest, TheLatestDateTheFormatHoldsIsStamped) {
  makeFile("a.jpg", exifJpeg("2099:12:31 23:59:59"));
  EXPECT_EQ(convert("a.jpg"), ConversionResult::Counted);
  EXPECT_EQ(dir.lastWriteTime("a.jpg"), localTime(2099, 12, 31, 23, 59, 58));
}

TEST_F(ConversionTest, AnOwnTimeOutsideWhatTheFormatHoldsIsKeptExactly) {
  options.value().timestampMode = 1;
  for (const FileTime own : {FileTime{157766400, 5}, FileTime{4354819200, 999999999}}) {  // 1975, 2108
    dir.write("a.jpg", exifJpeg("2005:08:27 16:42:08"));
    dir.setLastWriteTime("a.jpg", own);
    EXPECT_EQ(convert("a.jpg"), ConversionResult::Counted);
    EXPECT_EQ(dir.lastWriteTime("a.jpg"), own);
    EXPECT_EQ(dir.lastWriteTime("a.bak"), own);
  }
}

TEST_F(ConversionTest, FindsTheDateInTheExifSegmentEvenWhenTheRewriteRemovesIt) {
  options.value().stripExif = true;
  const std::string jpeg = exifJpeg("2005:08:27 16:42:08");
  makeFile("a.jpg", jpeg);
  EXPECT_EQ(convert("a.jpg"), ConversionResult::Counted);
  EXPECT_EQ(dir.read("a.jpg"), withoutExifSegment(jpeg));
  EXPECT_EQ(dir.read("a.bak"), jpeg);
  EXPECT_EQ(dir.lastWriteTime("a.jpg"), localTime(2005, 8, 27, 16, 42, 8));
}

// --- The backup stage ------------------------------------------------------------------------------

TEST_F(ConversionTest, KeepsTheOriginalAsBakAndRewritesTheFileByteForByte) {
  const std::string jpeg = exifJpeg("2005:08:27 16:42:08", 5000);
  makeFile("a.jpg", jpeg);
  ASSERT_EQ(chmod(dir.file("a.jpg").c_str(), 0604), 0);
  EXPECT_EQ(convert("a.jpg"), ConversionResult::Counted);
  EXPECT_EQ(dir.read("a.jpg"), jpeg);
  EXPECT_EQ(dir.read("a.bak"), jpeg);
  EXPECT_EQ(dir.lastWriteTime("a.bak"), kOldTime);
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.bak", "a.jpg"}));
  struct stat info;
  ASSERT_EQ(stat(dir.file("a.jpg").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0604u);  // the rewritten file keeps the original's permissions
  EXPECT_TRUE(messages.texts.empty());
}

TEST_F(ConversionTest, WithoutBackupNothingIsRewrittenEvenWhenExifRemovalIsAsked) {
  options.value().keepBackup = false;
  options.value().stripExif = true;
  const std::string jpeg = exifJpeg("2005:08:27 16:42:08");
  makeFile("a.jpg", jpeg);
  EXPECT_EQ(convert("a.jpg"), ConversionResult::Counted);
  EXPECT_EQ(dir.read("a.jpg"), jpeg);
  EXPECT_EQ(dir.names(), std::vector<std::string>{"a.jpg"});
}

TEST_F(ConversionTest, RemovesTheExifSegmentOnlyWhereTheFileBeginsWithOne) {
  options.value().stripExif = true;
  std::string worked(100, '\x55');
  worked.replace(0, 10,
                 std::string("\xFF\xD8\xFF\xE1\x00\x10"
                             "Exif",
                             10));
  std::string app0First = worked;
  app0First[3] = '\xE0';
  std::string capitals = worked;
  capitals.replace(6, 4, "EXIF");
  std::string pastTheEnd = worked;
  pastTheEnd.replace(4, 2, std::string("\x00\x60", 2));  // start = 100: the end of the file
  const std::string jpeg = exifJpeg("2005:08:27 16:42:08");
  struct Case {
    const char* what;
    std::string bytes;
    std::string rewritten;
  } cases[] = {
      {"worked example", worked, worked.substr(0, 2) + worked.substr(20)},
      {"APP0 first", app0First, app0First},
      {"letters in capitals", capitals, capitals},
      {"fewer than 10 bytes", std::string("\xFF\xD8\xFF\xE1\x00\x02"),
       std::string("\xFF\xD8\xFF\xE1\x00\x02")},
      {"length reaching the end", pastTheEnd, std::string("\xFF\xD8")},
      {"camera picture", jpeg, withoutExifSegment(jpeg)},
      {"empty file", std::string(), std::string()},
  };
  for (const Case& c : cases) {
    makeFile("a.jpg", c.bytes);
    convert("a.jpg");
    EXPECT_EQ(dir.read("a.jpg"), c.rewritten) << c.what;
    EXPECT_EQ(dir.read("a.bak"), c.bytes) << c.what;
  }
  EXPECT_EQ(worked.substr(0, 2).size() + worked.substr(20).size(), 82u);
}

TEST_F(ConversionTest, AnOlderBackupGivesWay) {
  makeFile("a.bak", "an older backup");
  makeFile("a.jpg", exifJpeg("2005:08:27 16:42:08"));
  options.value().stripExif = true;
  EXPECT_EQ(convert("a.jpg"), ConversionResult::Counted);
  const std::string firstRewrite = dir.read("a.jpg");
  EXPECT_EQ(dir.read("a.bak"), exifJpeg("2005:08:27 16:42:08"));
  // Converting the same file again keeps, as backup, the file as the first conversion wrote it.
  EXPECT_EQ(convert("a.jpg"), ConversionResult::Counted);
  EXPECT_EQ(dir.read("a.bak"), firstRewrite);
}

TEST_F(ConversionTest, WritesTheNewFileCompletelyBeforeTheOriginalMoves) {
  makeFile("a.jpg", exifJpeg("2005:08:27 16:42:08"));
  FaultInjectionEnv recording(*posix);
  EXPECT_EQ(convertWith(recording, "a.jpg"), ConversionResult::Counted);
  // The steps in order, repeats of one step folded.
  std::vector<std::string> steps;
  for (const std::string& line : recording.log()) {
    const std::string step = line.substr(0, line.find(' '));
    const bool isStep = step == "remove" || step == "createTemporary" || step == "write" || step == "close" ||
                        step == "rename";
    if (isStep && (steps.empty() || steps.back() != step)) {
      steps.push_back(step);
    }
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"remove", "createTemporary", "write", "close", "rename"}));
  EXPECT_EQ(std::count(recording.log().begin(), recording.log().end(),
                       "rename " + dir.file("a.jpg") + " -> " + dir.file("a.bak")),
            1);
}

struct FailureCase {
  const char* what;
  Op op;
  int errorNumber;
  std::string pathPart;
  int skip;
  std::string message;  // %s stands for the path
};

class BackupFailureTest : public ConversionFixture, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(BackupFailureTest, PutsTheOriginalBackUnderItsNameAndStops) {
  const FailureCase& c = GetParam();
  const std::string jpeg = exifJpeg("2005:08:27 16:42:08", 3000);
  makeFile("a.jpg", jpeg);
  makeFile("a.bak", "older backup");
  FaultInjectionEnv faulty(*posix);
  if (c.op == Op::Write) {
    faulty.failWriteAtByte(1000, c.errorNumber);
  } else {
    faulty.failNext(c.op, c.errorNumber, c.pathPart, c.skip);
  }
  EXPECT_EQ(convertWith(faulty, "a.jpg"), ConversionResult::Stop);

  std::string expected = c.message;
  if (const std::size_t at = expected.find("%s"); at != std::string::npos) {
    expected.replace(at, 2, dir.file("a.jpg"));
  }
  EXPECT_EQ(messages.texts, std::vector<std::string>{expected});
  EXPECT_EQ(dir.read("a.jpg"), jpeg);
  EXPECT_EQ(dir.lastWriteTime("a.jpg"), kOldTime);
  EXPECT_FALSE(dir.exists("a.bak"));  // the older backup gave way; no new one
  EXPECT_TRUE(hasNoTemporaryFiles());
}

const FailureCase kFailureCases[] = {
    {"temporary file refused", Op::CreateTemporary, ENOSPC, "", 0,
     "%s ﾌｧｲﾙ の コピー(open処理）に失敗しました\n\n処理を中止します"},
    {"write fails at byte 1000", Op::Write, EIO, "", 0,
     "%s ﾌｧｲﾙ の コピー中に エラー発生しました\n\n処理を中止します"},
    {"close reports a delayed write error", Op::Close, EIO, ".kestrava", 0,
     "%s ﾌｧｲﾙ の コピー中に エラー発生しました\n\n処理を中止します"},
    {"rename to the backup refused", Op::Rename, EACCES, "a.bak", 0, "rename error : 13"},
    {"new file refused its name", Op::Rename, EIO, ".kestrava", 0,
     "%s ﾌｧｲﾙ の コピー(open処理）に失敗しました\n\n処理を中止します"},
};

INSTANTIATE_TEST_SUITE_P(EveryFailurePath, BackupFailureTest, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) {
                           std::string name = info.param.what;
                           for (char& ch : name) {
                             if (!std::isalnum(static_cast<unsigned char>(ch)))
                               ch = '_';
                           }
                           return name;
                         });

TEST_F(ConversionTest, ARenameRefusedBecauseTheOldBackupStaysShowsItsErrorNumber) {
  makeFile("a.jpg", exifJpeg("2005:08:27 16:42:08"));
  ASSERT_EQ(mkdir(dir.file("a.bak").c_str(), 0755), 0);  // a directory can't be deleted as a file
  EXPECT_EQ(convert("a.jpg"), ConversionResult::Stop);
  EXPECT_EQ(messages.texts, std::vector<std::string>{"rename error : 17"});
  EXPECT_EQ(dir.read("a.jpg"), exifJpeg("2005:08:27 16:42:08"));
  EXPECT_TRUE(hasNoTemporaryFiles());
}

TEST_F(ConversionTest, RefusedMemoryShowsTheSizeInFullAndStops) {
  makeFile("clip.avi", "RIFF....AVI LIST");
  // A sparse clip of 3 GiB: its length needs more than 32 bits.
  ASSERT_EQ(truncate(dir.file("clip.avi").c_str(), 3221225472LL), 0);
  dir.setLastWriteTime("clip.avi", kOldTime);
  FaultInjectionEnv faulty(*posix);
  faulty.refuseAllocationsOver(1 << 20);
  EXPECT_EQ(convertWith(faulty, "clip.avi"), ConversionResult::Stop);
  EXPECT_EQ(messages.texts, std::vector<std::string>{
                                dir.file("clip.avi") +
                                " ﾌｧｲﾙ の処理のため，\n\n3221225520 Byte ﾒﾓﾘｰ 確保しようとしましたが，\n\n"
                                "メモリ 不足の為 処理できませんでした\n\n処理を中止します"});
  EXPECT_EQ(dir.lastWriteTime("clip.avi"), kOldTime);
  EXPECT_EQ(dir.names(), std::vector<std::string>{"clip.avi"});
}

TEST_F(ConversionTest, WithoutBackupOnlyTheFirst4096BytesAreRequested) {
  options.value().keepBackup = false;
  makeFile("a.jpg", exifJpeg("2005:08:27 16:42:08", 100000));
  FaultInjectionEnv faulty(*posix);
  faulty.refuseAllocationsOver(4096 + 48);
  EXPECT_EQ(convertWith(faulty, "a.jpg"), ConversionResult::Counted);
  EXPECT_EQ(dir.lastWriteTime("a.jpg"), localTime(2005, 8, 27, 16, 42, 8));
}

TEST_F(ConversionTest, AReadErrorLeavesTheFileAlone) {
  const std::string jpeg = exifJpeg("2005:08:27 16:42:08");
  makeFile("a.jpg", jpeg);
  FaultInjectionEnv faulty(*posix);
  faulty.failNext(Op::Read, EIO);
  EXPECT_EQ(convertWith(faulty, "a.jpg"), ConversionResult::Skipped);
  EXPECT_EQ(dir.read("a.jpg"), jpeg);
  EXPECT_EQ(dir.names(), std::vector<std::string>{"a.jpg"});
}

TEST_F(ConversionTest, ASecondOpenThatFailsLeavesTheRewrittenFileUnstamped) {
  makeFile("a.jpg", exifJpeg("2005:08:27 16:42:08"));
  FaultInjectionEnv faulty(*posix);
  faulty.failNext(Op::OpenExisting, EIO, "a.jpg", 1);
  EXPECT_EQ(convertWith(faulty, "a.jpg"), ConversionResult::Skipped);
  EXPECT_TRUE(dir.exists("a.bak"));
  EXPECT_NE(dir.lastWriteTime("a.jpg"), localTime(2005, 8, 27, 16, 42, 8));
}

TEST_F(ConversionTest, ATimeTheFileSystemRefusesChangesNothingElse) {
  makeFile("a.jpg", exifJpeg("2005:08:27 16:42:08"));
  FaultInjectionEnv faulty(*posix);
  faulty.failNext(Op::SetTime, EPERM);
  EXPECT_EQ(convertWith(faulty, "a.jpg"), ConversionResult::Counted);
  EXPECT_TRUE(messages.texts.empty());
}

// --- Case-folding file systems -----------------------------------------------------------------------

TEST_F(ConversionTest, OnACaseFoldingDiskABakNameThatIsTheFileItselfIsSkipped) {
  const std::string jpeg = exifJpeg("2005:08:27 16:42:08");
  makeFile("IMG_0001.BAK", jpeg);
  CaseFoldingEnv card(*posix);
  EXPECT_EQ(convertWith(card, "IMG_0001.BAK"), ConversionResult::Skipped);
  EXPECT_TRUE(messages.texts.empty());
  EXPECT_EQ(dir.names(), std::vector<std::string>{"IMG_0001.BAK"});
  EXPECT_EQ(dir.read("IMG_0001.BAK"), jpeg);
  EXPECT_EQ(dir.lastWriteTime("IMG_0001.BAK"), kOldTime);
}

TEST_F(ConversionTest, OnACaseFoldingDiskAnOldBackupInCapitalsGivesWay) {
  makeFile("a.jpg", exifJpeg("2005:08:27 16:42:08"));
  makeFile("A.BAK", "older backup");
  CaseFoldingEnv card(*posix);
  EXPECT_EQ(convertWith(card, "a.jpg"), ConversionResult::Counted);
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.bak", "a.jpg"}));
  EXPECT_EQ(dir.read("a.bak"), exifJpeg("2005:08:27 16:42:08"));
}

TEST_F(ConversionTest, OnARealFatCardTheSelfBackupIsSkippedAndOthersConvert) {
  if (const std::string reason = platform::testing::FatMount::unavailableReason(); !reason.empty()) {
    GTEST_SKIP() << "no FAT image can be mounted here: " << reason;
  }
  platform::testing::FatMount card;
  const std::string jpeg = exifJpeg("2005:08:27 16:42:08");
  const std::string self = card.path() + "IMG_0001.BAK";
  const std::string other = card.path() + "IMG_0002.JPG";
  testing::writeFileAt(self, jpeg);
  testing::writeFileAt(other, jpeg);
  Converter converter(*posix, options, messages, &observer);
  EXPECT_EQ(converter.file_syori(self), ConversionResult::Skipped);
  EXPECT_EQ(converter.file_syori(other), ConversionResult::Counted);
  EXPECT_TRUE(messages.texts.empty());
  EXPECT_EQ(testing::sortedNames(*posix, card.path()),
            (std::vector<std::string>{"IMG_0001.BAK", "IMG_0002.JPG", "IMG_0002.bak"}));
}

}  // namespace
}  // namespace kestrava::engine
