#pragma once

#include <optional>

#include "engine/date_scanner.h"
#include "engine/dos_date_time.h"
#include "engine/options.h"
#include "platform/local_time.h"

namespace kestrava::engine {

// The file's own last-write time, read at the first open, before any rewrite. The exact moment is kept
// beside the DosDateTime so that putting the own time back restores it to the nanosecond, and so that a
// time outside 1980..2107, which a DosDateTime cannot hold, is never destroyed.
struct OwnTime {
  platform::FileTime exact;
  DosDateTime dos;
  bool fitsDos = false;
};

OwnTime ownTimeOf(const platform::FileTime& lastWriteTime);

// The value that may be stamped: the date found inside the file, or the file's own time.
struct StampTime {
  DosDateTime dos;
  bool fromEmbeddedDate = false;
  // False for a found year before 1980, which the 7-bit year field cannot hold.
  bool representable = true;
};

StampTime composeStampTime(const ProcessingOptions& options, const ScanResult& scan, const OwnTime& own);

// The last-write time to set after the rewrite, or nothing when the file keeps the time it has:
//   change, date inside the file first or only: the found date, or the exact own time when none was found
//   change, own time only:                      nothing (the file keeps its time, a rewrite's included)
//   keep, with a backup (the file was rewritten): the exact own time
//   keep, without a backup:                       nothing
// A found date that is no real local time (month or day 0, a day past its month's end, a year before
// 1980, a time skipped by daylight saving) is not set either.
std::optional<platform::FileTime> lastWriteTimeToSet(const ProcessingOptions& options, const StampTime& stamp,
                                                     const OwnTime& own);

}  // namespace kestrava::engine
