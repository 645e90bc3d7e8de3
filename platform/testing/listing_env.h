#pragma once

#include <cerrno>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/env.h"

namespace kestrava::platform::testing {

// Serves directory listings from memory; a hook may change them just before a listing, as another
// program writing to the card would. Memory requests are recorded and may be refused.
class ListingEnv final : public Env {
 public:
  std::map<std::string, std::vector<DirEntry>> listings;
  std::function<void(int listingIndex)> beforeListing;
  std::vector<std::string> listed;
  std::vector<std::size_t> allocations;
  std::set<int> refusedAllocations;  // 0-based indexes of the requests to refuse
  PathRules rules = PathRules::host();

  const PathRules& pathRules() const override { return rules; }
  Status listDirectory(const std::string& directory, std::vector<DirEntry>* out) override {
    if (beforeListing) {
      beforeListing(static_cast<int>(listed.size()));
    }
    listed.push_back(directory);
    const auto found = listings.find(directory);
    if (found == listings.end()) {
      return Status::error(ENOENT, directory);
    }
    *out = found->second;
    return Status::ok();
  }
  Status allocate(std::size_t size, Buffer* out) override {
    const int index = static_cast<int>(allocations.size());
    allocations.push_back(size);
    if (refusedAllocations.count(index) != 0) {
      return Status::error(ENOMEM);
    }
    *out = Buffer(std::make_unique<char[]>(size), size);
    return Status::ok();
  }
  Status openExisting(const std::string& path, std::unique_ptr<File>*) override { return refuse(path); }
  Status createTemporary(const std::string& directory, unsigned, std::unique_ptr<File>*,
                         std::string*) override {
    return refuse(directory);
  }
  bool canOpenForReading(const std::string&) override { return false; }
  bool exists(const std::string&) override { return false; }
  Status removeFile(const std::string& path) override { return refuse(path); }
  Status renameNoReplace(const std::string& from, const std::string&) override { return refuse(from); }

 private:
  static Status refuse(const std::string& path) { return Status::error(ENOSYS, path); }
};

}  // namespace kestrava::platform::testing
