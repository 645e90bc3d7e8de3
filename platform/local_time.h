#pragma once

#include <cstdint>

// Local calendar time of the host's time zone (TZ, else /etc/localtime).
namespace kestrava::platform {

// A point in time as the file system keeps it: seconds since the epoch and nanoseconds.
struct FileTime {
  std::int64_t seconds = 0;
  std::int32_t nanoseconds = 0;  // 0..999999999

  friend bool operator==(const FileTime&, const FileTime&) = default;
};

struct CalendarTime {
  int year = 0;  // the full year, e.g. 2005
  int month = 0;  // 1..12
  int day = 0;  // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;

  friend bool operator==(const CalendarTime&, const CalendarTime&) = default;
};

// Reads the time zone once for the rest of the process. Without it glibc re-reads /etc/localtime on
// every conversion when TZ is unset. Call it at the start of a run, before any other function here;
// calling it again after TZ was changed (tests do) takes up the new zone.
void loadLocalTimeZone();

// The local calendar time of a moment; false when the host cannot represent it.
bool toLocalCalendar(std::int64_t seconds, CalendarTime* out);

// The moment that a local calendar time names, daylight saving decided by the zone (mktime with
// tm_isdst = -1). False for a time that is no real local time: a month outside 1..12, a day outside the
// month, an hour, minute or second out of range, or a wall-clock time skipped by a daylight-saving change.
bool fromLocalCalendar(const CalendarTime& time, std::int64_t* seconds);

}  // namespace kestrava::platform
