#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"

namespace kestrava::platform::testing {

// An Env over another one (on a case-sensitive disk) that behaves as a FAT/exFAT camera card does: the
// last component of every path is looked up in its directory ignoring the case of ASCII letters and
// stands for the existing entry's real spelling (an exact match wins where the disk below holds several).
// Creating a file, or renaming to a name, that folds equal to an existing entry fails with EEXIST,
// except a rename of a file to a case-variant of its own name, which respells it. listDirectory shows the
// real spellings. Directory components before the last are taken as they are.
class CaseFoldingEnv final : public Env {
 public:
  explicit CaseFoldingEnv(Env& target);

  // The path with its last component replaced by the spelling of the existing entry that folds equal to
  // it; the path unchanged when there is none.
  std::string resolve(const std::string& path);

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

 private:
  // The real spellings in `directory` of every entry that folds equal to `name`, exact match first.
  std::vector<std::string> foldEqualEntries(const std::string& directory, const std::string& name);

  Env& target_;
};

}  // namespace kestrava::platform::testing
