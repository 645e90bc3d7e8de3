#include "platform/env_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/testing/fat_mount.h"
#include "platform/testing/read_through.h"
#include "platform/testing/temp_dir.h"

namespace kestrava::platform {
namespace {

using testing::FatMount;
using testing::readThrough;
using testing::TempDir;

struct stat lstatOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

std::string bytesOfSize(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  }
  return bytes;
}

// A path under `directory` of exactly `length` bytes whose components stay below NAME_MAX, so that
// the host itself would accept its length.
std::string pathOfLength(const std::string& directory, std::size_t length) {
  std::string path = directory;
  while (path.size() < length) {
    const std::size_t room = length - path.size();
    if (room > 201) {
      path += std::string(200, 'd') + "/";
    } else {
      path += std::string(room, 'f');
    }
  }
  return path;
}

class PosixEnvTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::unique_ptr<Env> env = newPosixEnv();
};

struct RefusedOpen {
  const char* what;
  std::function<void(const TempDir&)> setUp;
  std::vector<int> errors;  // any of them
};

TEST_F(PosixEnvTest, OpenExistingRefusesWhatItMustNotWrite) {
  const std::vector<RefusedOpen> cases = {
      {"missing", [](const TempDir&) {}, {ENOENT}},
      {"read-only, even for root",
       [](const TempDir& d) {
         d.write("target", "old bytes");
         ASSERT_EQ(::chmod(d.file("target").c_str(), 0444), 0);
       },
       {EACCES}},
      {"directory",
       [](const TempDir& d) { ASSERT_EQ(::mkdir(d.file("target").c_str(), 0755), 0); },
       {EISDIR, EINVAL}},
      {"symbolic link to a file",
       [](const TempDir& d) {
         d.write("real", "old bytes");
         ASSERT_EQ(::symlink("real", d.file("target").c_str()), 0);
       },
       {ELOOP}},
      {"FIFO", [](const TempDir& d) { ASSERT_EQ(::mkfifo(d.file("target").c_str(), 0644), 0); }, {EINVAL}},
  };
  for (const RefusedOpen& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir d;
    c.setUp(d);
    const std::vector<std::string> before = d.names();
    std::unique_ptr<File> file;
    const Status status = env->openExisting(d.file("target"), &file);
    EXPECT_FALSE(status);
    EXPECT_TRUE(std::find(c.errors.begin(), c.errors.end(), status.errorNumber()) != c.errors.end())
        << status.toString();
    EXPECT_EQ(status.context(), d.file("target"));
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(d.names(), before);
    for (const char* name : {"target", "real"}) {
      if (d.exists(name) && S_ISREG(lstatOf(d.file(name)).st_mode)) {
        EXPECT_EQ(d.read(name), "old bytes");
      }
    }
  }
}

TEST_F(PosixEnvTest, OpenExistingAcceptsAFileWithAnyWriteBit) {
  for (const unsigned mode : {0600u, 0420u, 0402u, 0200u}) {
    SCOPED_TRACE(mode);
    dir.write("a.jpg", "x");
    ASSERT_EQ(::chmod(dir.file("a.jpg").c_str(), mode), 0);
    std::unique_ptr<File> file;
    const Status status = env->openExisting(dir.file("a.jpg"), &file);
    if (::geteuid() == 0 || (mode & 0600) == 0600) {
      EXPECT_TRUE(status) << status.toString();
    }
    ASSERT_EQ(::chmod(dir.file("a.jpg").c_str(), 0600), 0);
  }
}

TEST_F(PosixEnvTest, ReadsTheWholeFileAndWritesInPlaceWithoutTruncating) {
  const std::string content = bytesOfSize(3 * 1024 * 1024 + 17);
  dir.write("a.jpg", content);
  std::unique_ptr<File> file;
  ASSERT_TRUE(env->openExisting(dir.file("a.jpg"), &file));

  std::string got(content.size() + 100, '\0');
  std::size_t n = 0;
  ASSERT_TRUE(file->read(got.data(), got.size(), &n));
  EXPECT_EQ(n, content.size());
  EXPECT_EQ(got.substr(0, n), content);
  ASSERT_TRUE(file->read(got.data(), 10, &n));
  EXPECT_EQ(n, 0u);
  ASSERT_TRUE(file->close());

  ASSERT_TRUE(env->openExisting(dir.file("a.jpg"), &file));
  ASSERT_TRUE(file->write("XYZ", 3));
  ASSERT_TRUE(file->close());
  EXPECT_EQ(dir.read("a.jpg"), "XYZ" + content.substr(3));
}

TEST_F(PosixEnvTest, InfoGivesLengthBeyond32BitsTimeWithNanosecondsAndModeBits) {
  dir.write("big.avi", "");
  ASSERT_EQ(::truncate(dir.file("big.avi").c_str(), 5LL << 30), 0);  // sparse, takes no space
  const FileTime time{1125160928, 123456789};
  dir.setLastWriteTime("big.avi", time);
  ASSERT_EQ(::chmod(dir.file("big.avi").c_str(), 02640), 0);

  std::unique_ptr<File> file;
  ASSERT_TRUE(env->openExisting(dir.file("big.avi"), &file));
  FileInfo info;
  ASSERT_TRUE(file->info(&info));
  EXPECT_EQ(info.length, std::uint64_t{5} << 30);
  EXPECT_EQ(info.lastWriteTime, time);
  EXPECT_EQ(info.permissions, 02640u);
}

TEST_F(PosixEnvTest, SetLastWriteTimeKeepsNanosecondsAndLeavesTheAccessTime) {
  dir.write("a.jpg", "bytes");
  // An access time later than every other time, so that no relatime update can move it either.
  struct timespec initial[2] = {{1900000000, 111}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.file("a.jpg").c_str(), initial, 0), 0);

  std::unique_ptr<File> file;
  ASSERT_TRUE(env->openExisting(dir.file("a.jpg"), &file));
  const FileTime stamp{1197800430, 987654321};
  ASSERT_TRUE(file->setLastWriteTime(stamp));
  ASSERT_TRUE(file->close());

  const struct stat st = lstatOf(dir.file("a.jpg"));
  EXPECT_EQ(dir.lastWriteTime("a.jpg"), stamp);
  EXPECT_EQ(st.st_atim.tv_sec, 1900000000);
  EXPECT_EQ(st.st_atim.tv_nsec, 111);
}

TEST_F(PosixEnvTest, ClosedFileRefusesWorkAndClosesOnlyOnce) {
  dir.write("a.jpg", "bytes");
  std::unique_ptr<File> file;
  ASSERT_TRUE(env->openExisting(dir.file("a.jpg"), &file));
  ASSERT_TRUE(file->close());
  EXPECT_TRUE(file->close());
  char c;
  std::size_t got = 1;
  EXPECT_EQ(file->read(&c, 1, &got).errorNumber(), EBADF);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(file->write("x", 1).errorNumber(), EBADF);
  EXPECT_EQ(dir.read("a.jpg"), "bytes");
}

class RenameTest : public PosixEnvTest, public ::testing::WithParamInterface<bool> {
 protected:
  std::unique_ptr<Env> renamer = newPosixEnv(PosixEnvOptions{.forceRenameFallback = GetParam()});
};

TEST_P(RenameTest, RefusesAnExistingTargetAndChangesNeitherFile) {
  dir.write("IMG_0001.JPG", "the photo");
  dir.write("050827_164208.JPG", "another photo");
  const Status status = renamer->renameNoReplace(dir.file("IMG_0001.JPG"), dir.file("050827_164208.JPG"));
  EXPECT_EQ(status.errorNumber(), EEXIST) << status.toString();
  EXPECT_NE(status.context().find("IMG_0001.JPG"), std::string::npos);
  EXPECT_EQ(dir.read("IMG_0001.JPG"), "the photo");
  EXPECT_EQ(dir.read("050827_164208.JPG"), "another photo");
}

TEST_P(RenameTest, RefusesATargetThatIsADanglingSymbolicLink) {
  dir.write("IMG_0001.JPG", "the photo");
  ASSERT_EQ(::symlink("nowhere", dir.file("050827_164208.JPG").c_str()), 0);
  EXPECT_EQ(renamer->renameNoReplace(dir.file("IMG_0001.JPG"), dir.file("050827_164208.JPG")).errorNumber(),
            EEXIST);
  EXPECT_EQ(dir.read("IMG_0001.JPG"), "the photo");
  EXPECT_TRUE(S_ISLNK(lstatOf(dir.file("050827_164208.JPG")).st_mode));
}

TEST_P(RenameTest, MovesTheFileWithItsBytesAndTime) {
  dir.write("IMG_0001.JPG", "the photo");
  const FileTime time{1125160928, 5};
  dir.setLastWriteTime("IMG_0001.JPG", time);
  ASSERT_TRUE(renamer->renameNoReplace(dir.file("IMG_0001.JPG"), dir.file("050827_164208.JPG")));
  EXPECT_EQ(dir.names(), std::vector<std::string>{"050827_164208.JPG"});
  EXPECT_EQ(dir.read("050827_164208.JPG"), "the photo");
  EXPECT_EQ(dir.lastWriteTime("050827_164208.JPG"), time);
}

TEST_P(RenameTest, MissingSourceFailsAndCreatesNothing) {
  EXPECT_EQ(renamer->renameNoReplace(dir.file("gone.jpg"), dir.file("new.jpg")).errorNumber(), ENOENT);
  EXPECT_TRUE(dir.names().empty());
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutFallback, RenameTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Fallback" : "NoReplaceFlag";
                         });

TEST_F(PosixEnvTest, CreateTemporaryGivesAFreshHiddenFileWithExactlyThePermissions) {
  dir.write("IMG_0001.JPG", "photo");
  std::set<std::string> paths;
  for (const unsigned permissions : {0666u, 0640u, 0400u}) {
    SCOPED_TRACE(permissions);
    std::unique_ptr<File> file;
    std::string path;
    ASSERT_TRUE(env->createTemporary(dir.path(), permissions, &file, &path));
    EXPECT_EQ(path.substr(0, dir.path().size() + 1), dir.path() + ".");
    EXPECT_EQ(path.find('/', dir.path().size()), std::string::npos);
    EXPECT_TRUE(paths.insert(path).second) << path;
    // The umask would take 0666 down to 0644; the bits must be exactly those asked for.
    EXPECT_EQ(lstatOf(path).st_mode & 07777, permissions);
    ASSERT_TRUE(file->write("new", 3));
    FileInfo info;
    ASSERT_TRUE(file->info(&info));
    EXPECT_EQ(info.length, 3u);
    ASSERT_TRUE(file->close());
    EXPECT_EQ(dir.read(path.substr(dir.path().size())), "new");
  }
  EXPECT_EQ(dir.read("IMG_0001.JPG"), "photo");
  EXPECT_EQ(dir.names().size(), 4u);
}

TEST_F(PosixEnvTest, CreateTemporaryInAMissingDirectoryFails) {
  std::unique_ptr<File> file;
  std::string path;
  EXPECT_EQ(env->createTemporary(dir.file("missing/"), 0644, &file, &path).errorNumber(), ENOENT);
  EXPECT_TRUE(dir.names().empty());
}

TEST_F(PosixEnvTest, PathsTooLongAreRefusedAndPathsAtTheLimitReachTheHost) {
  const std::size_t limit = env->pathRules().maxPathBytes;
  const std::string atLimit = pathOfLength(dir.path(), limit);
  const std::string tooLong = pathOfLength(dir.path(), limit + 1);
  dir.write("a.jpg", "photo");
  const std::string existing = dir.file("a.jpg");

  struct Call {
    const char* what;
    std::function<int(const std::string&)> errorFor;
  };
  std::unique_ptr<File> file;
  std::string created;
  std::vector<DirEntry> entries;
  const std::vector<Call> calls = {
      {"openExisting", [&](const std::string& p) { return env->openExisting(p, &file).errorNumber(); }},
      {"removeFile", [&](const std::string& p) { return env->removeFile(p).errorNumber(); }},
      {"rename from",
       [&](const std::string& p) { return env->renameNoReplace(p, existing + "x").errorNumber(); }},
      {"rename to", [&](const std::string& p) { return env->renameNoReplace(existing, p).errorNumber(); }},
      {"listDirectory", [&](const std::string& p) { return env->listDirectory(p, &entries).errorNumber(); }},
  };
  for (const Call& call : calls) {
    SCOPED_TRACE(call.what);
    EXPECT_EQ(call.errorFor(tooLong), ENAMETOOLONG);
    // Its directories do not exist, so the host answers ENOENT: the length was not held against it.
    EXPECT_EQ(call.errorFor(atLimit), ENOENT);
  }
  EXPECT_FALSE(env->canOpenForReading(tooLong));
  EXPECT_FALSE(env->exists(tooLong));
  // The template adds 16 bytes to the directory.
  const std::string directory = pathOfLength(dir.path(), limit - 15);
  EXPECT_EQ(env->createTemporary(directory, 0644, &file, &created).errorNumber(), ENAMETOOLONG);
  EXPECT_EQ(dir.names(), std::vector<std::string>{"a.jpg"});
  EXPECT_EQ(dir.read("a.jpg"), "photo");
}

TEST_F(PosixEnvTest, ListDirectoryGivesEveryEntryWithItsOwnType) {
  dir.write("IMG_0001.JPG", "photo");
  ASSERT_EQ(::mkdir(dir.file("DCIM").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("DCIM", dir.file("to-dir").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", dir.file("dangling").c_str()), 0);
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
  dir.write(".hidden", "");

  std::vector<DirEntry> entries;
  ASSERT_TRUE(env->listDirectory(dir.path(), &entries));
  std::vector<std::pair<std::string, EntryType>> got;
  for (const DirEntry& entry : entries) {
    got.emplace_back(entry.name, entry.type);
  }
  std::sort(got.begin(), got.end());
  const std::vector<std::pair<std::string, EntryType>> expected = {
      {".hidden", EntryType::RegularFile},
      {"DCIM", EntryType::Directory},
      {"IMG_0001.JPG", EntryType::RegularFile},
      {"dangling", EntryType::SymbolicLink},
      {"fifo", EntryType::Other},
      {"to-dir", EntryType::SymbolicLink},
  };
  EXPECT_EQ(got, expected);
}

TEST_F(PosixEnvTest, ListDirectoryOfAMissingDirectoryFails) {
  std::vector<DirEntry> entries;
  const Status status = env->listDirectory(dir.file("missing"), &entries);
  EXPECT_EQ(status.errorNumber(), ENOENT);
  EXPECT_EQ(status.context(), dir.file("missing"));
}

TEST_F(PosixEnvTest, ProbesTellReadableNamesAndAnyEntry) {
  dir.write("photo.jpg", "x");
  ASSERT_EQ(::mkdir(dir.file("DCIM").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("nowhere", dir.file("dangling").c_str()), 0);
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
  struct Probe {
    const char* name;
    bool readable;
    bool exists;
  };
  for (const Probe& p : std::vector<Probe>{{"photo.jpg", true, true},
                                           {"missing.jpg", false, false},
                                           {"DCIM", true, true},
                                           {"dangling", false, true},
                                           {"fifo", true, true}}) {
    SCOPED_TRACE(p.name);
    EXPECT_EQ(env->canOpenForReading(dir.file(p.name)), p.readable);
    EXPECT_EQ(env->exists(dir.file(p.name)), p.exists);
  }
  EXPECT_FALSE(dir.exists("missing.jpg"));
}

TEST_F(PosixEnvTest, RemoveFileUnlinksOnlyTheNameGiven) {
  dir.write("real.jpg", "x");
  ASSERT_EQ(::symlink("real.jpg", dir.file("link.jpg").c_str()), 0);
  ASSERT_EQ(::mkdir(dir.file("DCIM").c_str(), 0755), 0);
  ASSERT_TRUE(env->removeFile(dir.file("link.jpg")));
  EXPECT_EQ(env->removeFile(dir.file("link.jpg")).errorNumber(), ENOENT);
  EXPECT_EQ(env->removeFile(dir.file("DCIM")).errorNumber(), EISDIR);
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"DCIM", "real.jpg"}));
}

TEST_F(PosixEnvTest, AllocateGivesUsableMemoryOrENOMEM) {
  Buffer buffer;
  ASSERT_TRUE(env->allocate(1 << 20, &buffer));
  ASSERT_TRUE(buffer);
  EXPECT_EQ(buffer.size(), 1u << 20);
  std::fill(buffer.data(), buffer.data() + buffer.size(), '\x5a');
  EXPECT_EQ(buffer.data()[buffer.size() - 1], '\x5a');

  for (const std::size_t size : {SIZE_MAX, static_cast<std::size_t>(PTRDIFF_MAX) + 1}) {
    Buffer refused;
    EXPECT_EQ(env->allocate(size, &refused).errorNumber(), ENOMEM);
    EXPECT_FALSE(refused);
  }
}

#if defined(__SANITIZE_ADDRESS__)
#define KESTRAVA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTRAVA_ASAN 1
#endif
#endif

TEST_F(PosixEnvTest, AllocateReportsWhatTheHostCannotGive) {
#ifdef KESTRAVA_ASAN
  GTEST_SKIP() << "the address sanitizer ends the program on a request of this size";
#else
  // More than the 47-bit user address space: no overcommit setting can grant it.
  Buffer refused;
  EXPECT_EQ(env->allocate(std::size_t{1} << 50, &refused).errorNumber(), ENOMEM);
#endif
}

class PosixEnvOnFatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string reason = FatMount::unavailableReason(); !reason.empty()) {
      GTEST_SKIP() << reason;
    }
    card = std::make_unique<FatMount>();
  }

  std::string file(const std::string& name) const { return card->path() + name; }

  std::unique_ptr<FatMount> card;
  std::unique_ptr<Env> env = newPosixEnv();
};

void writeThrough(Env& env, const std::string& path, const std::string& bytes) {
  std::unique_ptr<File> file;
  std::string created;
  const std::string directory = directoryWithSeparator(path, env.pathRules());
  ASSERT_TRUE(env.createTemporary(directory, 0644, &file, &created));
  ASSERT_TRUE(file->write(bytes.data(), bytes.size()));
  ASSERT_TRUE(file->close());
  ASSERT_TRUE(env.renameNoReplace(created, path));
}

TEST_F(PosixEnvOnFatTest, RenameFallsBackAndStillRefusesATargetDifferingOnlyInCase) {
  // Creating through a temporary and renaming it already takes the fallback: fusefat refuses the flag.
  writeThrough(*env, file("IMG_0001.JPG"), "the photo");
  writeThrough(*env, file("050827_164208.JPG"), "another photo");

  EXPECT_EQ(env->renameNoReplace(file("IMG_0001.JPG"), file("050827_164208.jpg")).errorNumber(), EEXIST);
  EXPECT_EQ(readThrough(*env, file("IMG_0001.JPG")), "the photo");
  EXPECT_EQ(readThrough(*env, file("050827_164208.JPG")), "another photo");

  ASSERT_TRUE(env->renameNoReplace(file("IMG_0001.JPG"), file("050827_164208a.JPG")));
  EXPECT_EQ(readThrough(*env, file("050827_164208a.JPG")), "the photo");
  EXPECT_FALSE(env->exists(file("IMG_0001.JPG")));
}

TEST_F(PosixEnvOnFatTest, CaseOnlyRenameOfAFileIsRefusedWithoutHarm) {
  // The no-replace check sees the file itself under the new spelling.
  writeThrough(*env, file("IMG_0001.JPG"), "the photo");
  EXPECT_EQ(env->renameNoReplace(file("IMG_0001.JPG"), file("img_0001.jpg")).errorNumber(), EEXIST);
  EXPECT_EQ(readThrough(*env, file("IMG_0001.JPG")), "the photo");
}

TEST_F(PosixEnvOnFatTest, CreateTemporaryWorksWithoutPermissionBits) {
  std::unique_ptr<File> file;
  std::string path;
  ASSERT_TRUE(env->createTemporary(card->path(), 0644, &file, &path));
  ASSERT_TRUE(file->write("abc", 3));
  ASSERT_TRUE(file->close());
  EXPECT_EQ(readThrough(*env, path), "abc");
}

TEST_F(PosixEnvOnFatTest, ListDirectoryTellsFilesFromDirectories) {
  writeThrough(*env, file("IMG_0001.JPG"), "the photo");
  ASSERT_EQ(::mkdir(file("DCIM").c_str(), 0755), 0);
  std::vector<DirEntry> entries;
  ASSERT_TRUE(env->listDirectory(card->path(), &entries));
  std::vector<std::pair<std::string, EntryType>> got;
  for (const DirEntry& entry : entries) {
    got.emplace_back(entry.name, entry.type);
  }
  std::sort(got.begin(), got.end());
  const std::vector<std::pair<std::string, EntryType>> expected = {{"DCIM", EntryType::Directory},
                                                                   {"IMG_0001.JPG", EntryType::RegularFile}};
  EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace kestrava::platform
