#include "engine/time_stamping.h"

namespace kestrava::engine {

OwnTime ownTimeOf(const platform::FileTime& lastWriteTime) {
  OwnTime own;
  own.exact = lastWriteTime;
  own.fitsDos = dosDateTimeFromFileTime(lastWriteTime, &own.dos);
  return own;
}

StampTime composeStampTime(const ProcessingOptions& options, const ScanResult& scan, const OwnTime& own) {
  StampTime stamp;
  if (options.timestampMode == 0 && options.dateSource != 2 && scan.matchCount > 0) {
    const EmbeddedDate& date = scan.date;
    stamp.dos =
        packDosDateTime(date.year - 1980, date.month, date.day, date.hour, date.minute, date.second / 2);
    stamp.fromEmbeddedDate = true;
    stamp.representable = date.year >= 1980;
    return stamp;
  }
  stamp.dos = own.dos;
  return stamp;
}

std::optional<platform::FileTime> lastWriteTimeToSet(const ProcessingOptions& options, const StampTime& stamp,
                                                     const OwnTime& own) {
  const bool stampsFromFile = options.timestampMode == 0 && options.dateSource != 2;
  const bool putsOwnTimeBack = options.timestampMode == 1 && options.keepBackup;
  if (!stampsFromFile && !putsOwnTimeBack) {
    return std::nullopt;
  }
  if (!stamp.fromEmbeddedDate) {
    return own.exact;
  }
  platform::FileTime time;
  if (!stamp.representable || !fileTimeFromDosDateTime(stamp.dos, &time)) {
    return std::nullopt;
  }
  return time;
}

}  // namespace kestrava::engine
