#pragma once

#include <cstdint>
#include <string>

#include "platform/env.h"
#include "platform/message_box.h"

namespace kestrava::engine {

// Start of a JPEG file whose first segment is an Exif APP1 segment (numbers big-endian):
//   offset 0  FF D8          start of image
//   offset 2  FF E1          APP1 marker
//   offset 4  L (2 bytes)    segment length, counting itself and the data but not the marker
//   offset 6  "Exif"         45 78 69 66
//   offset 4 + L             the next segment
// Only bytes 0-3 and 6-9 are compared; an Exif segment after an APP0 segment is not recognised.
// `content` must hold at least 10 readable bytes (the conversion pads its buffer with zeros).
bool startsWithExifSegment(const char* content);

// Offset of the segment that follows the leading APP1 segment.
std::uint64_t segmentAfterExif(const char* content);

struct BackupRequest {
  std::string workPath;
  std::string backupPath;
  const char* content = nullptr;  // the whole file, followed by at least 10 readable bytes
  std::uint64_t fileLength = 0;
  bool stripExif = false;
  unsigned permissions = 0644;  // the file's mode bits, given to the rewritten file
};

enum class BackupOutcome {
  Rewritten,     // the original is the backup, the file is new under its name
  Failed,        // a message was shown; the file is under its name, unchanged
  SameFileSkip,  // the backup name is the file itself on a case-folding file system: nothing was done
};

struct BackupResult {
  BackupOutcome outcome = BackupOutcome::Failed;
  bool exifRemoved = false;
};

// Keeps the file as it was under backupPath and writes it anew under workPath, without its leading Exif
// segment when asked. The new bytes go to a hidden temporary file first; only when it is complete does the
// original move to the backup name and the temporary file to the file's name, neither rename replacing
// anything. So the name never holds a partial file, even after a crash; on every failure the file is back
// under its name unchanged and no temporary file is left.
BackupResult rewriteWithBackup(platform::Env& env, platform::MessageBox& messages,
                               const BackupRequest& request);

}  // namespace kestrava::engine
