#include "platform/overlay_env.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/ascii.h"
#include "platform/path.h"

namespace kestrava::platform {

struct OverlayEnv::Node {
  std::string viewPath;                 // where the view has it now (its last place once removed)
  std::optional<std::string> diskPath;  // the disk file whose bytes and permissions it has; none if created
  EntryType type = EntryType::RegularFile;
  bool rewritten = false;
  std::uint64_t length = 0;               // kept only while the bytes are the overlay's
  std::optional<FileTime> lastWriteTime;  // the recorded time; the disk's while there is none
  unsigned permissions = 0;               // of a created file; a disk file has the disk's

  bool bytesInOverlay() const { return !diskPath || rewritten; }
};

namespace {

FileTime currentTime() {
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
  const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch - seconds);
  return FileTime{seconds.count(), static_cast<std::int32_t>(nanoseconds.count())};
}

// The disk's name for the current directory, which the view keys as "".
std::string diskDirectoryName(const std::string& key) {
  return key.empty() ? std::string(".") : key;
}

const std::string& keyOf(const std::string& key) {
  return key;
}

template <typename Value>
const std::string& keyOf(const std::pair<const std::string, Value>& entry) {
  return entry.first;
}

// The smallest of the spellings of `path` that differ only in ASCII letter case, in byte order.
std::string withUpperCaseLetters(std::string path) {
  for (char& byte : path) {
    if (byte >= 'a' && byte <= 'z') {
      byte = static_cast<char>(byte - 'a' + 'A');
    }
  }
  return path;
}

// The name with the case of its first ASCII letter flipped; none when it has no letter.
std::optional<std::string> withFirstLetterFlipped(std::string name) {
  for (char& byte : name) {
    if (byte >= 'a' && byte <= 'z') {
      byte = static_cast<char>(byte - 'a' + 'A');
      return name;
    }
    if (byte >= 'A' && byte <= 'Z') {
      byte = static_cast<char>(byte - 'A' + 'a');
      return name;
    }
  }
  return std::nullopt;
}

}  // namespace

// A file opened through the overlay: reads come from the disk file while its bytes are still the disk's;
// writes and times only change the node.
class OverlayFile : public File {
 public:
  OverlayFile(OverlayEnv& env, std::shared_ptr<OverlayEnv::Node> node, std::unique_ptr<File> diskFile)
      : env_(env), node_(std::move(node)), diskFile_(std::move(diskFile)) {}

  Status info(FileInfo* out) override {
    if (closed_) {
      return Status::error(EBADF, node_->viewPath);
    }
    FileInfo info;
    if (diskFile_) {
      const Status status = diskFile_->info(&info);
      if (!status) {
        return status;
      }
    } else {
      info.permissions = node_->permissions;
    }
    if (node_->bytesInOverlay()) {
      info.length = node_->length;
    }
    if (node_->lastWriteTime) {
      info.lastWriteTime = *node_->lastWriteTime;
    }
    *out = info;
    return Status::ok();
  }

  Status read(char* dst, std::size_t n, std::size_t* got) override {
    *got = 0;
    if (closed_) {
      return Status::error(EBADF, node_->viewPath);
    }
    if (node_->bytesInOverlay()) {
      // The overlay keeps no bytes; the conversion never reads back what it wrote.
      return position_ < node_->length ? Status::error(EIO, node_->viewPath) : Status::ok();
    }
    const Status status = diskFile_->read(dst, n, got);
    position_ += *got;
    return status;
  }

  Status write(const char*, std::size_t n) override {
    if (closed_) {
      return Status::error(EBADF, node_->viewPath);
    }
    if (n == 0) {
      return Status::ok();
    }
    if (!node_->bytesInOverlay()) {
      const Status status = takeOverDiskLength();
      if (!status) {
        return status;
      }
    }
    node_->length = std::max<std::uint64_t>(node_->length, position_ + n);
    node_->lastWriteTime = currentTime();
    position_ += n;
    if (!wroteThroughThisHandle_) {
      wroteThroughThisHandle_ = true;
      env_.recordWrite(*node_);
    }
    return Status::ok();
  }

  Status setLastWriteTime(const FileTime& time) override {
    if (closed_) {
      return Status::error(EBADF, node_->viewPath);
    }
    node_->lastWriteTime = time;
    env_.recordLastWriteTime(*node_);
    return Status::ok();
  }

  Status close() override {
    if (closed_) {
      return Status::ok();
    }
    closed_ = true;
    return diskFile_ ? diskFile_->close() : Status::ok();
  }

 private:
  // From the first write on, the file's bytes are the overlay's; it keeps the disk file's length so that
  // writing a part of the file leaves the rest counted.
  Status takeOverDiskLength() {
    FileInfo info;
    const Status status = diskFile_->info(&info);
    if (!status) {
      return status;
    }
    node_->length = info.length;
    if (!node_->lastWriteTime) {
      node_->lastWriteTime = info.lastWriteTime;
    }
    node_->rewritten = true;
    return Status::ok();
  }

  OverlayEnv& env_;
  std::shared_ptr<OverlayEnv::Node> node_;
  std::unique_ptr<File> diskFile_;
  std::uint64_t position_ = 0;
  bool closed_ = false;
  bool wroteThroughThisHandle_ = false;
};

OverlayEnv::OverlayEnv(Env& disk) : disk_(disk) {}

OverlayEnv::~OverlayEnv() = default;

const PathRules& OverlayEnv::pathRules() const {
  return disk_.pathRules();
}

bool OverlayEnv::CaseGroupedOrder::operator()(const std::string& a, const std::string& b) const {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const auto foldedA = static_cast<unsigned char>(foldAsciiLetter(a[i]));
    const auto foldedB = static_cast<unsigned char>(foldAsciiLetter(b[i]));
    if (foldedA != foldedB) {
      return foldedA < foldedB;
    }
  }
  if (a.size() != b.size()) {
    return a.size() < b.size();
  }
  return a < b;
}

// The entry stored under `path` itself; failing that, where the disk folds letter case, the one stored
// under another spelling of its name in the same directory, as the disk would find it.
template <typename Entries>
typename Entries::iterator OverlayEnv::findSpelling(Entries& entries, const std::string& path) {
  const auto exact = entries.find(path);
  if (exact != entries.end()) {
    return exact;
  }
  const std::string directory = directoryWithSeparator(path, pathRules());
  for (auto it = entries.lower_bound(withUpperCaseLetters(path));
       it != entries.end() && equalIgnoringAsciiCase(keyOf(*it), path); ++it) {
    // Directory components are taken as spelled, as the disk below takes them.
    if (keyOf(*it).compare(0, directory.size(), directory) == 0) {
      return foldsLetterCase(directory) ? it : entries.end();
    }
  }
  return entries.end();
}

OverlayEnv::Presence OverlayEnv::presenceOf(const std::string& path) {
  if (findSpelling(nodes_, path) != nodes_.end()) {
    return Presence::Overlay;
  }
  return findSpelling(gone_, path) != gone_.end() ? Presence::Gone : Presence::Disk;
}

std::shared_ptr<OverlayEnv::Node> OverlayEnv::nodeAt(const std::string& path) {
  const auto found = findSpelling(nodes_, path);
  return found != nodes_.end() ? found->second : nullptr;
}

// Asked of the disk once per directory, and only once the view holds another spelling of a name looked
// up there: an entry whose name, with its first letter's case flipped, the disk finds though no entry is
// spelled so. A directory with no such entry (no name with a letter, or each beside its flipped spelling)
// counts as case-sensitive. A conversion hardly meets one: the names it moves come from photos in that
// very directory, and ".JPG" or ".avi" has letters.
bool OverlayEnv::foldsLetterCase(const std::string& directory) {
  const std::string key = viewDirectoryKey(directory);
  if (const auto cached = foldsLetterCase_.find(key); cached != foldsLetterCase_.end()) {
    return cached->second;
  }
  bool folds = false;
  std::vector<DirEntry> entries;
  if (disk_.listDirectory(diskDirectoryName(key), &entries)) {
    std::set<std::string> names;
    for (const DirEntry& entry : entries) {
      names.insert(entry.name);
    }
    for (const DirEntry& entry : entries) {
      const std::optional<std::string> flipped = withFirstLetterFlipped(entry.name);
      if (flipped && names.count(*flipped) == 0) {
        folds = disk_.exists(key + *flipped);
        break;
      }
    }
  }
  foldsLetterCase_.emplace(key, folds);
  return folds;
}

Status OverlayEnv::openExisting(const std::string& path, std::unique_ptr<File>* out) {
  if (!fitsPath(path, pathRules())) {
    return Status::error(ENAMETOOLONG, path);
  }
  switch (presenceOf(path)) {
    case Presence::Gone:
      return Status::error(ENOENT, path);
    case Presence::Overlay: {
      const std::shared_ptr<Node> node = nodeAt(path);
      std::unique_ptr<File> diskFile;
      if (node->diskPath) {
        const Status status = disk_.openExisting(*node->diskPath, &diskFile);
        if (!status) {
          return status;
        }
      } else if ((node->permissions & 0222) == 0) {
        return Status::error(EACCES, path);
      }
      *out = std::make_unique<OverlayFile>(*this, node, std::move(diskFile));
      return Status::ok();
    }
    case Presence::Disk:
      break;
  }
  std::unique_ptr<File> diskFile;
  const Status status = disk_.openExisting(path, &diskFile);
  if (!status) {
    return status;
  }
  // The node joins the view at once, so that a time set or bytes written through this handle belong to
  // the path however the file is renamed afterwards.
  auto node = std::make_shared<Node>();
  node->viewPath = path;
  node->diskPath = path;
  nodes_[path] = node;
  *out = std::make_unique<OverlayFile>(*this, node, std::move(diskFile));
  return Status::ok();
}

Status OverlayEnv::createTemporary(const std::string& directory, unsigned permissions,
                                   std::unique_ptr<File>* out, std::string* path) {
  if (!directoryExistsInView(directory)) {
    return Status::error(ENOENT, directory);
  }
  std::string candidate;
  do {
    candidate = directory + ".kestrava-dry-run-" + std::to_string(++temporaryCounter_);
  } while (exists(candidate));
  if (!fitsPath(candidate, pathRules())) {
    return Status::error(ENAMETOOLONG, candidate);
  }
  auto node = std::make_shared<Node>();
  node->viewPath = candidate;
  node->lastWriteTime = currentTime();
  node->permissions = permissions & 07777;
  nodes_[candidate] = node;
  gone_.erase(candidate);
  record(OverlayChange::Kind::Create, candidate);
  *out = std::make_unique<OverlayFile>(*this, node, nullptr);
  *path = candidate;
  return Status::ok();
}

bool OverlayEnv::canOpenForReading(const std::string& path) {
  switch (presenceOf(path)) {
    case Presence::Gone:
      return false;
    case Presence::Overlay: {
      const Node& node = *nodeAt(path);
      return node.diskPath ? disk_.canOpenForReading(*node.diskPath) : true;
    }
    case Presence::Disk:
      break;
  }
  return disk_.canOpenForReading(path);
}

bool OverlayEnv::exists(const std::string& path) {
  switch (presenceOf(path)) {
    case Presence::Gone:
      return false;
    case Presence::Overlay:
      return true;
    case Presence::Disk:
      break;
  }
  return disk_.exists(path);
}

Status OverlayEnv::removeFile(const std::string& path) {
  if (!fitsPath(path, pathRules())) {
    return Status::error(ENAMETOOLONG, path);
  }
  switch (presenceOf(path)) {
    case Presence::Gone:
      return Status::error(ENOENT, path);
    case Presence::Overlay:
      nodes_.erase(nodeAt(path)->viewPath);
      break;
    case Presence::Disk: {
      Status status;
      const std::shared_ptr<Node> node = nodeForDiskEntry(path, &status);
      if (!node) {
        return status;
      }
      if (node->type == EntryType::Directory) {
        return Status::error(EISDIR, path);
      }
      break;
    }
  }
  gone_.insert(path);
  record(OverlayChange::Kind::Remove, path);
  return Status::ok();
}

Status OverlayEnv::renameNoReplace(const std::string& from, const std::string& to) {
  if (!fitsPath(from, pathRules()) || !fitsPath(to, pathRules())) {
    return Status::error(ENAMETOOLONG, fitsPath(from, pathRules()) ? to : from);
  }
  std::shared_ptr<Node> node;
  switch (presenceOf(from)) {
    case Presence::Gone:
      return Status::error(ENOENT, from);
    case Presence::Overlay:
      node = nodeAt(from);
      break;
    case Presence::Disk: {
      Status status;
      node = nodeForDiskEntry(from, &status);
      if (!node) {
        return status;
      }
      break;
    }
  }
  if (node->type == EntryType::Directory) {
    return Status::error(ENOTSUP, from);
  }
  if (exists(to)) {
    return Status::error(EEXIST, to);
  }
  const std::string targetDirectory = directoryWithSeparator(to, pathRules());
  if (targetDirectory != directoryWithSeparator(from, pathRules()) &&
      !directoryExistsInView(targetDirectory)) {
    return Status::error(ENOENT, to);
  }
  nodes_.erase(node->viewPath);
  gone_.insert(from);
  gone_.erase(to);
  node->viewPath = to;
  nodes_[to] = node;
  record(OverlayChange::Kind::Rename, from, to);
  return Status::ok();
}

Status OverlayEnv::listDirectory(const std::string& directory, std::vector<DirEntry>* out) {
  const std::string key = viewDirectoryKey(directory);
  std::vector<DirEntry> diskEntries;
  const Status status = disk_.listDirectory(diskDirectoryName(key), &diskEntries);
  if (!status) {
    return status;
  }
  out->clear();
  for (DirEntry& entry : diskEntries) {
    if (presenceOf(key + entry.name) == Presence::Disk) {
      out->push_back(std::move(entry));
    }
  }
  for (const auto& [path, node] : nodes_) {
    if (viewDirectoryKey(directoryWithSeparator(path, pathRules())) == key) {
      out->push_back(DirEntry{namePart(path, pathRules()), node->type});
    }
  }
  return Status::ok();
}

Status OverlayEnv::allocate(std::size_t size, Buffer* out) {
  return disk_.allocate(size, out);
}

std::optional<std::string> OverlayEnv::diskSourceOf(const std::string& path) {
  switch (presenceOf(path)) {
    case Presence::Gone:
      return std::nullopt;
    case Presence::Overlay: {
      const Node& node = *nodeAt(path);
      return node.bytesInOverlay() ? std::nullopt : node.diskPath;
    }
    case Presence::Disk:
      break;
  }
  return disk_.exists(path) ? std::optional<std::string>(path) : std::nullopt;
}

// A node for a disk entry that the overlay has not met yet, typed as the disk lists it.
std::shared_ptr<OverlayEnv::Node> OverlayEnv::nodeForDiskEntry(const std::string& path, Status* status) {
  if (!disk_.exists(path)) {
    *status = Status::error(ENOENT, path);
    return nullptr;
  }
  auto node = std::make_shared<Node>();
  node->viewPath = path;
  node->diskPath = path;
  node->type = EntryType::Other;
  std::vector<DirEntry> entries;
  const std::string name = namePart(path, pathRules());
  if (disk_.listDirectory(diskDirectoryName(viewDirectoryKey(directoryWithSeparator(path, pathRules()))),
                          &entries)) {
    // A disk that folds letter case finds the entry under another spelling of its name.
    auto found =
        std::find_if(entries.begin(), entries.end(), [&](const DirEntry& e) { return e.name == name; });
    if (found == entries.end()) {
      found = std::find_if(entries.begin(), entries.end(),
                           [&](const DirEntry& e) { return equalIgnoringAsciiCase(e.name, name); });
    }
    if (found != entries.end()) {
      node->type = found->type;
    }
  }
  return node;
}

// The view has the disk's directories and no others, since the overlay never makes, moves or removes one.
bool OverlayEnv::directoryExistsInView(const std::string& directory) {
  const std::string key = viewDirectoryKey(directory);
  if (key.empty() || knownDirectories_.count(key) != 0) {
    return true;
  }
  std::vector<DirEntry> entries;
  if (!disk_.listDirectory(key, &entries)) {
    return false;
  }
  knownDirectories_.insert(key);
  return true;
}

// The spelling under which the view compares directories: with its trailing separator, "" for the
// current directory.
std::string OverlayEnv::viewDirectoryKey(const std::string& directory) const {
  if (directory.empty() || directory == ".") {
    return {};
  }
  if (directoryWithSeparator(directory, pathRules()) == directory) {
    return directory;
  }
  return directory + (pathRules().style == PathStyle::Windows ? '\\' : '/');
}

void OverlayEnv::record(OverlayChange::Kind kind, const std::string& path, const std::string& target) {
  changes_.push_back(OverlayChange{kind, path, target});
}

void OverlayEnv::recordWrite(const Node& node) {
  record(OverlayChange::Kind::Write, node.viewPath);
}

void OverlayEnv::recordLastWriteTime(const Node& node) {
  record(OverlayChange::Kind::SetLastWriteTime, node.viewPath);
}

}  // namespace kestrava::platform
