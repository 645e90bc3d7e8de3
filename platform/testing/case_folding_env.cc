#include "platform/testing/case_folding_env.h"

#include <cerrno>
#include <utility>

#include "platform/ascii.h"

namespace kestrava::platform::testing {
namespace {

// A newly created name that folds equal to another entry is made again, as mkostemp does after EEXIST.
constexpr int kCreateAttempts = 100;

}  // namespace

CaseFoldingEnv::CaseFoldingEnv(Env& target) : target_(target) {}

std::vector<std::string> CaseFoldingEnv::foldEqualEntries(const std::string& directory,
                                                          const std::string& name) {
  std::vector<std::string> found;
  std::vector<DirEntry> entries;
  if (name.empty() || !target_.listDirectory(directory, &entries)) {
    return found;
  }
  for (const DirEntry& entry : entries) {
    if (entry.name == name) {
      found.insert(found.begin(), entry.name);
    } else if (equalIgnoringAsciiCase(entry.name, name)) {
      found.push_back(entry.name);
    }
  }
  return found;
}

std::string CaseFoldingEnv::resolve(const std::string& path) {
  const PathRules& rules = target_.pathRules();
  const std::string directory = directoryWithSeparator(path, rules);
  const std::vector<std::string> found = foldEqualEntries(directory, namePart(path, rules));
  return found.empty() ? path : directory + found.front();
}

const PathRules& CaseFoldingEnv::pathRules() const {
  return target_.pathRules();
}

Status CaseFoldingEnv::openExisting(const std::string& path, std::unique_ptr<File>* out) {
  return target_.openExisting(resolve(path), out);
}

Status CaseFoldingEnv::createTemporary(const std::string& directory, unsigned permissions,
                                       std::unique_ptr<File>* out, std::string* path) {
  const PathRules& rules = target_.pathRules();
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    std::unique_ptr<File> file;
    std::string created;
    if (Status status = target_.createTemporary(directory, permissions, &file, &created); !status) {
      return status;
    }
    if (foldEqualEntries(directory, namePart(created, rules)).size() == 1) {
      *out = std::move(file);
      *path = std::move(created);
      return Status::ok();
    }
    file->close();
    target_.removeFile(created);
  }
  return Status::error(EEXIST, directory);
}

bool CaseFoldingEnv::canOpenForReading(const std::string& path) {
  return target_.canOpenForReading(resolve(path));
}

bool CaseFoldingEnv::exists(const std::string& path) {
  return target_.exists(resolve(path));
}

Status CaseFoldingEnv::removeFile(const std::string& path) {
  return target_.removeFile(resolve(path));
}

Status CaseFoldingEnv::renameNoReplace(const std::string& from, const std::string& to) {
  const PathRules& rules = target_.pathRules();
  const std::string realFrom = resolve(from);
  const std::string toDirectory = directoryWithSeparator(to, rules);
  const std::string toName = namePart(to, rules);
  for (const std::string& taken : foldEqualEntries(toDirectory, toName)) {
    const bool isFromItself = toDirectory + taken == realFrom;
    if (!isFromItself || taken == toName) {
      return Status::error(EEXIST, from + " -> " + to);
    }
  }
  return target_.renameNoReplace(realFrom, to);
}

Status CaseFoldingEnv::listDirectory(const std::string& directory, std::vector<DirEntry>* out) {
  return target_.listDirectory(resolve(directory), out);
}

Status CaseFoldingEnv::allocate(std::size_t size, Buffer* out) {
  return target_.allocate(size, out);
}

}  // namespace kestrava::platform::testing
