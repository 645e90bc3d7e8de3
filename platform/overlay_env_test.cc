#include "platform/overlay_env.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "platform/directory_search.h"
#include "platform/env_posix.h"
#include "platform/testing/case_folding_env.h"
#include "platform/testing/fat_mount.h"
#include "platform/testing/temp_dir.h"

namespace kestrava::platform {
namespace {

using Kind = OverlayChange::Kind;
using ::testing::ElementsAre;
using testing::FatMount;
using testing::TempDir;
using ::testing::UnorderedElementsAre;

// What the disk holds at one path: enough to see any change a dry run must not make.
struct DiskState {
  unsigned mode = 0;
  std::int64_t mtimeSeconds = 0;
  long mtimeNanoseconds = 0;
  std::string bytes;

  friend bool operator==(const DiskState&, const DiskState&) = default;
};

std::map<std::string, DiskState> snapshot(const TempDir& dir, const std::string& subdirectory = "") {
  std::map<std::string, DiskState> states;
  for (const std::string& name : dir.names(subdirectory)) {
    const std::string relative = subdirectory.empty() ? name : subdirectory + "/" + name;
    struct stat st;
    if (::lstat(dir.file(relative).c_str(), &st) != 0) {
      ADD_FAILURE() << "lstat " << relative;
      continue;
    }
    DiskState state{st.st_mode, st.st_mtim.tv_sec, st.st_mtim.tv_nsec, {}};
    if (S_ISREG(st.st_mode)) {
      state.bytes = dir.read(relative);
    } else if (S_ISDIR(st.st_mode)) {
      for (auto& [inner, innerState] : snapshot(dir, relative)) {
        states[inner] = innerState;
      }
    }
    states[relative] = state;
  }
  return states;
}

std::vector<std::string> namesOf(const std::vector<DirEntry>& entries, EntryType type) {
  std::vector<std::string> names;
  for (const DirEntry& entry : entries) {
    if (entry.type == type) {
      names.push_back(entry.name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string readAll(File& file, Status* status) {
  std::string bytes;
  char chunk[64];
  std::size_t got = 0;
  do {
    *status = file.read(chunk, sizeof chunk, &got);
    bytes.append(chunk, got);
  } while (*status && got == sizeof chunk);
  return bytes;
}

const FileTime kOldTime{1100000000, 0};    // 2004-11-09
const FileTime kStampTime{1125157328, 0};  // 2005-08-27

// A card directory as a conversion meets it: the photo, an older backup of it, another photo, a
// read-only one, a subdirectory and a link.
class OverlayEnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.write("IMG_0001.JPG", kPhotoBytes);
    dir_.write("IMG_0001.bak", "older backup");
    dir_.write("other.jpg", "other bytes");
    dir_.write("ro.jpg", "read-only bytes");
    ASSERT_EQ(::chmod(dir_.file("ro.jpg").c_str(), 0444), 0);
    ASSERT_EQ(::mkdir(dir_.file("sub").c_str(), 0755), 0);
    dir_.write("sub/inner.jpg", "inner");
    ASSERT_EQ(::symlink("other.jpg", dir_.file("link.jpg").c_str()), 0);
    for (const char* name : {"IMG_0001.JPG", "IMG_0001.bak", "other.jpg", "ro.jpg", "sub/inner.jpg"}) {
      dir_.setLastWriteTime(name, kOldTime);
    }
    before_ = snapshot(dir_);
  }

  std::string path(const std::string& name) const { return dir_.file(name); }

  // The steps of one conversion with backup, stamping and renaming, as the engine takes them.
  void convertPhoto(const std::string& newName) {
    std::unique_ptr<File> file;
    ASSERT_TRUE(overlay_.openExisting(path("IMG_0001.JPG"), &file));
    Status status;
    ASSERT_EQ(readAll(*file, &status), kPhotoBytes);
    ASSERT_TRUE(status);
    ASSERT_TRUE(file->close());
    overlay_.removeFile(path("IMG_0001.bak"));
    ASSERT_TRUE(overlay_.renameNoReplace(path("IMG_0001.JPG"), path("IMG_0001.bak")));

    std::unique_ptr<File> copy;
    std::string temporary;
    ASSERT_TRUE(overlay_.createTemporary(dir_.path(), 0644, &copy, &temporary));
    ASSERT_TRUE(copy->write(kPhotoBytes.data(), 2));
    ASSERT_TRUE(copy->write(kPhotoBytes.data() + 10, kPhotoBytes.size() - 10));
    ASSERT_TRUE(copy->close());
    ASSERT_TRUE(overlay_.renameNoReplace(temporary, path("IMG_0001.JPG")));
    temporary_ = temporary;

    std::unique_ptr<File> again;
    ASSERT_TRUE(overlay_.openExisting(path("IMG_0001.JPG"), &again));
    ASSERT_TRUE(again->setLastWriteTime(kStampTime));
    ASSERT_TRUE(again->close());
    ASSERT_TRUE(overlay_.renameNoReplace(path("IMG_0001.JPG"), path(newName)));
  }

  const std::string kPhotoBytes =
      std::string("\xFF\xD8\xFF\xE1\x00\x06Exif", 10) + "2005:08:27 16:42:08 picture";
  TempDir dir_;
  std::unique_ptr<Env> disk_ = newPosixEnv();
  OverlayEnv overlay_{*disk_};
  std::map<std::string, DiskState> before_;
  std::string temporary_;
};

TEST_F(OverlayEnvTest, ConversionLeavesEveryFileOnDiskAsItWas) {
  convertPhoto("050827_164208.JPG");
  EXPECT_EQ(snapshot(dir_), before_);
  EXPECT_THAT(
      overlay_.changes(),
      ElementsAre(OverlayChange{Kind::Remove, path("IMG_0001.bak"), ""},
                  OverlayChange{Kind::Rename, path("IMG_0001.JPG"), path("IMG_0001.bak")},
                  OverlayChange{Kind::Create, temporary_, ""}, OverlayChange{Kind::Write, temporary_, ""},
                  OverlayChange{Kind::Rename, temporary_, path("IMG_0001.JPG")},
                  OverlayChange{Kind::SetLastWriteTime, path("IMG_0001.JPG"), ""},
                  OverlayChange{Kind::Rename, path("IMG_0001.JPG"), path("050827_164208.JPG")}));
}

TEST_F(OverlayEnvTest, ViewAfterConversionIsWhatTheRealRunLeaves) {
  convertPhoto("050827_164208.JPG");

  std::vector<DirEntry> entries;
  ASSERT_TRUE(overlay_.listDirectory(dir_.path(), &entries));
  EXPECT_THAT(namesOf(entries, EntryType::RegularFile),
              ElementsAre("050827_164208.JPG", "IMG_0001.bak", "other.jpg", "ro.jpg"));
  EXPECT_THAT(namesOf(entries, EntryType::Directory), ElementsAre("sub"));
  EXPECT_THAT(namesOf(entries, EntryType::SymbolicLink), ElementsAre("link.jpg"));
  EXPECT_EQ(entries.size(), 6u);

  std::unique_ptr<File> file;
  EXPECT_FALSE(overlay_.exists(path("IMG_0001.JPG")));
  EXPECT_FALSE(overlay_.canOpenForReading(path("IMG_0001.JPG")));
  EXPECT_EQ(overlay_.openExisting(path("IMG_0001.JPG"), &file).errorNumber(), ENOENT);
  EXPECT_FALSE(overlay_.exists(temporary_));

  // The new file: the length written, the time stamped, bytes the overlay never kept.
  ASSERT_TRUE(overlay_.openExisting(path("050827_164208.JPG"), &file));
  FileInfo info;
  ASSERT_TRUE(file->info(&info));
  EXPECT_EQ(info.length, kPhotoBytes.size() - 8);
  EXPECT_EQ(info.lastWriteTime, kStampTime);
  EXPECT_EQ(info.permissions, 0644u);
  char byte;
  std::size_t got = 0;
  EXPECT_EQ(file->read(&byte, 1, &got).errorNumber(), EIO);
  EXPECT_EQ(overlay_.diskSourceOf(path("050827_164208.JPG")), std::nullopt);

  // The backup: the photo's own bytes and time, read from the disk file it came from.
  ASSERT_TRUE(overlay_.openExisting(path("IMG_0001.bak"), &file));
  ASSERT_TRUE(file->info(&info));
  EXPECT_EQ(info.length, kPhotoBytes.size());
  EXPECT_EQ(info.lastWriteTime, kOldTime);
  Status status;
  EXPECT_EQ(readAll(*file, &status), kPhotoBytes);
  EXPECT_TRUE(overlay_.canOpenForReading(path("IMG_0001.bak")));
  EXPECT_EQ(overlay_.diskSourceOf(path("IMG_0001.bak")), path("IMG_0001.JPG"));

  std::vector<std::string> names;
  ASSERT_TRUE(findFiles(overlay_, dir_.path(), "*.jpg", &names));
  EXPECT_THAT(names, ElementsAre("050827_164208.JPG", "other.jpg", "ro.jpg"));
}

TEST_F(OverlayEnvTest, RenameNeverReplacesAnEntryOfTheView) {
  convertPhoto("050827_164208.JPG");
  struct Case {
    const char* to;
    int errorNumber;
  };
  // Taken by a file the overlay moved there, by one it made, by a disk file, a directory and a link.
  for (const Case& c : {Case{"IMG_0001.bak", EEXIST}, Case{"050827_164208.JPG", EEXIST},
                        Case{"ro.jpg", EEXIST}, Case{"sub", EEXIST}, Case{"link.jpg", EEXIST},
                        Case{"other.jpg", EEXIST}, Case{"nodir/x.jpg", ENOENT}}) {
    SCOPED_TRACE(c.to);
    EXPECT_EQ(overlay_.renameNoReplace(path("other.jpg"), path(c.to)).errorNumber(), c.errorNumber);
    EXPECT_TRUE(overlay_.exists(path("other.jpg")));
  }
  // The names the conversion gave up are free again.
  EXPECT_TRUE(overlay_.renameNoReplace(path("other.jpg"), path("IMG_0001.JPG")));
  EXPECT_TRUE(overlay_.renameNoReplace(path("ro.jpg"), path("sub/ro.jpg")));
  std::vector<DirEntry> entries;
  ASSERT_TRUE(overlay_.listDirectory(path("sub"), &entries));
  EXPECT_THAT(namesOf(entries, EntryType::RegularFile), ElementsAre("inner.jpg", "ro.jpg"));
  EXPECT_EQ(snapshot(dir_), before_);
}

TEST_F(OverlayEnvTest, OpenFollowsTheDisksRulesWhereverTheFileWasMoved) {
  ASSERT_TRUE(overlay_.renameNoReplace(path("ro.jpg"), path("moved.jpg")));
  struct Case {
    const char* name;
    int errorNumber;
  };
  for (const Case& c : {Case{"moved.jpg", EACCES}, Case{"ro.jpg", ENOENT}, Case{"missing.jpg", ENOENT},
                        Case{"link.jpg", ELOOP}, Case{"sub", EISDIR}}) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<File> file;
    EXPECT_EQ(overlay_.openExisting(path(c.name), &file).errorNumber(), c.errorNumber);
  }
  EXPECT_FALSE(dir_.exists("missing.jpg"));
  EXPECT_EQ(snapshot(dir_), before_);
}

TEST_F(OverlayEnvTest, RemovedFilesAreGoneAndDirectoriesStay) {
  EXPECT_TRUE(overlay_.removeFile(path("other.jpg")));
  EXPECT_TRUE(overlay_.removeFile(path("link.jpg")));
  EXPECT_EQ(overlay_.removeFile(path("other.jpg")).errorNumber(), ENOENT);
  EXPECT_EQ(overlay_.removeFile(path("missing.jpg")).errorNumber(), ENOENT);
  EXPECT_EQ(overlay_.removeFile(path("sub")).errorNumber(), EISDIR);
  EXPECT_EQ(overlay_.renameNoReplace(path("sub"), path("sub2")).errorNumber(), ENOTSUP);
  EXPECT_EQ(overlay_.renameNoReplace(path("other.jpg"), path("x.jpg")).errorNumber(), ENOENT);

  EXPECT_FALSE(overlay_.exists(path("other.jpg")));
  EXPECT_FALSE(overlay_.canOpenForReading(path("other.jpg")));
  std::vector<DirEntry> entries;
  ASSERT_TRUE(overlay_.listDirectory(dir_.path(), &entries));
  EXPECT_THAT(namesOf(entries, EntryType::RegularFile),
              ElementsAre("IMG_0001.JPG", "IMG_0001.bak", "ro.jpg"));
  EXPECT_THAT(namesOf(entries, EntryType::SymbolicLink), ::testing::IsEmpty());
  EXPECT_EQ(snapshot(dir_), before_);
}

TEST_F(OverlayEnvTest, WritesToADiskFileAreRecordedNotMade) {
  std::unique_ptr<File> file;
  ASSERT_TRUE(overlay_.openExisting(path("other.jpg"), &file));
  ASSERT_TRUE(file->write("ab", 2));
  ASSERT_TRUE(file->write("cd", 2));
  FileInfo info;
  ASSERT_TRUE(file->info(&info));
  EXPECT_EQ(info.length, std::string("other bytes").size());
  EXPECT_NE(info.lastWriteTime, kOldTime);
  char byte;
  std::size_t got = 0;
  EXPECT_EQ(file->read(&byte, 1, &got).errorNumber(), EIO);
  ASSERT_TRUE(file->write("0123456789abcdef", 16));
  ASSERT_TRUE(file->info(&info));
  EXPECT_EQ(info.length, 20u);
  ASSERT_TRUE(file->close());

  EXPECT_EQ(overlay_.diskSourceOf(path("other.jpg")), std::nullopt);
  EXPECT_EQ(overlay_.diskSourceOf(path("ro.jpg")), path("ro.jpg"));
  EXPECT_THAT(overlay_.changes(), ElementsAre(OverlayChange{Kind::Write, path("other.jpg"), ""}));
  EXPECT_EQ(snapshot(dir_), before_);
}

TEST_F(OverlayEnvTest, TemporariesAreHiddenNewAndKeepTheirPermissions) {
  std::unique_ptr<File> first;
  std::unique_ptr<File> second;
  std::string firstPath;
  std::string secondPath;
  ASSERT_TRUE(overlay_.createTemporary(dir_.path(), 0444, &first, &firstPath));
  ASSERT_TRUE(overlay_.createTemporary(dir_.path(), 0600, &second, &secondPath));
  EXPECT_NE(firstPath, secondPath);
  for (const std::string& made : {firstPath, secondPath}) {
    EXPECT_EQ(directoryWithSeparator(made, overlay_.pathRules()), dir_.path());
    EXPECT_EQ(namePart(made, overlay_.pathRules()).front(), '.');
    EXPECT_TRUE(overlay_.exists(made));
    EXPECT_FALSE(dir_.exists(namePart(made, overlay_.pathRules())));
  }
  // Writable through the handle it was made with, read-only to a later open, as on disk.
  EXPECT_TRUE(first->write("x", 1));
  std::unique_ptr<File> reopened;
  EXPECT_EQ(overlay_.openExisting(firstPath, &reopened).errorNumber(), EACCES);
  ASSERT_TRUE(overlay_.openExisting(secondPath, &reopened));
  FileInfo info;
  ASSERT_TRUE(reopened->info(&info));
  EXPECT_EQ(info.permissions, 0600u);
  EXPECT_EQ(info.length, 0u);

  std::unique_ptr<File> lost;
  std::string lostPath;
  EXPECT_EQ(overlay_.createTemporary(path("nodir/"), 0644, &lost, &lostPath).errorNumber(), ENOENT);
  EXPECT_EQ(snapshot(dir_), before_);
}

// Where the disk tells letter case apart, so does the view, also in a directory that holds two spellings
// of one name (which a disk that folds case could not).
TEST_F(OverlayEnvTest, SpellingsStayDistinctOnACaseSensitiveDisk) {
  ASSERT_EQ(::mkdir(dir_.file("pair").c_str(), 0755), 0);
  dir_.write("pair/x.jpg", "lower");
  dir_.write("pair/X.jpg", "upper");
  convertPhoto("050827_164208.JPG");
  ASSERT_TRUE(overlay_.renameNoReplace(path("other.jpg"), path("050827_164208.jpg")));
  ASSERT_TRUE(overlay_.renameNoReplace(path("pair/x.jpg"), path("pair/y.jpg")));
  ASSERT_TRUE(overlay_.removeFile(path("ro.jpg")));
  dir_.write("RO.JPG", "another file");

  struct Case {
    const char* name;
    bool inView;
  };
  for (const Case& c :
       {Case{"050827_164208.JPG", true}, Case{"050827_164208.jpg", true}, Case{"050827_164208.Jpg", false},
        Case{"img_0001.bak", false}, Case{"pair/X.jpg", true}, Case{"pair/x.jpg", false},
        Case{"pair/Y.jpg", false}, Case{"RO.JPG", true}, Case{"ro.jpg", false}}) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(overlay_.exists(path(c.name)), c.inView);
    EXPECT_EQ(overlay_.canOpenForReading(path(c.name)), c.inView);
  }
  std::vector<DirEntry> entries;
  ASSERT_TRUE(overlay_.listDirectory(path("pair"), &entries));
  EXPECT_THAT(namesOf(entries, EntryType::RegularFile), ElementsAre("X.jpg", "y.jpg"));
  ASSERT_TRUE(overlay_.listDirectory(dir_.path(), &entries));
  EXPECT_THAT(namesOf(entries, EntryType::RegularFile),
              ElementsAre("050827_164208.JPG", "050827_164208.jpg", "IMG_0001.bak", "RO.JPG"));
}

// On a card the disk folds letter case, and the view keeps what the disk decides for untouched names.
TEST_F(OverlayEnvTest, CollisionsOfACaseFoldingDiskStand) {
  testing::CaseFoldingEnv card(*disk_);
  OverlayEnv overlay(card);
  EXPECT_EQ(overlay.renameNoReplace(path("IMG_0001.JPG"), path("OTHER.JPG")).errorNumber(), EEXIST);
  EXPECT_TRUE(overlay.renameNoReplace(path("IMG_0001.JPG"), path("new.jpg")));
  EXPECT_EQ(overlay.renameNoReplace(path("other.jpg"), path("new.jpg")).errorNumber(), EEXIST);
  EXPECT_EQ(snapshot(dir_), before_);
}

// What a directory shows of each file in it, as far as a conversion can change it.
struct FileSeen {
  std::string name;
  std::uint64_t length = 0;
  FileTime lastWriteTime;

  friend bool operator==(const FileSeen&, const FileSeen&) = default;
};

void PrintTo(const FileSeen& seen, std::ostream* out) {
  *out << seen.name << " (" << seen.length << " bytes, " << seen.lastWriteTime.seconds << "."
       << seen.lastWriteTime.nanoseconds << ")";
}

std::vector<FileSeen> filesSeen(Env& env, const std::string& directory) {
  std::vector<DirEntry> entries;
  EXPECT_TRUE(env.listDirectory(directory, &entries));
  std::vector<FileSeen> seen;
  for (const DirEntry& entry : entries) {
    std::unique_ptr<File> file;
    FileInfo info;
    EXPECT_TRUE(env.openExisting(directory + entry.name, &file)) << entry.name;
    EXPECT_TRUE(file && file->info(&info)) << entry.name;
    seen.push_back(FileSeen{entry.name, info.length, info.lastWriteTime});
  }
  std::sort(seen.begin(), seen.end(), [](const FileSeen& a, const FileSeen& b) { return a.name < b.name; });
  return seen;
}

// What a lookup of one path answers.
struct Lookup {
  bool exists = false;
  bool readable = false;
  int openError = 0;

  friend bool operator==(const Lookup&, const Lookup&) = default;
};

void PrintTo(const Lookup& lookup, std::ostream* out) {
  *out << "exists " << lookup.exists << ", readable " << lookup.readable << ", open error "
       << lookup.openError;
}

Lookup lookUp(Env& env, const std::string& path) {
  std::unique_ptr<File> file;
  return Lookup{env.exists(path), env.canOpenForReading(path), env.openExisting(path, &file).errorNumber()};
}

const Lookup kTaken{true, true, 0};
const Lookup kFree{false, false, ENOENT};

// The calls one conversion with backup, stamping and renaming by date makes, the collision letters
// included; *target receives the name the photo ends under.
void convertByDate(Env& env, const std::string& directory, const std::string& name, const std::string& stem,
                   std::string* target) {
  const PathRules& rules = env.pathRules();
  const std::string work = directory + name;
  std::unique_ptr<File> file;
  ASSERT_TRUE(env.openExisting(work, &file));
  Status status;
  const std::string bytes = readAll(*file, &status);
  ASSERT_TRUE(status);
  ASSERT_TRUE(file->close());

  const std::string backup = withExtension(work, ".bak", rules);
  env.removeFile(backup);
  std::unique_ptr<File> copy;
  std::string temporary;
  ASSERT_TRUE(env.createTemporary(directory, 0644, &copy, &temporary));
  ASSERT_TRUE(copy->write(bytes.data(), bytes.size() / 2));
  ASSERT_TRUE(copy->close());
  ASSERT_TRUE(env.renameNoReplace(work, backup));
  ASSERT_TRUE(env.renameNoReplace(temporary, work));
  ASSERT_TRUE(env.openExisting(work, &file));
  ASSERT_TRUE(file->setLastWriteTime(kStampTime));
  ASSERT_TRUE(file->close());

  const std::string extension = extensionOf(name, rules);
  std::string candidate = stem + extension;
  for (char letter = 'a'; letter <= 'z' && env.canOpenForReading(directory + candidate); ++letter) {
    candidate = stem + letter + extension;
  }
  ASSERT_TRUE(env.renameNoReplace(work, directory + candidate));
  *target = candidate;
}

// A camera card: the case-folding double over a TempDir of its own, or a FAT file system of its own.
struct Card {
  Card(bool onFat, Env& posix) {
    if (onFat) {
      fat = std::make_unique<FatMount>();
      root = fat->path();
      env = &posix;
    } else {
      root = dir.path();
      folding = std::make_unique<testing::CaseFoldingEnv>(posix);
      env = folding.get();
    }
  }

  TempDir dir;
  std::unique_ptr<FatMount> fat;
  std::unique_ptr<testing::CaseFoldingEnv> folding;
  Env* env = nullptr;
  std::string root;
};

// Two cards holding the same files: each test makes its calls through an overlay over the first, which
// must leave that card alone, and then the same calls on the second; both must answer as the test
// expects. The real run gets a card of its own because the kernel caches a FUSE file system's names by
// spelling for a while: on a card that the overlay has just asked about "a.jpg", that spelling would go on
// naming a file that the real run renamed away as "A.JPG", which no FAT driver does.
class OverlayOnCardTest : public ::testing::TestWithParam<bool> {
 protected:
  struct Side {
    Env* env;
    std::string root;
    const char* label;
  };

  void SetUp() override {
    if (GetParam()) {
      if (const std::string reason = FatMount::unavailableReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
      }
    }
    planned_ = std::make_unique<Card>(GetParam(), *posix_);
    real_ = std::make_unique<Card>(GetParam(), *posix_);
    overlay_ = std::make_unique<OverlayEnv>(*planned_->env);
    write("A.JPG", "photo A, taken first");
    write("B.jpg", "photo B, the same second");
    write("c.jpg", "photo c");
  }

  // Writes the file on both cards, with an old time.
  void write(const std::string& name, const std::string& bytes) {
    for (const Card* card : {planned_.get(), real_.get()}) {
      std::unique_ptr<File> file;
      std::string created;
      ASSERT_TRUE(card->env->createTemporary(card->root, 0644, &file, &created));
      ASSERT_TRUE(file->write(bytes.data(), bytes.size()));
      ASSERT_TRUE(file->setLastWriteTime(kOldTime));
      ASSERT_TRUE(file->close());
      ASSERT_TRUE(card->env->renameNoReplace(created, card->root + name));
    }
  }

  // The overlay first, then the real card.
  std::vector<Side> overlayThenCard() {
    plannedCardBefore_ = filesSeen(*planned_->env, planned_->root);
    return {Side{overlay_.get(), planned_->root, "in the overlay"},
            Side{real_->env, real_->root, "on the card"}};
  }

  void expectPlannedCardUntouched() {
    EXPECT_EQ(filesSeen(*planned_->env, planned_->root), plannedCardBefore_);
  }

  // fusefat takes a new last-write time without complaint and keeps the old one.
  bool cardKeepsTimes() {
    std::unique_ptr<File> file;
    FileInfo info;
    return real_->env->openExisting(real_->root + "c.jpg", &file) && file->info(&info) &&
           info.lastWriteTime == kOldTime;
  }

  static std::vector<std::string> names(const Side& side) {
    std::vector<std::string> names;
    for (const FileSeen& seen : filesSeen(*side.env, side.root)) {
      names.push_back(seen.name);
    }
    return names;
  }

  std::unique_ptr<Env> posix_ = newPosixEnv();
  std::unique_ptr<Card> planned_;
  std::unique_ptr<Card> real_;
  std::unique_ptr<OverlayEnv> overlay_;
  std::vector<FileSeen> plannedCardBefore_;
};

TEST_P(OverlayOnCardTest, ARenamedFileTakesItsNameUnderEverySpelling) {
  for (const Side& side : overlayThenCard()) {
    SCOPED_TRACE(side.label);
    Env& env = *side.env;
    const std::string& root = side.root;
    ASSERT_TRUE(env.renameNoReplace(root + "A.JPG", root + "050827_164208.JPG"));
    struct Case {
      const char* name;
      Lookup expected;
    };
    for (const Case& c : {Case{"050827_164208.JPG", kTaken}, Case{"050827_164208.jpg", kTaken},
                          Case{"050827_164208.Jpg", kTaken}, Case{"050827_164208a.jpg", kFree},
                          Case{"A.JPG", kFree}, Case{"a.jpg", kFree}}) {
      SCOPED_TRACE(c.name);
      EXPECT_EQ(lookUp(env, root + c.name), c.expected);
    }
    EXPECT_EQ(env.renameNoReplace(root + "B.jpg", root + "050827_164208.jpg").errorNumber(), EEXIST);
    EXPECT_EQ(env.renameNoReplace(root + "b.JPG", root + "050827_164208.JPG").errorNumber(), EEXIST);
    ASSERT_TRUE(env.renameNoReplace(root + "B.jpg", root + "050827_164208a.jpg"));
    EXPECT_EQ(env.renameNoReplace(root + "c.jpg", root + "050827_164208A.JPG").errorNumber(), EEXIST);
    EXPECT_EQ(env.renameNoReplace(root + "C.JPG", root + "050827_164208.jpg").errorNumber(), EEXIST);
    EXPECT_THAT(names(side), ElementsAre("050827_164208.JPG", "050827_164208a.jpg", "c.jpg"));
  }
  expectPlannedCardUntouched();
}

TEST_P(OverlayOnCardTest, ANameMovedAwayOrRemovedFreesEverySpelling) {
  for (const Side& side : overlayThenCard()) {
    SCOPED_TRACE(side.label);
    Env& env = *side.env;
    const std::string& root = side.root;
    ASSERT_TRUE(env.renameNoReplace(root + "A.JPG", root + "moved.jpg"));
    ASSERT_TRUE(env.removeFile(root + "c.jpg"));
    for (const char* name : {"A.JPG", "a.jpg", "A.jpg", "c.jpg", "C.JPG"}) {
      SCOPED_TRACE(name);
      EXPECT_EQ(lookUp(env, root + name), kFree);
    }
    EXPECT_EQ(env.removeFile(root + "c.Jpg").errorNumber(), ENOENT);
    EXPECT_EQ(env.renameNoReplace(root + "a.JPG", root + "x.jpg").errorNumber(), ENOENT);
    EXPECT_EQ(lookUp(env, root + "MOVED.JPG"), kTaken);

    ASSERT_TRUE(env.renameNoReplace(root + "B.jpg", root + "a.jpg"));
    ASSERT_TRUE(env.renameNoReplace(root + "Moved.jpg", root + "C.jpg"));
    EXPECT_EQ(lookUp(env, root + "A.JPG"), kTaken);
    EXPECT_EQ(lookUp(env, root + "b.jpg"), kFree);
    EXPECT_EQ(lookUp(env, root + "c.JPG"), kTaken);
    EXPECT_THAT(names(side), ElementsAre("C.jpg", "a.jpg"));
  }
  expectPlannedCardUntouched();
}

// Two photos of one second whose extensions differ in case: the second gets the letter on the card, and
// an older backup spelled otherwise gives way, in the plan as in the real run.
TEST_P(OverlayOnCardTest, ConversionsOfTwoPhotosWantingOneNameEndAsOnTheCard) {
  write("b.BAK", "an older backup");
  std::vector<std::vector<std::string>> targets;
  std::vector<std::vector<FileSeen>> seen;
  for (const Side& side : overlayThenCard()) {
    SCOPED_TRACE(side.label);
    targets.emplace_back();
    for (const char* name : {"A.JPG", "B.jpg"}) {
      std::string target;
      ASSERT_NO_FATAL_FAILURE(convertByDate(*side.env, side.root, name, "050827_164208", &target));
      targets.back().push_back(target);
    }
    seen.push_back(filesSeen(*side.env, side.root));
  }
  expectPlannedCardUntouched();
  EXPECT_THAT(targets[1], ElementsAre("050827_164208.JPG", "050827_164208a.jpg"));
  EXPECT_EQ(targets[0], targets[1]);
  if (!cardKeepsTimes()) {
    // The overlay keeps the times the conversion set, which this card would not; the rest must agree.
    for (std::vector<FileSeen>& files : seen) {
      for (FileSeen& file : files) {
        file.lastWriteTime = {};
      }
    }
  }
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_EQ(seen[1].size(), 5u);  // the two photos, their backups and c.jpg
}

INSTANTIATE_TEST_SUITE_P(DoubleAndFat, OverlayOnCardTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "FatMount" : "CaseFoldingEnv";
                         });

}  // namespace
}  // namespace kestrava::platform
