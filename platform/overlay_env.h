#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/env.h"

// The host of a dry run: the conversion's own code runs against it unchanged, reading the real files,
// while every change it makes is kept in memory and never reaches the disk. Later steps see the changed
// view, so a dry run meets the same taken names, collision letters and failures as the real run would.
//
// Reads, listings and memory go through to the disk. Files that the overlay creates or writes keep only
// their length and time, never their bytes (a dry run over thousands of photos must not hold them);
// reading such bytes back gives EIO. A write through a disk file opened here is recorded in the same way
// and leaves the disk file alone. Directories are never created, removed or renamed here: renaming one
// gives ENOTSUP and removing one EISDIR.
//
// Paths are compared as byte strings, with one exception: in a directory whose disk ignores ASCII letter
// case (a FAT/exFAT card), a name in the view matches every spelling of it, the exact one first, as the
// card's own lookup does. Other spellings of one path ("a//b", or the case of a directory component) are
// two paths to the overlay, though the disk still decides for every path the overlay has not changed.
namespace kestrava::platform {

// One change that the real run would have made, in the order made.
struct OverlayChange {
  enum class Kind { Create, Write, SetLastWriteTime, Remove, Rename };
  Kind kind = Kind::Create;
  std::string path;    // where the file was in the view when the change was made
  std::string target;  // Rename: the new path

  friend bool operator==(const OverlayChange&, const OverlayChange&) = default;
};

class OverlayEnv : public Env {
 public:
  explicit OverlayEnv(Env& disk);
  ~OverlayEnv() override;

  const PathRules& pathRules() const override;
  Status openExisting(const std::string& path, std::unique_ptr<File>* out) override;
  Status createTemporary(const std::string& directory, unsigned permissions, std::unique_ptr<File>* out,
                         std::string* path) override;
  bool canOpenForReading(const std::string& path) override;
  bool exists(const std::string& path) override;
  Status removeFile(const std::string& path) override;
  Status renameNoReplace(const std::string& from, const std::string& to) override;
  Status listDirectory(const std::string& directory, std::vector<DirEntry>* out) override;
  Status allocate(std::size_t size, Buffer* out) override;

  // Every change so far, in order. A file written through one open handle is one Write, however many
  // writes it took.
  const std::vector<OverlayChange>& changes() const { return changes_; }

  // Where the bytes of the file at `path` in the view lie on disk: the disk path it had before the
  // overlay renamed it, itself when untouched, nothing when the overlay created or rewrote it or when the
  // path names nothing in the view.
  std::optional<std::string> diskSourceOf(const std::string& path);

 private:
  struct Node;  // what the view holds at a path the overlay has changed or opened
  enum class Presence { Overlay, Gone, Disk };

  // Keeps the spellings of a path that differ only in ASCII letter case next to each other, so that a
  // folding directory finds them all in one place; two paths are still equal only byte for byte.
  struct CaseGroupedOrder {
    bool operator()(const std::string& a, const std::string& b) const;
  };

  Presence presenceOf(const std::string& path);
  std::shared_ptr<Node> nodeAt(const std::string& path);
  template <typename Entries>
  typename Entries::iterator findSpelling(Entries& entries, const std::string& path);
  bool foldsLetterCase(const std::string& directory);
  std::shared_ptr<Node> nodeForDiskEntry(const std::string& path, Status* status);
  bool directoryExistsInView(const std::string& directory);
  std::string viewDirectoryKey(const std::string& directory) const;
  void record(OverlayChange::Kind kind, const std::string& path, const std::string& target = {});
  void recordWrite(const Node& node);
  void recordLastWriteTime(const Node& node);
  friend class OverlayFile;

  Env& disk_;
  std::map<std::string, std::shared_ptr<Node>, CaseGroupedOrder> nodes_;  // by path in the view
  std::set<std::string, CaseGroupedOrder> gone_;  // disk paths that the view no longer has
  std::set<std::string> knownDirectories_;
  std::map<std::string, bool> foldsLetterCase_;  // by view directory key, as the disk answered
  std::vector<OverlayChange> changes_;
  unsigned long temporaryCounter_ = 0;
};

}  // namespace kestrava::platform
