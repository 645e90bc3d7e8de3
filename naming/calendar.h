#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// Era years and weekdays for the date names. Everything here is constant data or a pure computation;
// nothing can fail.
namespace kestrava::naming {

// Calendar styles, the rows of the name tables.
inline constexpr int kStyleWestern = 0;
inline constexpr int kStyleRomanised = 1;
inline constexpr int kStyleKanji = 2;
inline constexpr int kCalendarStyleCount = 3;

// Era indexes, the columns of eraNames. Reiwa comes last so that the older indexes keep their values.
inline constexpr int kEraHeisei = 0;
inline constexpr int kEraShowa = 1;
inline constexpr int kEraTaisho = 2;
inline constexpr int kEraMeiji = 3;
inline constexpr int kEraReiwa = 4;
inline constexpr int kEraCount = 5;

inline constexpr int kWeekdayCount = 7;  // 0 = Sunday to 6 = Saturday

// Row: calendar style; column: era index.
inline constexpr std::array<std::array<std::string_view, kEraCount>, kCalendarStyleCount> eraNames = {{
    {"", "", "", "", ""},
    {"H", "S", "T", "M", "R"},
    {"平成", "昭和", "大正", "明治", "令和"},
}};

// Row: calendar style; column: weekday.
inline constexpr std::array<std::array<std::string_view, kWeekdayCount>, kCalendarStyleCount> weekdayNames = {
    {
        {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"},
        {"NICHI", "GETSU", "KA", "SUI", "MOKU", "KIN", "DO"},
        {"(日)", "(月)", "(火)", "(水)", "(木)", "(金)", "(土)"},
    }};

struct YearStart {
  std::int32_t jan1Weekday;  // 0 = Sunday
  std::int32_t isLeap;       // 1 or 0
};

constexpr bool isGregorianLeapYear(std::int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr std::int64_t floorModulo(std::int64_t value, std::int64_t divisor) {
  const std::int64_t remainder = value % divisor;
  return remainder < 0 ? remainder + divisor : remainder;
}

// Gauss's rule for 1 January, valid for every year of the proleptic Gregorian calendar.
constexpr int gregorianJan1Weekday(std::int64_t year) {
  const std::int64_t before = year - 1;
  return static_cast<int>(floorModulo(
      1 + 5 * floorModulo(before, 4) + 4 * floorModulo(before, 100) + 6 * floorModulo(before, 400), 7));
}

constexpr YearStart gregorianYearStart(std::int64_t year) {
  return YearStart{gregorianJan1Weekday(year), isGregorianLeapYear(year) ? 1 : 0};
}

inline constexpr int kFirstTableYear = 1900;
inline constexpr int kLastTableYear = 2155;
inline constexpr int kYearStartRows = kLastTableYear - kFirstTableYear + 1;

// Row i is the year 1900 + i.
inline constexpr std::array<YearStart, kYearStartRows> yearStartTable = [] {
  std::array<YearStart, kYearStartRows> table{};
  for (int row = 0; row < kYearStartRows; ++row) {
    table[row] = gregorianYearStart(kFirstTableYear + row);
  }
  return table;
}();

// Row 0 common years, row 1 leap years; entry m is the number of days before month m, where month 0
// counts like January and entry 13 is the length of the year.
inline constexpr std::array<std::array<std::int32_t, 14>, 2> daysBeforeMonth = {{
    {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366},
}};

struct EraAndYear {
  int eraIndex;
  int eraYear;  // the first year of the era is 1
};

// The era is decided by the Western year alone: every year after 2018 is Reiwa, 1989..2018 Heisei,
// 1926..1988 Showa, 1912..1925 Taisho, and every earlier year Meiji.
EraAndYear eraOf(int year);

// Weekday, 0 (Sunday) to 6 (Saturday). The day is not checked against the month's length: it counts on
// (30 February is 2 March), and day 0 is the last day of the month before. Month 0 counts like January.
// Any year is taken, by the Gregorian rule; a month outside 0..12 carries whole years (13 is January of the
// next year, -1 November of the year before).
int weekdayOf(int year, int month, int day);

}  // namespace kestrava::naming
