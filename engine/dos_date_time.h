#pragma once

#include <cstdint>

#include "platform/local_time.h"

// The packed MS-DOS date and time, in local time with a resolution of two seconds:
//   time half (low 16 bits):  bits 0-4 seconds / 2, bits 5-10 minutes, bits 11-15 hours
//   date half (high 16 bits): bits 0-4 day, bits 5-8 month, bits 9-15 year - 1980 (1980..2107)
namespace kestrava::engine {

struct DosDateTime {
  std::uint16_t date = 0;
  std::uint16_t time = 0;

  std::uint32_t packed() const { return (std::uint32_t{date} << 16) | time; }
  int year() const { return (date >> 9) + 1980; }
  int month() const { return (date >> 5) & 0x0F; }
  int day() const { return date & 0x1F; }
  int hour() const { return time >> 11; }
  int minute() const { return (time >> 5) & 0x3F; }
  int second() const { return (time & 0x1F) * 2; }

  friend bool operator==(const DosDateTime&, const DosDateTime&) = default;
};

// Packs the fields, each kept to the low bits of its width as the format does: a year field of
// 1979 - 1980 = -1 becomes 127, that is 2107. Callers that must not wrap check the year first.
DosDateTime packDosDateTime(int yearSince1980, int month, int day, int hours, int minutes, int halfSeconds);

// The local-time DosDateTime of a moment, the second rounded down to even; false when its local year lies
// outside 1980..2107, which the format cannot hold.
bool dosDateTimeFromFileTime(const platform::FileTime& time, DosDateTime* out);

// The moment that a DosDateTime names in local time; false when it is no real local time (month or day
// 0, a day past its month's end, seconds field above 29, a time skipped by daylight saving).
bool fileTimeFromDosDateTime(const DosDateTime& dos, platform::FileTime* out);

}  // namespace kestrava::engine
