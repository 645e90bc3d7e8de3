#include "engine/dos_date_time.h"

#include <gtest/gtest.h>

#include "engine/test_support.h"

namespace kestrava::engine {
namespace {

using testing::localTime;
using testing::ScopedTimeZone;

TEST(DosDateTime, PacksEveryFieldIntoItsBits) {
  const DosDateTime dos = packDosDateTime(2007 - 1980, 12, 16, 10, 20, 31 / 2);
  EXPECT_EQ(dos.packed(), (27u << 25) | (12u << 21) | (16u << 16) | (10u << 11) | (20u << 5) | 15u);
  EXPECT_EQ(dos.year(), 2007);
  EXPECT_EQ(dos.month(), 12);
  EXPECT_EQ(dos.day(), 16);
  EXPECT_EQ(dos.hour(), 10);
  EXPECT_EQ(dos.minute(), 20);
  EXPECT_EQ(dos.second(), 30);  // an odd second is stamped one second earlier

  const DosDateTime last = packDosDateTime(2099 - 1980, 12, 31, 23, 59, 59 / 2);
  EXPECT_EQ(last.date >> 9, 119);
  EXPECT_EQ(last.second(), 58);
  // The year field keeps its low seven bits: 1979 would read as 2107.
  EXPECT_EQ(packDosDateTime(1979 - 1980, 1, 1, 0, 0, 0).year(), 2107);
}

class DosDateTimeInZone : public ::testing::TestWithParam<const char*> {};

TEST_P(DosDateTimeInZone, ConvertsLocalTimeBothWays) {
  ScopedTimeZone zone(GetParam());
  struct Case {
    int year, month, day, hour, minute, second;
  } cases[] = {
      {2005, 8, 27, 16, 42, 8}, {1980, 1, 1, 0, 0, 0}, {2099, 12, 31, 23, 59, 58}, {2007, 1, 15, 3, 4, 6}};
  for (const Case& c : cases) {
    const platform::FileTime moment = localTime(c.year, c.month, c.day, c.hour, c.minute, c.second);
    DosDateTime dos;
    ASSERT_TRUE(dosDateTimeFromFileTime(moment, &dos)) << c.year;
    EXPECT_EQ(dos, packDosDateTime(c.year - 1980, c.month, c.day, c.hour, c.minute, c.second / 2));
    platform::FileTime back;
    ASSERT_TRUE(fileTimeFromDosDateTime(dos, &back));
    EXPECT_EQ(back, moment);
  }
  // An odd second is dropped to even.
  DosDateTime odd;
  ASSERT_TRUE(dosDateTimeFromFileTime(localTime(2005, 8, 27, 16, 42, 9), &odd));
  EXPECT_EQ(odd.second(), 8);
}

TEST_P(DosDateTimeInZone, RefusesWhatNoDosDateTimeOrNoLocalTimeIs) {
  ScopedTimeZone zone(GetParam());
  DosDateTime dos;
  EXPECT_FALSE(dosDateTimeFromFileTime(localTime(1979, 12, 31, 23, 59, 58), &dos));
  EXPECT_FALSE(dosDateTimeFromFileTime(localTime(2108, 1, 1, 0, 0, 0), &dos));

  platform::FileTime time;
  EXPECT_FALSE(fileTimeFromDosDateTime(packDosDateTime(27, 0, 16, 10, 20, 0), &time));    // month 0
  EXPECT_FALSE(fileTimeFromDosDateTime(packDosDateTime(27, 12, 0, 10, 20, 0), &time));    // day 0
  EXPECT_FALSE(fileTimeFromDosDateTime(packDosDateTime(25, 4, 31, 10, 20, 0), &time));    // 31 April
  EXPECT_FALSE(fileTimeFromDosDateTime(packDosDateTime(25, 2, 29, 10, 20, 0), &time));    // 2005 is common
  EXPECT_TRUE(fileTimeFromDosDateTime(packDosDateTime(24, 2, 29, 10, 20, 0), &time));     // 2004 is leap
  EXPECT_FALSE(fileTimeFromDosDateTime(packDosDateTime(27, 12, 16, 10, 20, 30), &time));  // 60 seconds
}

INSTANTIATE_TEST_SUITE_P(Zones, DosDateTimeInZone, ::testing::Values("Asia/Tokyo", "Europe/Berlin"));

TEST(DosDateTime, RefusesATimeSkippedByDaylightSaving) {
  ScopedTimeZone zone("Europe/Berlin");
  platform::FileTime time;
  EXPECT_FALSE(fileTimeFromDosDateTime(packDosDateTime(2007 - 1980, 3, 25, 2, 30, 0), &time));
  EXPECT_TRUE(fileTimeFromDosDateTime(packDosDateTime(2007 - 1980, 3, 25, 3, 30, 0), &time));
}

}  // namespace
}  // namespace kestrava::engine
