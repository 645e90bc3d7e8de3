#include "batch/batch_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <map>
#include <set>

#include "engine/conversion.h"
#include "platform/env_posix.h"
#include "platform/overlay_env.h"
#include "platform/testing/listing_env.h"
#include "platform/testing/recording_message_box.h"
#include "platform/testing/temp_dir.h"

namespace kestrava::batch {
namespace {

using engine::ConversionResult;
using platform::DirEntry;
using platform::EntryType;
using platform::FileTime;
using platform::Status;
using platform::testing::ListingEnv;
using platform::testing::RecordingMessageBox;
using platform::testing::TempDir;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

DirEntry file(const std::string& name) {
  return DirEntry{name, EntryType::RegularFile};
}

std::vector<DirEntry> files(const std::vector<std::string>& names) {
  std::vector<DirEntry> entries;
  for (const std::string& name : names) {
    entries.push_back(file(name));
  }
  return entries;
}

// Remembers every path it is given and answers Counted unless told otherwise for that path.
class RecordingConverter final : public engine::FileConverter {
 public:
  std::vector<std::string> paths;
  std::map<std::string, ConversionResult> results;
  std::function<void(const std::string&)> action;

  ConversionResult file_syori(const std::string& path) override {
    paths.push_back(path);
    if (action) {
      action(path);
    }
    const auto found = results.find(path);
    return found == results.end() ? ConversionResult::Counted : found->second;
  }
};

class RecordingObserver final : public BatchObserver {
 public:
  std::vector<std::string> events;

  void runStarted() override { events.push_back("started"); }
  void passStarted(const std::string& mask, int fileCount) override {
    events.push_back("pass " + mask + " " + std::to_string(fileCount));
  }
  void countChanged(int total) override { events.push_back("count " + std::to_string(total)); }
  void runEnded(int total) override { events.push_back("ended " + std::to_string(total)); }
  void runStopped() override { events.push_back("stopped"); }
};

std::string reportText(int total) {
  return std::to_string(total) + " 件 処理しました";
}

std::string outOfMemoryText(long bytes) {
  return "ﾌｧｲﾙ処理のため，\n\n" + std::to_string(bytes) +
         " Byte ﾒﾓﾘｰ 確保しようとしましたが，\n\nメモリ 不足の為 処理できませんでした\n\n処理を中止します";
}

// A converter, an observer and a message box for one run.
struct RunUnderTest {
  RecordingConverter converter;
  RecordingObserver observer;
  RecordingMessageBox messages;

  BatchOutcome operator()(platform::Env& env, const std::string& chosenPath, int scope, int filterIndex) {
    return runBatch(BatchRequest{chosenPath, scope, filterIndex}, converter, env, messages, observer);
  }
};

std::vector<std::string> inDirectory(const std::string& directory, const std::vector<std::string>& names) {
  std::vector<std::string> paths;
  for (const std::string& name : names) {
    paths.push_back(directory + name);
  }
  return paths;
}

// The directory of the camera card in the examples: three camera files, a text, a subdirectory, a hidden
// file and a link whose names fit the masks.
class PassTableTest : public ::testing::TestWithParam<std::tuple<int, std::vector<std::string>>> {
 protected:
  void SetUp() override {
    for (const char* name : {"a.jpg", "b.JPE", "c.avi", "d.txt", ".e.jpg"}) {
      dir_.write(name, "bytes");
    }
    ASSERT_EQ(::mkdir(dir_.file("x.jpg").c_str(), 0755), 0);
    ASSERT_EQ(::symlink(dir_.file("a.jpg").c_str(), dir_.file("f.jpg").c_str()), 0);
  }

  TempDir dir_;
  std::unique_ptr<platform::Env> env_ = platform::newPosixEnv();
};

TEST_P(PassTableTest, HandsOverThePassesFilesInOrderAndCountsEach) {
  const auto& [filterIndex, expectedNames] = GetParam();
  RunUnderTest run;
  const BatchOutcome outcome = run(*env_, dir_.file("d.txt"), 1, filterIndex);

  EXPECT_EQ(run.converter.paths, inDirectory(dir_.path(), expectedNames));
  const int total = static_cast<int>(expectedNames.size());
  EXPECT_TRUE(outcome.completed);
  EXPECT_EQ(outcome.total, total);
  EXPECT_THAT(run.messages.texts, ElementsAre(reportText(total)));
  std::vector<std::string> counts;
  for (const std::string& event : run.observer.events) {
    if (event.starts_with("count ")) {
      counts.push_back(event);
    }
  }
  std::vector<std::string> expectedCounts;
  for (int shown = 1; shown <= total; ++shown) {
    expectedCounts.push_back("count " + std::to_string(shown));
  }
  EXPECT_EQ(counts, expectedCounts);
  EXPECT_EQ(run.observer.events.back(), "ended " + std::to_string(total));
}

INSTANTIATE_TEST_SUITE_P(
    FilterIndexes, PassTableTest,
    ::testing::Values(std::make_tuple(1, std::vector<std::string>{"a.jpg", "b.JPE", "c.avi"}),
                      std::make_tuple(2, std::vector<std::string>{"a.jpg", "b.JPE"}),
                      std::make_tuple(3, std::vector<std::string>{"c.avi"}),
                      std::make_tuple(4, std::vector<std::string>{"a.jpg", "b.JPE", "c.avi", "d.txt"}),
                      std::make_tuple(0, std::vector<std::string>{"a.jpg", "b.JPE", "c.avi"}),
                      std::make_tuple(5, std::vector<std::string>{"a.jpg", "b.JPE", "c.avi"})));

TEST(BatchRunTest, ReportsEachPassWithItsCountAndTheRunningTotal) {
  ListingEnv env;
  env.listings["/card/"] = files({"c.avi", "b.jpg", "a.jpg", "d.txt", "e.jpe"});
  RunUnderTest run;
  run.converter.results["/card/b.jpg"] = ConversionResult::Skipped;
  run(env, "/card/d.txt", 1, 1);
  EXPECT_THAT(run.observer.events,
              ElementsAre("started", "pass *.jpg 2", "count 1", "count 1", "pass *.jpe 1", "count 2",
                          "pass *.avi 1", "count 3", "ended 3"));
  EXPECT_THAT(env.listed, ElementsAre("/card/", "/card/", "/card/", "/card/", "/card/", "/card/"));
  EXPECT_THAT(env.allocations, ElementsAre(4 * 280, 3 * 280, 3 * 280));
  EXPECT_THAT(run.messages.texts, ElementsAre(reportText(3)));
}

TEST(BatchRunTest, StopEndsTheRunAtOnceWithoutReport) {
  struct Case {
    std::string stopAt;
    std::vector<std::string> converted;
    std::vector<std::string> events;
    int totalShown;
  };
  const std::vector<Case> cases = {
      {"c.jpg", {"a.jpg", "b.jpg", "c.jpg"}, {"started", "pass *.jpg 5", "count 1", "count 2", "stopped"}, 2},
      {"f.jpe",
       {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg", "f.jpe"},
       {"started", "pass *.jpg 5", "count 1", "count 2", "count 3", "count 4", "count 5", "pass *.jpe 2",
        "stopped"},
       5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("stop at " + c.stopAt);
    ListingEnv env;
    env.listings["/card/"] = files({"e.jpg", "d.jpg", "c.jpg", "b.jpg", "a.jpg", "f.jpe", "g.jpe", "h.avi"});
    RunUnderTest run;
    run.converter.results["/card/" + c.stopAt] = ConversionResult::Stop;
    const BatchOutcome outcome = run(env, "/card/a.jpg", 1, 1);
    EXPECT_EQ(run.converter.paths, inDirectory("/card/", c.converted));
    EXPECT_EQ(run.observer.events, c.events);
    EXPECT_THAT(run.messages.texts, IsEmpty());
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.total, c.totalShown);
  }
}

TEST(BatchRunTest, RefusedPathListStopsTheRunWithItsSize) {
  struct Case {
    int refusedRequest;
    long reportedBytes;
    std::vector<std::string> converted;
    std::vector<std::string> events;
  };
  const std::vector<Case> cases = {
      {0, 3 * 280, {}, {"started", "pass *.jpg 1", "stopped"}},
      {1, 9 * 280, {"a.jpg"}, {"started", "pass *.jpg 1", "count 1", "pass *.jpe 7", "stopped"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("refused request " + std::to_string(c.refusedRequest));
    ListingEnv env;
    env.listings["/card/"] =
        files({"a.jpg", "1.jpe", "2.jpe", "3.jpe", "4.jpe", "5.jpe", "6.jpe", "7.jpe", "c.avi"});
    env.refusedAllocations = {c.refusedRequest};
    RunUnderTest run;
    const BatchOutcome outcome = run(env, "/card/a.jpg", 1, 1);
    EXPECT_EQ(run.converter.paths, inDirectory("/card/", c.converted));
    EXPECT_EQ(run.observer.events, c.events);
    EXPECT_THAT(run.messages.texts, ElementsAre(outOfMemoryText(c.reportedBytes)));
    EXPECT_EQ(env.allocations.back(), static_cast<std::size_t>(c.reportedBytes));
    EXPECT_FALSE(outcome.completed);
  }
}

TEST(BatchRunTest, ChosenFileAloneIsConvertedWhateverItsType) {
  struct Case {
    ConversionResult result;
    std::vector<std::string> messages;
    std::vector<std::string> events;
  };
  const std::vector<Case> cases = {
      {ConversionResult::Counted, {reportText(1)}, {"started", "ended 1"}},
      {ConversionResult::Skipped, {reportText(0)}, {"started", "ended 0"}},
      {ConversionResult::Stop, {}, {"started", "stopped"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.result));
    ListingEnv env;
    env.listings["/card/"] = files({"c.avi", "d.txt"});
    RunUnderTest run;
    run.converter.results["/card/d.txt"] = c.result;
    const BatchOutcome outcome = run(env, "/card/d.txt", 0, 3);
    EXPECT_THAT(run.converter.paths, ElementsAre("/card/d.txt"));
    EXPECT_EQ(run.messages.texts, c.messages);
    EXPECT_EQ(run.observer.events, c.events);
    EXPECT_THAT(env.listed, IsEmpty());
    EXPECT_EQ(outcome.completed, c.result != ConversionResult::Stop);
  }
}

TEST(BatchRunTest, NothingToConvertReportsZero) {
  struct Case {
    const char* what;
    std::map<std::string, std::vector<DirEntry>> listings;
  };
  const std::vector<Case> cases = {
      {"no matching file", {{"/card/", files({"d.txt", "e.jpg.txt"})}}},
      {"directory that can't be listed", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ListingEnv env;
    env.listings = c.listings;
    RunUnderTest run;
    const BatchOutcome outcome = run(env, "/card/d.txt", 1, 1);
    EXPECT_THAT(run.converter.paths, IsEmpty());
    EXPECT_THAT(run.observer.events,
                ElementsAre("started", "pass *.jpg 0", "pass *.jpe 0", "pass *.avi 0", "ended 0"));
    EXPECT_THAT(env.allocations, ElementsAre(560, 560, 560));
    EXPECT_THAT(run.messages.texts, ElementsAre(reportText(0)));
    EXPECT_TRUE(outcome.completed);
  }
}

TEST(BatchRunTest, EveryFileMaskHandsOverBackupsForTheConverterToSkip) {
  ListingEnv env;
  env.listings["/card/"] = files({"b.jpg", "a.jpg", "a.bak", "Kestrava.cnf"});
  RunUnderTest run;
  run.converter.results["/card/a.bak"] = ConversionResult::Skipped;
  run(env, "/card/a.jpg", 1, 4);
  EXPECT_EQ(run.converter.paths, inDirectory("/card/", {"a.bak", "a.jpg", "b.jpg", "Kestrava.cnf"}));
  EXPECT_THAT(run.observer.events,
              ElementsAre("started", "pass *.* 4", "count 0", "count 1", "count 2", "count 3", "ended 3"));
  EXPECT_THAT(run.messages.texts, ElementsAre(reportText(3)));
}

TEST(BatchRunTest, SecondListingDecidesWhatIsTakenUpToTwoMoreThanCounted) {
  struct Case {
    const char* what;
    std::vector<std::string> secondListing;
    std::vector<std::string> converted;
  };
  const std::vector<Case> cases = {
      {"one file added", {"b.jpg", "c.jpg", "d.jpg"}, {"b.jpg", "c.jpg", "d.jpg"}},
      {"five files added",
       {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg", "f.jpg", "g.jpg"},
       {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}},
      {"one file gone", {"d.jpg"}, {"d.jpg"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ListingEnv env;
    env.listings["/card/"] = files({"d.jpg", "b.jpg"});
    env.beforeListing = [&](int index) {
      if (index == 1) {
        env.listings["/card/"] = files(c.secondListing);
      }
    };
    RunUnderTest run;
    run(env, "/card/b.jpg", 1, 2);
    EXPECT_EQ(run.converter.paths, inDirectory("/card/", c.converted));
    EXPECT_EQ(env.allocations.front(), 4u * 280);
    EXPECT_EQ(run.observer.events[1], "pass *.jpg 2");
  }
}

TEST(BatchRunTest, PathTooLongForTheHostIsPassedOver) {
  ListingEnv env;
  env.rules.maxPathBytes = 16;
  env.listings["/card/"] = files({"a.jpg", "very_long_name.jpg"});
  RunUnderTest run;
  const BatchOutcome outcome = run(env, "/card/a.jpg", 1, 2);
  EXPECT_THAT(run.converter.paths, ElementsAre("/card/a.jpg"));
  EXPECT_THAT(run.observer.events,
              ElementsAre("started", "pass *.jpg 2", "count 1", "count 1", "pass *.jpe 0", "ended 1"));
  EXPECT_EQ(outcome.total, 1);

  RunUnderTest alone;
  alone(env, "/card/very_long_name.jpg", 0, 1);
  EXPECT_THAT(alone.converter.paths, IsEmpty());
  EXPECT_THAT(alone.messages.texts, ElementsAre(reportText(0)));
}

TEST(BatchRunTest, DirectoryIsTheChosenPathsUnderTheHostsRules) {
  ListingEnv env;
  env.rules = platform::PathRules::windows();
  // The second byte of this double-byte character is "\", which must not end the directory.
  const std::string kanji = "\x95\x5C";
  env.listings["C:\\PHOTO\\"] = files({"a.jpg", kanji + ".jpg"});
  RunUnderTest run;
  run(env, "C:\\PHOTO\\" + kanji + ".jpg", 1, 2);
  EXPECT_THAT(env.listed, ElementsAre("C:\\PHOTO\\", "C:\\PHOTO\\", "C:\\PHOTO\\", "C:\\PHOTO\\"));
  EXPECT_THAT(run.converter.paths, ElementsAre("C:\\PHOTO\\a.jpg", "C:\\PHOTO\\" + kanji + ".jpg"));
}

TEST(BatchRunOnDiskTest, FileRenamedDuringItsPassIsNotMetAgain) {
  TempDir dir;
  for (const char* name : {"a.jpg", "b.jpg"}) {
    dir.write(name, "bytes");
  }
  const std::unique_ptr<platform::Env> env = platform::newPosixEnv();
  RunUnderTest run;
  run.converter.action = [&](const std::string& path) {
    ASSERT_TRUE(env->renameNoReplace(path, dir.file("z_" + platform::namePart(path, env->pathRules()))));
  };
  const BatchOutcome outcome = run(*env, dir.file("a.jpg"), 1, 2);
  EXPECT_EQ(run.converter.paths, inDirectory(dir.path(), {"a.jpg", "b.jpg"}));
  EXPECT_THAT(dir.names(), ElementsAre("z_a.jpg", "z_b.jpg"));
  EXPECT_EQ(outcome.total, 2);
}

// The dry run's configuration: the run over an overlay, with a converter that renames each file to one
// name and takes the next letter when it is taken, as the renaming step does.
TEST(BatchRunOnDiskTest, DryRunMeetsItsOwnRenamesAndLeavesTheDiskAlone) {
  TempDir dir;
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
    dir.write(name, name);
  }
  const std::unique_ptr<platform::Env> disk = platform::newPosixEnv();
  platform::OverlayEnv overlay(*disk);
  std::vector<std::string> newNames;
  RunUnderTest run;
  run.converter.action = [&](const std::string& path) {
    for (const std::string suffix : {"", "a", "b", "c"}) {
      const Status renamed = overlay.renameNoReplace(path, dir.file("photo" + suffix + ".jpg"));
      if (renamed) {
        newNames.push_back("photo" + suffix + ".jpg");
        return;
      }
      ASSERT_EQ(renamed.errorNumber(), EEXIST);
    }
  };
  run(overlay, dir.file("a.jpg"), 1, 1);
  EXPECT_EQ(run.converter.paths, inDirectory(dir.path(), {"a.jpg", "b.jpg", "c.jpg"}));
  EXPECT_THAT(newNames, ElementsAre("photo.jpg", "photoa.jpg", "photob.jpg"));
  EXPECT_THAT(dir.names(), ElementsAre("a.jpg", "b.jpg", "c.jpg"));
  EXPECT_EQ(dir.read("b.jpg"), "b.jpg");
}

// What one directory holds, as far as a conversion can change it.
struct FileSeen {
  std::string name;
  std::uint64_t length = 0;
  FileTime lastWriteTime;

  friend bool operator==(const FileSeen&, const FileSeen&) = default;
};

std::vector<FileSeen> filesSeenThrough(platform::Env& env, const std::string& directory) {
  std::vector<DirEntry> entries;
  EXPECT_TRUE(env.listDirectory(directory, &entries));
  std::vector<FileSeen> seen;
  for (const DirEntry& entry : entries) {
    std::unique_ptr<platform::File> file;
    platform::FileInfo info;
    EXPECT_TRUE(env.openExisting(directory + entry.name, &file)) << entry.name;
    EXPECT_TRUE(file && file->info(&info)) << entry.name;
    seen.push_back(FileSeen{entry.name, info.length, info.lastWriteTime});
  }
  std::sort(seen.begin(), seen.end(), [](const FileSeen& a, const FileSeen& b) { return a.name < b.name; });
  return seen;
}

// The real conversion, run once for real and once dry over a copy of the same directory: the dry run's
// view must be the directory the real run leaves, collision letters and backups included.
TEST(BatchRunOnDiskTest, DryRunViewIsWhatTheRealRunLeaves) {
  const std::string exifStart(
      "\xFF\xD8\xFF\xE1\x00\x20"
      "Exif",
      10);
  const std::map<std::string, std::string> photos = {
      {"IMG_0001.JPG", exifStart + "2005:08:27 16:42:08 first"},
      {"IMG_0002.JPG", exifStart + "2005:08:27 16:42:08 second, same second"},
      {"IMG_0003.jpg", exifStart + "2006:01:02 03:04:05 third"},
      {"clip.avi", "RIFF....AVI 2005:08:27 16:42:08 clip"},
  };
  TempDir real;
  TempDir dry;
  for (const auto& [name, bytes] : photos) {
    for (const TempDir* dir : {&real, &dry}) {
      dir->write(name, bytes);
      dir->setLastWriteTime(name, FileTime{1100000000, 5000});
    }
  }
  const std::vector<std::string> dryNamesBefore = dry.names();

  const std::unique_ptr<platform::Env> disk = platform::newPosixEnv();
  platform::OverlayEnv overlay(*disk);
  engine::FixedOptions options;
  std::map<platform::Env*, std::pair<BatchOutcome, std::vector<std::string>>> results;
  for (platform::Env* env : {disk.get(), static_cast<platform::Env*>(&overlay)}) {
    const TempDir& dir = env == disk.get() ? real : dry;
    RecordingMessageBox messages;
    RecordingObserver observer;
    engine::Converter converter(*env, options, messages);
    const BatchOutcome outcome =
        runBatch(BatchRequest{dir.file("IMG_0001.JPG"), 1, 1}, converter, *env, messages, observer);
    results[env] = {outcome, messages.texts};
  }

  EXPECT_TRUE(results[disk.get()].first.completed);
  EXPECT_EQ(results[disk.get()].first.total, 4);
  EXPECT_EQ(results[&overlay].first.total, results[disk.get()].first.total);
  EXPECT_EQ(results[&overlay].second, results[disk.get()].second);
  const std::vector<FileSeen> left = filesSeenThrough(*disk, real.path());
  EXPECT_EQ(left.size(), 2 * photos.size());
  EXPECT_EQ(filesSeenThrough(overlay, dry.path()), left);
  EXPECT_EQ(dry.names(), dryNamesBefore);
  for (const auto& [name, bytes] : photos) {
    EXPECT_EQ(dry.read(name), bytes);
  }
}

}  // namespace
}  // namespace kestrava::batch
