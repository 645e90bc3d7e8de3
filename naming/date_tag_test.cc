#include "naming/date_tag.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrava::naming {
namespace {

struct TagCase {
  int pattern;
  int style;
  int weekday;
  DateParts date;
  std::string expected;
};

void expectTags(const std::vector<TagCase>& cases) {
  for (const TagCase& c : cases) {
    EXPECT_EQ(formatDateTag(c.pattern, c.style, c.weekday, c.date), c.expected)
        << "pattern " << c.pattern << " style " << c.style << " weekday " << c.weekday << " date "
        << c.date.year << "-" << c.date.month << "-" << c.date.day;
  }
}

// A Saturday in Heisei 17.
constexpr DateParts kAugust27{2005, 8, 27, 16, 42, 8};

TEST(DateTagFormat, EveryPatternStyleAndWeekdaySettingOfOneDate) {
  const char* const table[6][6] = {
      {"7_164208", "7_SAT_164208", "7_164208", "7_DO_164208", "7_16時42分08秒", "7(土)_16時42分08秒"},
      {"050827_164208", "050827_SAT_164208", "H170827_164208", "H170827_DO_164208",
       "平成17年08月27日16時42分08秒", "平成17年08月27日(土)16時42分08秒"},
      {"_050827_164208", "_050827_SAT_164208", "_H170827_164208", "_H170827_DO_164208",
       "_平成17年08月27日16時42分08秒", "_平成17年08月27日(土)16時42分08秒"},
      {"050827_", "050827_SAT_", "H170827_", "H170827_DO_", "平成17年08月27日_", "平成17年08月27日(土)_"},
      {"050827-1642_", "050827-SAT-1642_", "H170827-1642_", "H170827-DO-1642_", "平成17年08月27日16時42分_",
       "平成17年08月27日(土)16時42分_"},
      {"20050827_164208", "20050827_SAT_164208", "H170827_164208", "H170827_DO_164208",
       "平成17年08月27日16時42分08秒", "平成17年08月27日(土)16時42分08秒"},
  };
  std::vector<TagCase> cases;
  for (int pattern = 1; pattern <= 6; ++pattern) {
    for (int column = 0; column < 6; ++column) {
      cases.push_back({pattern, column / 2, column % 2, kAugust27, table[pattern - 1][column]});
    }
  }
  expectTags(cases);
}

TEST(DateTagFormat, OtherWorkedDates) {
  expectTags({
      {2, 1, 1, {1985, 11, 3, 10, 20, 30}, "S601103_NICHI_102030"},
      {4, 2, 1, {1905, 6, 15, 8, 0, 7}, "明治38年06月15日(木)_"},
      {2, 0, 0, {2005, 8, 27, 16, 42, 59}, "050827_164259"},  // an odd second is written as it is
  });
}

TEST(DateTagFormat, EraBoundaryYearsInBothEraStyles) {
  expectTags({
      {2, 1, 0, {1911, 1, 2, 3, 4, 5}, "M440102_030405"},
      {2, 1, 0, {1912, 1, 2, 3, 4, 5}, "T010102_030405"},
      {2, 1, 0, {1925, 1, 2, 3, 4, 5}, "T140102_030405"},
      {2, 1, 0, {1926, 1, 2, 3, 4, 5}, "S010102_030405"},
      {2, 1, 0, {1988, 1, 2, 3, 4, 5}, "S630102_030405"},
      {2, 1, 0, {1989, 1, 2, 3, 4, 5}, "H010102_030405"},
      {2, 1, 0, {2018, 1, 2, 3, 4, 5}, "H300102_030405"},
      {2, 1, 0, {2019, 1, 2, 3, 4, 5}, "R010102_030405"},
      {2, 2, 0, {1911, 1, 2, 3, 4, 5}, "明治44年01月02日03時04分05秒"},
      {2, 2, 0, {1912, 1, 2, 3, 4, 5}, "大正01年01月02日03時04分05秒"},
      {2, 2, 0, {1925, 1, 2, 3, 4, 5}, "大正14年01月02日03時04分05秒"},
      {2, 2, 0, {1926, 1, 2, 3, 4, 5}, "昭和01年01月02日03時04分05秒"},
      {2, 2, 0, {1988, 1, 2, 3, 4, 5}, "昭和63年01月02日03時04分05秒"},
      {2, 2, 0, {1989, 1, 2, 3, 4, 5}, "平成01年01月02日03時04分05秒"},
      {2, 2, 0, {2018, 1, 2, 3, 4, 5}, "平成30年01月02日03時04分05秒"},
      {2, 2, 0, {2019, 1, 2, 3, 4, 5}, "令和01年01月02日03時04分05秒"},
      {6, 1, 1, {2019, 1, 2, 3, 4, 5}, "R010102_SUI_030405"},
  });
}

TEST(DateTagFormat, LateReiwaYearsKeepTwoDigitsExceptInPatternSix) {
  expectTags({
      {2, 1, 0, {2099, 1, 2, 3, 4, 5}, "R810102_030405"},
      {6, 1, 0, {2099, 1, 2, 3, 4, 5}, "R810102_030405"},
      {6, 2, 0, {2099, 1, 2, 3, 4, 5}, "令和81年01月02日03時04分05秒"},
      {6, 0, 0, {2099, 1, 2, 3, 4, 5}, "20990102_030405"},
      {2, 1, 0, {2118, 1, 2, 3, 4, 5}, "R000102_030405"},
      {5, 1, 0, {2118, 1, 2, 3, 4, 5}, "R000102-0304_"},
      {6, 1, 0, {2118, 1, 2, 3, 4, 5}, "R1000102_030405"},
      {2, 2, 0, {2118, 1, 2, 3, 4, 5}, "令和00年01月02日03時04分05秒"},
      {6, 2, 1, {2118, 1, 2, 3, 4, 5}, "令和100年01月02日(日)03時04分05秒"},
  });
}

TEST(DateTagFormat, PatternFiveHasASecondDashOnlyAfterASeparatedWeekday) {
  const DateParts sunday{1985, 11, 3, 10, 20, 30};
  expectTags({
      {5, 0, 0, sunday, "851103-1020_"},
      {5, 0, 1, sunday, "851103-SUN-1020_"},
      {5, 1, 0, sunday, "S601103-1020_"},
      {5, 1, 1, sunday, "S601103-NICHI-1020_"},
      {5, 2, 0, sunday, "昭和60年11月03日10時20分_"},
      {5, 2, 1, sunday, "昭和60年11月03日(日)10時20分_"},
  });
}

TEST(DateTagFormat, PatternOneWritesOnlyTheLastDigitOfTheDay) {
  const std::vector<int> days = {7, 17, 27};
  for (int day : days) {
    EXPECT_EQ(formatDateTag(1, 0, 0, {2005, 8, day, 16, 42, 8}), "7_164208") << day;
  }
  expectTags({
      {1, 0, 0, {2005, 8, 10, 1, 2, 3}, "0_010203"},
      {1, 0, 1, {2005, 8, 31, 1, 2, 3}, "1_WED_010203"},
      {1, 1, 1, {2005, 8, 31, 1, 2, 3}, "1_SUI_010203"},
  });
}

TEST(DateTagFormat, MonthAndDayZeroAreWrittenAsZeros) {
  expectTags({
      {2, 0, 1, {2006, 0, 0, 12, 0, 0}, "060000_SAT_120000"},  // the day before 1 January 2006
      {6, 0, 1, {2006, 1, 0, 12, 0, 0}, "20060100_SAT_120000"},
      {4, 2, 1, {2007, 1, 0, 0, 0, 0}, "平成19年01月00日(日)_"},
      {3, 1, 1, {2006, 0, 5, 0, 0, 0}, "_H180005_MOKU_000000"},
  });
}

TEST(DateTagFormat, ArgumentsOutsideTheirRangesGiveAnEmptyTag) {
  const struct {
    int pattern;
    int style;
    int weekday;
  } cases[] = {{0, 0, 0}, {7, 0, 0}, {-1, 1, 0}, {2, -1, 0}, {2, 3, 0}, {2, 0, 2}, {2, 0, -1}};
  for (const auto& c : cases) {
    EXPECT_EQ(formatDateTag(c.pattern, c.style, c.weekday, kAugust27), "")
        << c.pattern << " " << c.style << " " << c.weekday;
  }
}

TEST(DateTagParts, DependOnStyleAndWeekdaySetting) {
  EXPECT_EQ(yearValue(0, 2005), 2005);
  EXPECT_EQ(yearValue(1, 2005), 17);
  EXPECT_EQ(yearValue(2, 1926), 1);
  EXPECT_EQ(eraPrefix(0, 2005), "");
  EXPECT_EQ(eraPrefix(1, 2030), "R");
  EXPECT_EQ(eraPrefix(2, 1950), "昭和");
  EXPECT_EQ(eraPrefix(3, 2005), "");
  EXPECT_EQ(weekdaySeparator(0, 1), "_");
  EXPECT_EQ(weekdaySeparator(1, 1), "_");
  EXPECT_EQ(weekdaySeparator(2, 1), "");
  EXPECT_EQ(weekdaySeparator(0, 0), "");
  EXPECT_EQ(weekdayName(0, 1, kAugust27), "SAT");
  EXPECT_EQ(weekdayName(1, 1, kAugust27), "DO");
  EXPECT_EQ(weekdayName(2, 1, kAugust27), "(土)");
  EXPECT_EQ(weekdayName(2, 0, kAugust27), "");
  EXPECT_EQ(weekdayName(-1, 1, kAugust27), "");
}

}  // namespace
}  // namespace kestrava::naming
