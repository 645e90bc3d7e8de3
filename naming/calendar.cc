#include "naming/calendar.h"

namespace kestrava::naming {
namespace {

static_assert(yearStartTable[1900 - kFirstTableYear].jan1Weekday == 1 && yearStartTable[0].isLeap == 0);
static_assert(yearStartTable[1904 - kFirstTableYear].jan1Weekday == 5 && yearStartTable[4].isLeap == 1);
static_assert(yearStartTable[2000 - kFirstTableYear].jan1Weekday == 6 && yearStartTable[100].isLeap == 1);
static_assert(yearStartTable[2100 - kFirstTableYear].jan1Weekday == 5 && yearStartTable[200].isLeap == 0);
static_assert(yearStartTable[2155 - kFirstTableYear].jan1Weekday == 3 && yearStartTable[255].isLeap == 0);

constexpr int kLastMeijiYear = 1911;
constexpr int kLastTaishoYear = 1925;
constexpr int kLastShowaYear = 1988;
constexpr int kLastHeiseiYear = 2018;
constexpr int kYearBeforeMeiji = 1867;

constexpr std::int64_t floorDivide(std::int64_t value, std::int64_t divisor) {
  return (value - floorModulo(value, divisor)) / divisor;
}

YearStart yearStartOf(std::int64_t year) {
  if (year >= kFirstTableYear && year <= kLastTableYear) {
    return yearStartTable[static_cast<std::size_t>(year - kFirstTableYear)];
  }
  return gregorianYearStart(year);
}

struct YearAndMonth {
  std::int64_t year;
  std::int64_t month;  // 0..12
};

// Month 0 keeps its meaning of January; any other month outside 1..12 becomes a month of an earlier or
// later year, so that the month table is never indexed outside its rows.
YearAndMonth normalisedMonth(std::int64_t year, std::int64_t month) {
  if (month >= 0 && month <= 12) {
    return {year, month};
  }
  return {year + floorDivide(month - 1, 12), floorModulo(month - 1, 12) + 1};
}

}  // namespace

EraAndYear eraOf(int year) {
  if (year > kLastHeiseiYear) {
    return {kEraReiwa, year - kLastHeiseiYear};
  }
  if (year > kLastShowaYear) {
    return {kEraHeisei, year - kLastShowaYear};
  }
  if (year > kLastTaishoYear) {
    return {kEraShowa, year - kLastTaishoYear};
  }
  if (year > kLastMeijiYear) {
    return {kEraTaisho, year - kLastMeijiYear};
  }
  // Widened so that the oldest representable years give a defined (wrapped) value instead of overflowing.
  return {kEraMeiji, static_cast<int>(std::int64_t{year} - kYearBeforeMeiji)};
}

int weekdayOf(int year, int month, int day) {
  const YearAndMonth date = normalisedMonth(year, month);
  const YearStart start = yearStartOf(date.year);
  const std::int64_t daysBefore = daysBeforeMonth[start.isLeap][static_cast<std::size_t>(date.month)];
  // Taken into 0..6 so that day 0 of a year starting on a Sunday (a sum of -1) gives Saturday.
  return static_cast<int>(floorModulo(start.jan1Weekday + daysBefore + std::int64_t{day} - 1, kWeekdayCount));
}

}  // namespace kestrava::naming
