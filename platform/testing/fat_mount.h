#pragma once

#include <string>

#include "platform/testing/temp_dir.h"

namespace kestrava::platform::testing {

// A small FAT file system, as on a camera card, made with mkfs.fat in an image inside a TempDir and
// mounted in user space with fusefat; unmounted (fusermount -u) when the FatMount goes. On it names
// fold letter case, RENAME_NOREPLACE is refused with EINVAL, and there are no permission bits, symbolic
// links or sub-second times.
//
//   if (const std::string reason = FatMount::unavailableReason(); !reason.empty()) GTEST_SKIP() << reason;
//   FatMount card;
class FatMount {
 public:
  // Empty when /dev/fuse, fusefat, mkfs.fat and fusermount are there and a trial mount worked; otherwise
  // what is missing. The trial runs once per process.
  static std::string unavailableReason();

  // Throws std::runtime_error when the image can't be made or mounted.
  FatMount();
  ~FatMount();
  FatMount(const FatMount&) = delete;
  FatMount& operator=(const FatMount&) = delete;

  // The mount point with a trailing "/".
  const std::string& path() const { return mountPoint_; }

 private:
  void unmount();

  TempDir workspace_;
  std::string mountPoint_;
  bool mounted_ = false;
};

}  // namespace kestrava::platform::testing
