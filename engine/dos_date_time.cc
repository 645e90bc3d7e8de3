#include "engine/dos_date_time.h"

namespace kestrava::engine {

DosDateTime packDosDateTime(int yearSince1980, int month, int day, int hours, int minutes, int halfSeconds) {
  DosDateTime dos;
  dos.date = static_cast<std::uint16_t>(((yearSince1980 & 0x7F) << 9) | ((month & 0x0F) << 5) | (day & 0x1F));
  dos.time =
      static_cast<std::uint16_t>(((hours & 0x1F) << 11) | ((minutes & 0x3F) << 5) | (halfSeconds & 0x1F));
  return dos;
}

bool dosDateTimeFromFileTime(const platform::FileTime& time, DosDateTime* out) {
  platform::CalendarTime local;
  if (!platform::toLocalCalendar(time.seconds, &local) || local.year < 1980 || local.year > 2107) {
    return false;
  }
  *out =
      packDosDateTime(local.year - 1980, local.month, local.day, local.hour, local.minute, local.second / 2);
  return true;
}

bool fileTimeFromDosDateTime(const DosDateTime& dos, platform::FileTime* out) {
  if ((dos.time & 0x1F) > 29) {
    return false;
  }
  const platform::CalendarTime local{dos.year(), dos.month(),  dos.day(),
                                     dos.hour(), dos.minute(), dos.second()};
  std::int64_t seconds = 0;
  if (!platform::fromLocalCalendar(local, &seconds)) {
    return false;
  }
  *out = platform::FileTime{seconds, 0};
  return true;
}

}  // namespace kestrava::engine
