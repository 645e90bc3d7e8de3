#include "naming/calendar.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdint>

namespace kestrava::naming {
namespace {

namespace chr = std::chrono;

// Independent of the tables: the standard library's civil calendar.
int chronoWeekday(int year, int month, std::int64_t day) {
  const chr::sys_days first = chr::year{year} / chr::month{static_cast<unsigned>(month)} / chr::day{1};
  return static_cast<int>(chr::weekday{first + chr::days{day - 1}}.c_encoding());
}

struct EraCase {
  int year;
  int eraIndex;
  int eraYear;
};

TEST(CalendarEraOf, BoundaryYears) {
  const EraCase cases[] = {
      {1868, kEraMeiji, 1},  {1901, kEraMeiji, 34},  {1905, kEraMeiji, 38},  {1911, kEraMeiji, 44},
      {1912, kEraTaisho, 1}, {1925, kEraTaisho, 14}, {1926, kEraShowa, 1},   {1985, kEraShowa, 60},
      {1988, kEraShowa, 63}, {1989, kEraHeisei, 1},  {2005, kEraHeisei, 17}, {2018, kEraHeisei, 30},
      {2019, kEraReiwa, 1},  {2026, kEraReiwa, 8},   {2099, kEraReiwa, 81},  {2107, kEraReiwa, 89},
      {2117, kEraReiwa, 99}, {2118, kEraReiwa, 100}, {2155, kEraReiwa, 137},
  };
  for (const EraCase& c : cases) {
    const EraAndYear era = eraOf(c.year);
    EXPECT_EQ(era.eraIndex, c.eraIndex) << c.year;
    EXPECT_EQ(era.eraYear, c.eraYear) << c.year;
  }
}

TEST(CalendarEraOf, EveryIndexNamesItsEraInBothNamedStyles) {
  const struct {
    int year;
    std::string_view letter;
    std::string_view kanji;
  } cases[] = {
      {2005, "H", "平成"}, {1950, "S", "昭和"}, {1920, "T", "大正"}, {1905, "M", "明治"}, {2026, "R", "令和"},
  };
  for (const auto& c : cases) {
    const auto index = static_cast<std::size_t>(eraOf(c.year).eraIndex);
    EXPECT_EQ(eraNames[kStyleWestern][index], "") << c.year;
    EXPECT_EQ(eraNames[kStyleRomanised][index], c.letter) << c.year;
    EXPECT_EQ(eraNames[kStyleKanji][index], c.kanji) << c.year;
  }
}

TEST(CalendarNames, KanjiTextsHaveTheirByteLengths) {
  for (std::string_view name : eraNames[kStyleKanji]) {
    EXPECT_EQ(name.size(), 6u) << name;  // two kanji, three UTF-8 bytes each
  }
  for (std::string_view name : weekdayNames[kStyleKanji]) {
    ASSERT_EQ(name.size(), 5u) << name;
    EXPECT_EQ(name.front(), '(');  // the single-byte parentheses, not the full-width ones
    EXPECT_EQ(name.back(), ')');
  }
}

struct WeekdayCase {
  int year;
  int month;
  int day;
  int weekday;
};

TEST(CalendarWeekdayOf, ListedDays) {
  const WeekdayCase cases[] = {
      {1900, 1, 1, 1},  {2000, 2, 29, 2}, {2000, 3, 1, 3},   {2100, 2, 28, 0},
      {2100, 3, 1, 1},  {2101, 1, 1, 6},  {2155, 12, 31, 3}, {2005, 8, 27, 6},
      {2004, 2, 29, 0}, {1985, 11, 3, 0}, {1905, 6, 15, 4},  {2099, 1, 2, 5},
  };
  for (const WeekdayCase& c : cases) {
    EXPECT_EQ(weekdayOf(c.year, c.month, c.day), c.weekday) << c.year << "-" << c.month << "-" << c.day;
  }
}

TEST(CalendarWeekdayOf, MonthZeroDayZeroAndDaysPastTheMonthCountOn) {
  const WeekdayCase cases[] = {
      {2006, 0, 5, 4},                     // month 0 counts like January
      {2006, 1, 5, 4},   {2007, 1, 0, 0},  // day 0: 31 December 2006
      {2006, 1, 0, 6},                     // 1 January 2006 is a Sunday: the day before is a Saturday, not -1
      {2006, 0, 0, 6},   {1905, 1, 0, 6}, {2023, 0, 0, 6}, {2005, 3, 0, 1},  // 28 February 2005
      {2004, 3, 0, 0},                                                       // 29 February 2004
      {2005, 2, 30, 3},                                                      // 2 March 2005
      {2005, 4, 31, 0},                                                      // 1 May 2005
      {2005, 6, 31, 5},                                                      // 1 July 2005
      {2005, 9, 31, 6},                                                      // 1 October 2005
      {2005, 11, 31, 4},                                                     // 1 December 2005
  };
  for (const WeekdayCase& c : cases) {
    EXPECT_EQ(weekdayOf(c.year, c.month, c.day), c.weekday) << c.year << "-" << c.month << "-" << c.day;
  }
}

TEST(CalendarWeekdayOf, AgreesWithTheCivilCalendarOverTheWholeTable) {
  for (int year = kFirstTableYear; year <= kLastTableYear; ++year) {
    for (int month = 0; month <= 12; ++month) {
      for (int day = 0; day <= 31; ++day) {
        ASSERT_EQ(weekdayOf(year, month, day), chronoWeekday(year, month == 0 ? 1 : month, day))
            << year << "-" << month << "-" << day;
      }
    }
  }
}

TEST(CalendarWeekdayOf, YearsOutsideTheTableFollowTheGregorianRule) {
  const int years[] = {1, 4, 100, 1582, 1600, 1700, 1800, 1899, 2156, 2200, 2400, 9999, 32767, 0, -1, -400};
  for (int year : years) {
    for (int month = 1; month <= 12; ++month) {
      for (int day : {0, 1, 15, 29, 31}) {
        ASSERT_EQ(weekdayOf(year, month, day), chronoWeekday(year, month, day))
            << year << "-" << month << "-" << day;
      }
    }
  }
}

TEST(CalendarWeekdayOf, MonthsOutsideTheYearCarryWholeYears) {
  const struct {
    int month;
    int year;
    int chronoMonth;
  } cases[] = {
      {13, 2006, 1},  {14, 2006, 2},  {24, 2006, 12},  {25, 2007, 1},
      {-1, 2004, 11}, {-11, 2004, 1}, {-12, 2003, 12},
  };
  for (const auto& c : cases) {
    for (int day : {0, 1, 31}) {
      EXPECT_EQ(weekdayOf(2005, c.month, day), chronoWeekday(c.year, c.chronoMonth, day))
          << "month " << c.month << " day " << day;
    }
  }
}

TEST(CalendarWeekdayOf, ExtremeArgumentsGiveAWeekday) {
  EXPECT_EQ(weekdayOf(2005, 1, INT_MAX), chronoWeekday(2005, 1, INT_MAX));
  EXPECT_EQ(weekdayOf(2005, 1, INT_MIN), chronoWeekday(2005, 1, INT_MIN));
  const int extremes[] = {INT_MIN, -1000000, 1000000, INT_MAX};
  for (int year : extremes) {
    for (int month : extremes) {
      for (int day : extremes) {
        const int weekday = weekdayOf(year, month, day);
        EXPECT_GE(weekday, 0);
        EXPECT_LT(weekday, kWeekdayCount);
      }
    }
  }
}

TEST(CalendarTables, ListedYearStartRows) {
  const struct {
    int year;
    YearStart row;
  } cases[] = {
      {1900, {1, 0}}, {1904, {5, 1}}, {1905, {0, 0}}, {2000, {6, 1}}, {2001, {1, 0}},
      {2100, {5, 0}}, {2101, {6, 0}}, {2104, {2, 1}}, {2155, {3, 0}},
  };
  for (const auto& c : cases) {
    const YearStart& row = yearStartTable[static_cast<std::size_t>(c.year - kFirstTableYear)];
    EXPECT_EQ(row.jan1Weekday, c.row.jan1Weekday) << c.year;
    EXPECT_EQ(row.isLeap, c.row.isLeap) << c.year;
  }
}

TEST(CalendarTables, EveryYearStartRowAgreesWithTheCivilCalendar) {
  ASSERT_EQ(yearStartTable.size(), 256u);
  for (int row = 0; row < kYearStartRows; ++row) {
    const chr::year year{kFirstTableYear + row};
    EXPECT_EQ(yearStartTable[row].jan1Weekday,
              static_cast<int>(chr::weekday{chr::sys_days{year / chr::January / 1}}.c_encoding()))
        << static_cast<int>(year);
    EXPECT_EQ(yearStartTable[row].isLeap, year.is_leap() ? 1 : 0) << static_cast<int>(year);
  }
}

TEST(CalendarTables, DaysBeforeMonthAgreesWithTheCivilCalendar) {
  const struct {
    int row;
    int year;
  } years[] = {{0, 2005}, {1, 2004}};
  for (const auto& y : years) {
    const auto& entries = daysBeforeMonth[static_cast<std::size_t>(y.row)];
    const chr::sys_days january{chr::year{y.year} / chr::January / 1};
    EXPECT_EQ(entries[0], 0);
    for (unsigned month = 1; month <= 12; ++month) {
      const chr::sys_days first{chr::year{y.year} / chr::month{month} / 1};
      EXPECT_EQ(entries[month], (first - january).count()) << y.year << " month " << month;
    }
    const chr::sys_days nextJanuary{chr::year{y.year + 1} / chr::January / 1};
    EXPECT_EQ(entries[13], (nextJanuary - january).count()) << y.year;
  }
}

}  // namespace
}  // namespace kestrava::naming
