#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/env_posix.h"
#include "platform/testing/case_folding_env.h"
#include "platform/testing/fat_mount.h"
#include "platform/testing/fault_injection_env.h"
#include "platform/testing/read_through.h"
#include "platform/testing/temp_dir.h"

namespace kestrava::platform::testing {
namespace {

using Op = FaultInjectionEnv::Op;

void makeDirectory(const std::string& path) {
  ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path;
}

int openDescriptorCount() {
  int count = 0;
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) {
    return -1;
  }
  while (const struct dirent* entry = ::readdir(dir)) {
    count += entry->d_name[0] != '.';
  }
  ::closedir(dir);
  return count;
}

// One call of each kind through a FaultInjectionEnv, on files of its own. prepare() creates the files
// and opens what the call needs, before any fault is armed, and gives the call: 0 when it succeeded,
// otherwise its errno (-1 for a probe that answered false).
struct Scenario {
  Op op;
  const char* name;
  std::function<std::function<int()>(FaultInjectionEnv&, const TempDir&)> prepare;
  // Whether the call's change reached the disk; empty for calls that change nothing.
  std::function<bool(const TempDir&)> reachedDisk;
};

std::shared_ptr<File> openShared(FaultInjectionEnv& env, const std::string& path) {
  std::unique_ptr<File> file;
  EXPECT_TRUE(env.openExisting(path, &file)) << path;
  return std::shared_ptr<File>(std::move(file));
}

const FileTime kOldTime{1000000000, 0};
const FileTime kNewTime{1125160928, 0};

std::vector<Scenario> scenarios() {
  return {
      {Op::OpenExisting, "OpenExisting",
       [](FaultInjectionEnv& env, const TempDir& d) -> std::function<int()> {
         d.write("open.jpg", "x");
         return [&env, path = d.file("open.jpg")] {
           std::unique_ptr<File> file;
           return env.openExisting(path, &file).errorNumber();
         };
       },
       nullptr},
      {Op::CreateTemporary, "CreateTemporary",
       [](FaultInjectionEnv& env, const TempDir& d) -> std::function<int()> {
         makeDirectory(d.file("tmp"));
         return [&env, directory = d.file("tmp/")] {
           std::unique_ptr<File> file;
           std::string path;
           return env.createTemporary(directory, 0644, &file, &path).errorNumber();
         };
       },
       [](const TempDir& d) { return !d.names("tmp").empty(); }},
      {Op::CanOpenForReading, "CanOpenForReading",
       [](FaultInjectionEnv& env, const TempDir& d) -> std::function<int()> {
         d.write("probe.jpg", "x");
         return [&env, path = d.file("probe.jpg")] { return env.canOpenForReading(path) ? 0 : -1; };
       },
       nullptr},
      {Op::Exists, "Exists",
       [](FaultInjectionEnv& env, const TempDir& d) -> std::function<int()> {
         d.write("exists.jpg", "x");
         return [&env, path = d.file("exists.jpg")] { return env.exists(path) ? 0 : -1; };
       },
       nullptr},
      {Op::Remove, "Remove",
       [](FaultInjectionEnv& env, const TempDir& d) -> std::function<int()> {
         d.write("remove.jpg", "x");
         return [&env, path = d.file("remove.jpg")] { return env.removeFile(path).errorNumber(); };
       },
       [](const TempDir& d) { return !d.exists("remove.jpg"); }},
      {Op::Rename, "Rename",
       [](FaultInjectionEnv& env, const TempDir& d) -> std::function<int()> {
         d.write("rename.jpg", "x");
         return [&env, from = d.file("rename.jpg"), to = d.file("renamed.jpg")] {
           return env.renameNoReplace(from, to).errorNumber();
         };
       },
       [](const TempDir& d) { return d.exists("renamed.jpg"); }},
      {Op::ListDirectory, "ListDirectory",
       [](FaultInjectionEnv& env, const TempDir& d) -> std::function<int()> {
         makeDirectory(d.file("list"));
         d.write("list/a.jpg", "x");
         return [&env, directory = d.file("list")] {
           std::vector<DirEntry> entries;
           const Status status = env.listDirectory(directory, &entries);
           return status ? (entries.size() == 1 ? 0 : -2) : status.errorNumber();
         };
       },
       nullptr},
      {Op::Allocate, "Allocate",
       [](FaultInjectionEnv& env, const TempDir&) -> std::function<int()> {
         return [&env] {
           Buffer buffer;
           return env.allocate(16, &buffer).errorNumber();
         };
       },
       nullptr},
      {Op::Read, "Read",
       [](FaultInjectionEnv& env, const TempDir& d) -> std::function<int()> {
         d.write("read.jpg", "abc");
         return [file = openShared(env, d.file("read.jpg"))] {
           char bytes[8];
           std::size_t got = 0;
           const Status status = file->read(bytes, sizeof bytes, &got);
           return status ? (got == 3 ? 0 : -2) : status.errorNumber();
         };
       },
       nullptr},
      {Op::Write, "Write",
       [](FaultInjectionEnv& env, const TempDir& d) -> std::function<int()> {
         d.write("write.jpg", "abc");
         return [file = openShared(env, d.file("write.jpg"))] { return file->write("XYZ", 3).errorNumber(); };
       },
       [](const TempDir& d) { return d.read("write.jpg") == "XYZ"; }},
      {Op::SetTime, "SetTime",
       [](FaultInjectionEnv& env, const TempDir& d) -> std::function<int()> {
         d.write("time.jpg", "abc");
         d.setLastWriteTime("time.jpg", kOldTime);
         return [file = openShared(env, d.file("time.jpg"))] {
           return file->setLastWriteTime(kNewTime).errorNumber();
         };
       },
       [](const TempDir& d) { return d.lastWriteTime("time.jpg") == kNewTime; }},
      {Op::Close, "Close",
       [](FaultInjectionEnv& env, const TempDir& d) -> std::function<int()> {
         d.write("close.jpg", "abc");
         return [file = openShared(env, d.file("close.jpg"))] { return file->close().errorNumber(); };
       },
       nullptr},
  };
}

class FaultInjectionEnvTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::unique_ptr<Env> posix = newPosixEnv();
  FaultInjectionEnv env{*posix};
};

TEST_F(FaultInjectionEnvTest, FailNextRefusesTheChosenKindOfCallAndNoOther) {
  const std::vector<Scenario> all = scenarios();
  for (std::size_t chosen = 0; chosen < all.size(); ++chosen) {
    SCOPED_TRACE(std::string("failing ") + all[chosen].name);
    TempDir d;
    FaultInjectionEnv faults(*posix);
    std::vector<std::function<int()>> calls;
    for (const Scenario& s : all) {
      calls.push_back(s.prepare(faults, d));
    }
    const int injected = 1000 + static_cast<int>(chosen);
    faults.failNext(all[chosen].op, injected);
    for (std::size_t i = 0; i < all.size(); ++i) {
      SCOPED_TRACE(std::string("calling ") + all[i].name);
      const bool isProbe = all[i].op == Op::CanOpenForReading || all[i].op == Op::Exists;
      const int expected = i != chosen ? 0 : isProbe ? -1 : injected;
      EXPECT_EQ(calls[i](), expected);
      if (all[i].reachedDisk) {
        EXPECT_EQ(all[i].reachedDisk(d), i != chosen);
      }
    }
    // One refusal only: the same call now goes through.
    EXPECT_EQ(calls[chosen](), 0);
  }
}

TEST_F(FaultInjectionEnvTest, RefusedCloseStillClosesTheFile) {
  dir.write("a.jpg", "abc");
  const int before = openDescriptorCount();
  std::unique_ptr<File> file;
  ASSERT_TRUE(env.openExisting(dir.file("a.jpg"), &file));
  EXPECT_EQ(openDescriptorCount(), before + 1);
  env.failNext(Op::Close, EIO);
  EXPECT_EQ(file->close().errorNumber(), EIO);
  EXPECT_EQ(openDescriptorCount(), before);
}

struct CountingCase {
  const char* what;
  std::string pathPart;
  int skip;
  int times;
  std::vector<std::string> calls;  // names probed with exists(), in order
  std::vector<bool> answers;
};

TEST_F(FaultInjectionEnvTest, SkipAndTimesCountOnlyTheMatchingCalls) {
  dir.write("a.jpg", "x");
  dir.write("b.jpg", "x");
  const std::vector<CountingCase> cases = {
      {"the first call", "", 0, 1, {"a.jpg", "a.jpg"}, {false, true}},
      {"the second and third", "", 1, 2, {"a.jpg", "a.jpg", "a.jpg", "a.jpg"}, {true, false, false, true}},
      {"for ever", "", 0, -1, {"a.jpg", "b.jpg", "a.jpg", "b.jpg"}, {false, false, false, false}},
      {"the second call on b.jpg",
       "b.jpg",
       1,
       1,
       {"b.jpg", "a.jpg", "a.jpg", "b.jpg", "b.jpg"},
       {true, true, true, false, true}},
      {"every call on b.jpg after the first",
       "b.jpg",
       1,
       -1,
       {"b.jpg", "a.jpg", "b.jpg", "a.jpg", "b.jpg"},
       {true, true, false, true, false}},
      {"part of a directory name", "/DCIM/", 0, -1, {"a.jpg", "b.jpg"}, {true, true}},
  };
  for (const CountingCase& c : cases) {
    SCOPED_TRACE(c.what);
    env.clearFaults();
    env.failNext(Op::Exists, EIO, c.pathPart, c.skip, c.times);
    std::vector<bool> answers;
    for (const std::string& name : c.calls) {
      answers.push_back(env.exists(dir.file(name)));
    }
    EXPECT_EQ(answers, c.answers);
  }
}

TEST_F(FaultInjectionEnvTest, RenameMatchesItsSourceOrItsTarget) {
  for (const char* name : {"a.jpg", "DCIM-a.jpg", "c.jpg"}) {
    dir.write(name, name);
  }
  env.failNext(Op::Rename, EXDEV, "DCIM", 0, -1);
  EXPECT_EQ(env.renameNoReplace(dir.file("a.jpg"), dir.file("DCIM-b.jpg")).errorNumber(), EXDEV);
  EXPECT_EQ(env.renameNoReplace(dir.file("DCIM-a.jpg"), dir.file("b.jpg")).errorNumber(), EXDEV);
  EXPECT_TRUE(env.renameNoReplace(dir.file("c.jpg"), dir.file("d.jpg")));
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"DCIM-a.jpg", "a.jpg", "d.jpg"}));
}

TEST_F(FaultInjectionEnvTest, FileCallsMatchThePathTheFileWasOpenedOrCreatedWith) {
  dir.write("a.jpg", "");
  env.failNext(Op::Write, ENOSPC, ".kestrava-", 0, -1);
  std::unique_ptr<File> opened;
  ASSERT_TRUE(env.openExisting(dir.file("a.jpg"), &opened));
  std::unique_ptr<File> temporary;
  std::string path;
  ASSERT_TRUE(env.createTemporary(dir.path(), 0644, &temporary, &path));
  EXPECT_TRUE(opened->write("abc", 3));
  EXPECT_EQ(temporary->write("abc", 3).errorNumber(), ENOSPC);
  EXPECT_EQ(dir.read("a.jpg"), "abc");
  EXPECT_EQ(dir.read(path.substr(dir.path().size())), "");
}

struct ByteFailureCase {
  std::uint64_t k;
  std::vector<std::size_t> writeSizes;
  std::size_t failingWrite;  // index into writeSizes; writeSizes.size() when none fails
};

TEST_F(FaultInjectionEnvTest, WriteAtByteKLeavesExactlyKBytes) {
  const std::vector<ByteFailureCase> cases = {
      {0, {4, 5}, 0}, {3, {4, 5}, 0}, {4, {4, 5}, 1}, {5, {4, 5}, 1},
      {8, {4, 5}, 1}, {9, {4, 5}, 2}, {0, {0, 1}, 1}, {2, {1, 0, 1, 3}, 3},
  };
  const std::string source = "0123456789";
  for (const ByteFailureCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "k=" << c.k << " failing write " << c.failingWrite);
    TempDir d;
    FaultInjectionEnv faults(*posix);
    d.write("a.jpg", "");
    std::unique_ptr<File> file;
    ASSERT_TRUE(faults.openExisting(d.file("a.jpg"), &file));
    faults.failWriteAtByte(c.k, ENOSPC);
    std::size_t offset = 0;
    for (std::size_t i = 0; i < c.writeSizes.size(); ++i) {
      const Status status = file->write(source.data() + offset, c.writeSizes[i]);
      EXPECT_EQ(status.errorNumber(), i == c.failingWrite ? ENOSPC : 0) << "write " << i;
      offset += c.writeSizes[i];
      if (!status) {
        break;
      }
    }
    const std::size_t total = offset;
    const std::size_t kept = c.failingWrite < c.writeSizes.size() ? static_cast<std::size_t>(c.k) : total;
    EXPECT_EQ(d.read("a.jpg"), source.substr(0, kept));
  }
}

TEST_F(FaultInjectionEnvTest, WriteAtByteCountsFromTheCallOnAcrossFiles) {
  dir.write("first.jpg", "");
  dir.write("second.jpg", "");
  std::unique_ptr<File> first;
  std::unique_ptr<File> second;
  ASSERT_TRUE(env.openExisting(dir.file("first.jpg"), &first));
  ASSERT_TRUE(env.openExisting(dir.file("second.jpg"), &second));
  ASSERT_TRUE(first->write("ab", 2));  // before the call: not counted
  env.failWriteAtByte(5);
  ASSERT_TRUE(first->write("cdef", 4));                    // bytes 0..3
  EXPECT_EQ(second->write("ghij", 4).errorNumber(), EIO);  // byte 5 is its second
  EXPECT_EQ(dir.read("first.jpg"), "abcdef");
  EXPECT_EQ(dir.read("second.jpg"), "g");
  // Once only.
  EXPECT_TRUE(second->write("hij", 3));
  EXPECT_EQ(dir.read("second.jpg"), "ghij");
}

TEST_F(FaultInjectionEnvTest, RefusesAllocationsOverTheLimitUntilCleared) {
  env.refuseAllocationsOver(100);
  Buffer buffer;
  EXPECT_TRUE(env.allocate(100, &buffer));
  EXPECT_EQ(buffer.size(), 100u);
  Buffer refused;
  EXPECT_EQ(env.allocate(101, &refused).errorNumber(), ENOMEM);
  EXPECT_FALSE(refused);
  env.clearFaults();
  EXPECT_TRUE(env.allocate(101, &refused));
}

TEST_F(FaultInjectionEnvTest, ClearFaultsDropsEveryRule) {
  dir.write("a.jpg", "");
  env.failNext(Op::Exists, EIO, "", 0, -1);
  env.failWriteAtByte(0);
  env.clearFaults();
  EXPECT_TRUE(env.exists(dir.file("a.jpg")));
  std::unique_ptr<File> file;
  ASSERT_TRUE(env.openExisting(dir.file("a.jpg"), &file));
  EXPECT_TRUE(file->write("abc", 3));
}

TEST_F(FaultInjectionEnvTest, LogsEveryCallInOrder) {
  dir.write("IMG_0001.JPG", "photo");
  const std::string jpg = dir.file("IMG_0001.JPG");
  const std::string bak = dir.file("IMG_0001.bak");
  env.failNext(Op::Remove, EBUSY);
  std::unique_ptr<File> file;
  ASSERT_TRUE(env.openExisting(jpg, &file));
  FileInfo info;
  ASSERT_TRUE(file->info(&info));
  char bytes[16];
  std::size_t got = 0;
  ASSERT_TRUE(file->read(bytes, sizeof bytes, &got));
  ASSERT_TRUE(file->close());
  Buffer buffer;
  ASSERT_TRUE(env.allocate(53, &buffer));
  EXPECT_EQ(env.removeFile(bak).errorNumber(), EBUSY);
  ASSERT_TRUE(env.renameNoReplace(jpg, bak));
  std::unique_ptr<File> created;
  std::string path;
  ASSERT_TRUE(env.createTemporary(dir.path(), 0644, &created, &path));
  ASSERT_TRUE(created->write("photo", 5));
  ASSERT_TRUE(created->setLastWriteTime(kNewTime));
  ASSERT_TRUE(created->close());
  EXPECT_FALSE(env.canOpenForReading(jpg));
  EXPECT_TRUE(env.exists(bak));
  std::vector<DirEntry> entries;
  ASSERT_TRUE(env.listDirectory(dir.path(), &entries));

  const std::vector<std::string> expected = {
      "openExisting " + jpg,
      "info " + jpg,
      "read " + jpg,
      "close " + jpg,
      "allocate 53",
      "remove " + bak,
      "rename " + jpg + " -> " + bak,
      "createTemporary " + dir.path(),
      "write " + path,
      "setTime " + path,
      "close " + path,
      "canOpenForReading " + jpg,
      "exists " + bak,
      "listDirectory " + dir.path(),
  };
  EXPECT_EQ(env.log(), expected);
  env.clearLog();
  EXPECT_TRUE(env.log().empty());
}

class CaseFoldingEnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.write("IMG_0001.JPG", "photo");
    dir.write("050827_164208.JPG", "dated");
    makeDirectory(dir.file("DCIM"));
  }

  TempDir dir;
  std::unique_ptr<Env> posix = newPosixEnv();
  CaseFoldingEnv card{*posix};
};

TEST_F(CaseFoldingEnvTest, FindsTheEntryWhateverTheLetterCase) {
  for (const char* spelling : {"IMG_0001.JPG", "img_0001.jpg", "Img_0001.Jpg"}) {
    SCOPED_TRACE(spelling);
    EXPECT_EQ(card.resolve(dir.file(spelling)), dir.file("IMG_0001.JPG"));
    EXPECT_TRUE(card.exists(dir.file(spelling)));
    EXPECT_TRUE(card.canOpenForReading(dir.file(spelling)));
    EXPECT_EQ(readThrough(card, dir.file(spelling)), "photo");
  }
  EXPECT_TRUE(card.exists(dir.file("dcim")));
  std::vector<DirEntry> entries;
  EXPECT_TRUE(card.listDirectory(dir.file("dcim"), &entries));
}

TEST_F(CaseFoldingEnvTest, FoldsOnlyAsciiLettersAndWholeNames) {
  dir.write("\xC3\x89T\xC3\x89.JPG", "accented");  // ÉTÉ.JPG
  for (const char* other : {"\xC3\xA9t\xC3\xA9.jpg", "IMG_0001.JP", "IMG_0001.JPEG", "IMG-0001.JPG"}) {
    SCOPED_TRACE(other);
    EXPECT_FALSE(card.exists(dir.file(other)));
    EXPECT_EQ(card.resolve(dir.file(other)), dir.file(other));
  }
  EXPECT_TRUE(card.exists(dir.file("\xC3\x89t\xC3\x89.jpg")));
}

TEST_F(CaseFoldingEnvTest, PrefersTheExactSpellingWhereTheDiskHoldsSeveral) {
  dir.write("a.jpg", "lower");
  dir.write("A.JPG", "upper");
  EXPECT_EQ(readThrough(card, dir.file("a.jpg")), "lower");
  EXPECT_EQ(readThrough(card, dir.file("A.JPG")), "upper");
}

TEST_F(CaseFoldingEnvTest, RemovesTheEntryNamedInAnotherCase) {
  ASSERT_TRUE(card.removeFile(dir.file("img_0001.jpg")));
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"050827_164208.JPG", "DCIM"}));
}

struct RenameCase {
  const char* from;
  const char* to;
  int error;
  std::vector<std::string> namesAfter;
};

TEST_F(CaseFoldingEnvTest, RenamesAsACardDoes) {
  const std::vector<RenameCase> cases = {
      {"IMG_0001.JPG", "050827_164208.jpg", EEXIST, {"050827_164208.JPG", "DCIM", "IMG_0001.JPG"}},
      {"IMG_0001.JPG", "dcim", EEXIST, {"050827_164208.JPG", "DCIM", "IMG_0001.JPG"}},
      {"IMG_0001.JPG", "IMG_0001.JPG", EEXIST, {"050827_164208.JPG", "DCIM", "IMG_0001.JPG"}},
      {"IMG_0001.JPG", "img_0001.jpg", 0, {"050827_164208.JPG", "DCIM", "img_0001.jpg"}},
      {"img_0001.jpg", "050827_164208a.JPG", 0, {"050827_164208.JPG", "050827_164208a.JPG", "DCIM"}},
      {"missing.jpg", "new.jpg", ENOENT, {"050827_164208.JPG", "DCIM", "IMG_0001.JPG"}},
  };
  for (const RenameCase& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " -> " + c.to);
    TempDir d;
    d.write("IMG_0001.JPG", "photo");
    d.write("050827_164208.JPG", "dated");
    makeDirectory(d.file("DCIM"));
    EXPECT_EQ(card.renameNoReplace(d.file(c.from), d.file(c.to)).errorNumber(), c.error);
    EXPECT_EQ(d.names(), c.namesAfter);
    EXPECT_EQ(d.read("050827_164208.JPG"), "dated");
  }
}

TEST_F(CaseFoldingEnvTest, ListsTheRealSpellings) {
  std::vector<DirEntry> entries;
  ASSERT_TRUE(card.listDirectory(dir.path(), &entries));
  std::vector<std::string> names;
  for (const DirEntry& entry : entries) {
    names.push_back(entry.name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"050827_164208.JPG", "DCIM", "IMG_0001.JPG"}));
}

// Creates temporaries under names given in advance, so that a collision can be arranged.
class ScriptedTemporaryEnv final : public Env {
 public:
  ScriptedTemporaryEnv(Env& target, std::vector<std::string> names)
      : target_(target), names_(std::move(names)) {}

  const PathRules& pathRules() const override { return target_.pathRules(); }
  Status openExisting(const std::string& path, std::unique_ptr<File>* out) override {
    return target_.openExisting(path, out);
  }
  Status createTemporary(const std::string& directory, unsigned, std::unique_ptr<File>* out,
                         std::string* path) override {
    if (next_ >= names_.size()) {
      return Status::error(EEXIST, directory);
    }
    const std::string name = directory + names_[next_++];
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      return Status::error(errno, name);
    }
    ::close(fd);
    *path = name;
    return target_.openExisting(name, out);
  }
  bool canOpenForReading(const std::string& path) override { return target_.canOpenForReading(path); }
  bool exists(const std::string& path) override { return target_.exists(path); }
  Status removeFile(const std::string& path) override { return target_.removeFile(path); }
  Status renameNoReplace(const std::string& from, const std::string& to) override {
    return target_.renameNoReplace(from, to);
  }
  Status listDirectory(const std::string& directory, std::vector<DirEntry>* out) override {
    return target_.listDirectory(directory, out);
  }
  Status allocate(std::size_t size, Buffer* out) override { return target_.allocate(size, out); }

 private:
  Env& target_;
  std::vector<std::string> names_;
  std::size_t next_ = 0;
};

TEST_F(CaseFoldingEnvTest, CreatingANameThatFoldsEqualToAnEntryIsNotAccepted) {
  dir.write(".KESTRAVA-ABCDEF", "older");
  ScriptedTemporaryEnv scripted(*posix, {".kestrava-abcdef", ".kestrava-ghijkl"});
  CaseFoldingEnv scriptedCard(scripted);
  std::unique_ptr<File> file;
  std::string path;
  ASSERT_TRUE(scriptedCard.createTemporary(dir.path(), 0644, &file, &path));
  EXPECT_EQ(path, dir.file(".kestrava-ghijkl"));
  EXPECT_EQ(dir.names(), (std::vector<std::string>{".KESTRAVA-ABCDEF", ".kestrava-ghijkl",
                                                   "050827_164208.JPG", "DCIM", "IMG_0001.JPG"}));
  EXPECT_EQ(dir.read(".KESTRAVA-ABCDEF"), "older");
}

// The double and a real FAT file system agree on what the conversion relies on.
class CardAgreementTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      if (const std::string reason = FatMount::unavailableReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
      }
      fat = std::make_unique<FatMount>();
      root = fat->path();
      card = posix.get();
    } else {
      root = dir.path();
      folding = std::make_unique<CaseFoldingEnv>(*posix);
      card = folding.get();
    }
    write("IMG_0001.JPG", "photo");
    write("050827_164208.JPG", "dated");
  }

  void write(const std::string& name, const std::string& bytes) {
    std::unique_ptr<File> file;
    std::string created;
    ASSERT_TRUE(card->createTemporary(root, 0644, &file, &created));
    ASSERT_TRUE(file->write(bytes.data(), bytes.size()));
    ASSERT_TRUE(file->close());
    ASSERT_TRUE(card->renameNoReplace(created, root + name));
  }

  std::vector<std::string> names() {
    std::vector<DirEntry> entries;
    EXPECT_TRUE(card->listDirectory(root, &entries));
    std::vector<std::string> names;
    for (const DirEntry& entry : entries) {
      names.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir dir;
  std::unique_ptr<Env> posix = newPosixEnv();
  std::unique_ptr<FatMount> fat;
  std::unique_ptr<CaseFoldingEnv> folding;
  Env* card = nullptr;
  std::string root;
};

TEST_P(CardAgreementTest, LooksUpNamesIgnoringCase) {
  EXPECT_TRUE(card->exists(root + "img_0001.jpg"));
  EXPECT_TRUE(card->canOpenForReading(root + "Img_0001.Jpg"));
  EXPECT_EQ(readThrough(*card, root + "img_0001.JPG"), "photo");
  EXPECT_FALSE(card->exists(root + "img_0002.jpg"));
  EXPECT_EQ(names(), (std::vector<std::string>{"050827_164208.JPG", "IMG_0001.JPG"}));
}

TEST_P(CardAgreementTest, NeverRenamesOntoAnEntryOfAnotherCase) {
  EXPECT_EQ(card->renameNoReplace(root + "IMG_0001.JPG", root + "050827_164208.jpg").errorNumber(), EEXIST);
  EXPECT_EQ(readThrough(*card, root + "IMG_0001.JPG"), "photo");
  EXPECT_EQ(readThrough(*card, root + "050827_164208.JPG"), "dated");
  ASSERT_TRUE(card->renameNoReplace(root + "img_0001.jpg", root + "050827_164208a.JPG"));
  EXPECT_EQ(names(), (std::vector<std::string>{"050827_164208.JPG", "050827_164208a.JPG"}));
  EXPECT_EQ(readThrough(*card, root + "050827_164208A.jpg"), "photo");
}

INSTANTIATE_TEST_SUITE_P(DoubleAndFat, CardAgreementTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "FatMount" : "CaseFoldingEnv";
                         });

TEST(TempDirTest, RemovesEverythingInsideButNothingALinkPointsTo) {
  TempDir outside;
  outside.write("keep.jpg", "keep");
  std::string path;
  {
    TempDir d;
    path = d.path();
    makeDirectory(d.file("DCIM"));
    d.write("DCIM/a.jpg", "a");
    ASSERT_EQ(::chmod(d.file("DCIM").c_str(), 0500), 0);
    ASSERT_EQ(::symlink(outside.path().c_str(), d.file("link").c_str()), 0);
    ASSERT_EQ(::symlink(outside.file("keep.jpg").c_str(), d.file("file-link").c_str()), 0);
    EXPECT_EQ(d.names(), (std::vector<std::string>{"DCIM", "file-link", "link"}));
    EXPECT_EQ(d.names("DCIM"), std::vector<std::string>{"a.jpg"});
  }
  struct stat st;
  EXPECT_NE(::lstat(path.c_str(), &st), 0);
  EXPECT_EQ(outside.read("keep.jpg"), "keep");
}

TEST(TempDirTest, HelpersWriteReadAndStamp) {
  TempDir d;
  ASSERT_EQ(d.path().back(), '/');
  d.write("a.jpg", std::string("a\0b", 3));
  EXPECT_EQ(d.read("a.jpg"), std::string("a\0b", 3));
  d.write("a.jpg", "c");
  EXPECT_EQ(d.read("a.jpg"), "c");
  d.setLastWriteTime("a.jpg", FileTime{1125160928, 42});
  EXPECT_EQ(d.lastWriteTime("a.jpg"), (FileTime{1125160928, 42}));
  EXPECT_TRUE(d.exists("a.jpg"));
  EXPECT_FALSE(d.exists("b.jpg"));
  EXPECT_THROW(d.read("b.jpg"), std::runtime_error);
}

}  // namespace
}  // namespace kestrava::platform::testing
