#include "platform/local_time.h"

#include <climits>
#include <cstdlib>
#include <ctime>

namespace kestrava::platform {
namespace {

bool isLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int daysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

bool isCalendarTime(const CalendarTime& time) {
  if (time.month < 1 || time.month > 12) {
    return false;
  }
  return time.day >= 1 && time.day <= daysInMonth(time.year, time.month) && time.hour >= 0 &&
         time.hour <= 23 && time.minute >= 0 && time.minute <= 59 && time.second >= 0 && time.second <= 59;
}

CalendarTime calendarOf(const std::tm& tm) {
  return CalendarTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace

void loadLocalTimeZone() {
  // With TZ unset glibc stats /etc/localtime on every conversion; naming the file pins the zone.
  if (std::getenv("TZ") == nullptr) {
    ::setenv("TZ", ":/etc/localtime", 1);
  }
  ::tzset();
}

bool toLocalCalendar(std::int64_t seconds, CalendarTime* out) {
  const std::time_t moment = static_cast<std::time_t>(seconds);
  if (static_cast<std::int64_t>(moment) != seconds) {
    return false;
  }
  std::tm tm{};
  if (::localtime_r(&moment, &tm) == nullptr || tm.tm_year > INT_MAX - 1900) {
    return false;
  }
  *out = calendarOf(tm);
  return true;
}

bool fromLocalCalendar(const CalendarTime& time, std::int64_t* seconds) {
  if (!isCalendarTime(time) || time.year < INT_MIN + 1900) {
    return false;
  }
  std::tm tm{};
  tm.tm_year = time.year - 1900;
  tm.tm_mon = time.month - 1;
  tm.tm_mday = time.day;
  tm.tm_hour = time.hour;
  tm.tm_min = time.minute;
  tm.tm_sec = time.second;
  tm.tm_isdst = -1;
  // mktime moves a time skipped by a daylight-saving change to a real one, and its failure value -1 is
  // also a real moment; reading the result back tells both apart.
  const std::time_t moment = std::mktime(&tm);
  std::tm back{};
  if (::localtime_r(&moment, &back) == nullptr || back.tm_year > INT_MAX - 1900 ||
      !(calendarOf(back) == time)) {
    return false;
  }
  *seconds = static_cast<std::int64_t>(moment);
  return true;
}

}  // namespace kestrava::platform
