#include "platform/local_time.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace kestrava::platform {
namespace {

// Seconds since the epoch of a calendar time read as UTC, computed without the local zone.
std::int64_t utcSeconds(const CalendarTime& t) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  return static_cast<std::int64_t>(::timegm(&tm));
}

constexpr std::int64_t kHour = 3600;

// Runs each test in one time zone and gives the process back its own zone afterwards.
class LocalTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* zone : {"Asia/Tokyo", "Europe/Berlin"}) {
      if (::access((std::string("/usr/share/zoneinfo/") + zone).c_str(), R_OK) != 0) {
        GTEST_SKIP() << "the time zone data for " << zone << " is not installed";
      }
    }
  }

  void TearDown() override {
    if (saved_) {
      ::setenv("TZ", saved_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

  void useZone(const std::string& zone) {
    ::setenv("TZ", zone.c_str(), 1);
    loadLocalTimeZone();
  }

  void expectRoundTrip(const CalendarTime& local, std::int64_t utcOffset) {
    SCOPED_TRACE(::testing::Message() << local.year << "-" << local.month << "-" << local.day << " "
                                      << local.hour << ":" << local.minute << ":" << local.second);
    std::int64_t seconds = 0;
    ASSERT_TRUE(fromLocalCalendar(local, &seconds));
    EXPECT_EQ(seconds, utcSeconds(local) - utcOffset);
    CalendarTime back;
    ASSERT_TRUE(toLocalCalendar(seconds, &back));
    EXPECT_EQ(back, local);
  }

 private:
  const char* savedRaw_ = std::getenv("TZ");
  std::optional<std::string> saved_ = savedRaw_ ? std::optional<std::string>(savedRaw_) : std::nullopt;
};

TEST_F(LocalTimeTest, TokyoRoundTrips) {
  useZone("Asia/Tokyo");
  for (const CalendarTime& t : std::vector<CalendarTime>{{2005, 8, 27, 16, 42, 8},
                                                         {1980, 1, 1, 0, 0, 0},
                                                         {2000, 2, 29, 12, 0, 0},
                                                         {2007, 3, 25, 2, 30, 0},
                                                         {2099, 12, 31, 23, 59, 58},
                                                         {2107, 12, 31, 23, 59, 58}}) {
    expectRoundTrip(t, 9 * kHour);
  }
  CalendarTime epoch;
  ASSERT_TRUE(toLocalCalendar(0, &epoch));
  EXPECT_EQ(epoch, (CalendarTime{1970, 1, 1, 9, 0, 0}));
}

TEST_F(LocalTimeTest, BerlinRoundTripsInWinterAndSummer) {
  useZone("Europe/Berlin");
  expectRoundTrip({2007, 1, 15, 10, 20, 30}, 1 * kHour);
  expectRoundTrip({2007, 7, 15, 10, 20, 30}, 2 * kHour);
  expectRoundTrip({2007, 3, 25, 1, 59, 59}, 1 * kHour);
  expectRoundTrip({2007, 3, 25, 3, 0, 0}, 2 * kHour);
  expectRoundTrip({2007, 10, 28, 3, 0, 0}, 1 * kHour);
}

struct InvalidTime {
  const char* what;
  CalendarTime time;
};

TEST_F(LocalTimeTest, RefusesTimesThatAreNoCalendarTime) {
  const std::vector<InvalidTime> cases = {
      {"month 0", {2007, 0, 16, 10, 20, 30}},
      {"month 13", {2007, 13, 16, 10, 20, 30}},
      {"day 0", {2007, 12, 0, 10, 20, 30}},
      {"31 April", {2007, 4, 31, 10, 20, 30}},
      {"32 January", {2007, 1, 32, 10, 20, 30}},
      {"29 February of a common year", {2007, 2, 29, 10, 20, 30}},
      {"29 February of a century not divisible by 400", {1900, 2, 29, 10, 20, 30}},
      {"30 February of a leap year", {2008, 2, 30, 10, 20, 30}},
      {"24:00", {2007, 12, 16, 24, 0, 0}},
      {"hour -1", {2007, 12, 16, -1, 0, 0}},
      {"minute 60", {2007, 12, 16, 10, 60, 0}},
      {"second 60", {2007, 12, 16, 10, 20, 60}},
      {"second -1", {2007, 12, 16, 10, 20, -1}},
  };
  for (const char* zone : {"Asia/Tokyo", "Europe/Berlin"}) {
    useZone(zone);
    for (const InvalidTime& c : cases) {
      SCOPED_TRACE(std::string(zone) + ": " + c.what);
      std::int64_t seconds = 0;
      EXPECT_FALSE(fromLocalCalendar(c.time, &seconds));
    }
  }
}

TEST_F(LocalTimeTest, AcceptsTheLastDayOfEachMonth) {
  useZone("Asia/Tokyo");
  const int lastDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int month = 1; month <= 12; ++month) {
    expectRoundTrip({2007, month, lastDays[month - 1], 23, 59, 59}, 9 * kHour);
  }
  expectRoundTrip({2008, 2, 29, 0, 0, 0}, 9 * kHour);
  expectRoundTrip({2000, 2, 29, 0, 0, 0}, 9 * kHour);
}

TEST_F(LocalTimeTest, RefusesAWallClockTimeSkippedBySpringForward) {
  useZone("Europe/Berlin");
  std::int64_t seconds = 0;
  EXPECT_FALSE(fromLocalCalendar({2007, 3, 25, 2, 30, 0}, &seconds));
  EXPECT_FALSE(fromLocalCalendar({2007, 3, 25, 2, 0, 0}, &seconds));
  EXPECT_FALSE(fromLocalCalendar({2007, 3, 25, 2, 59, 59}, &seconds));
  // The same wall-clock time exists where the clocks were not moved that night.
  useZone("Asia/Tokyo");
  EXPECT_TRUE(fromLocalCalendar({2007, 3, 25, 2, 30, 0}, &seconds));
}

TEST_F(LocalTimeTest, AcceptsAnAmbiguousAutumnTimeAsOneOfItsTwoMoments) {
  useZone("Europe/Berlin");
  const CalendarTime ambiguous{2007, 10, 28, 2, 30, 0};
  std::int64_t seconds = 0;
  ASSERT_TRUE(fromLocalCalendar(ambiguous, &seconds));
  const std::int64_t summer = utcSeconds(ambiguous) - 2 * kHour;
  const std::int64_t winter = utcSeconds(ambiguous) - 1 * kHour;
  EXPECT_TRUE(seconds == summer || seconds == winter) << seconds;
  CalendarTime back;
  ASSERT_TRUE(toLocalCalendar(seconds, &back));
  EXPECT_EQ(back, ambiguous);
}

TEST_F(LocalTimeTest, AcceptsTheSecondBeforeTheEpochThatMktimeAlsoUsesForFailure) {
  useZone("Asia/Tokyo");
  std::int64_t seconds = 0;
  ASSERT_TRUE(fromLocalCalendar({1970, 1, 1, 8, 59, 59}, &seconds));
  EXPECT_EQ(seconds, -1);
}

TEST_F(LocalTimeTest, LoadingWithoutTZPinsTheZoneFile) {
  ::unsetenv("TZ");
  loadLocalTimeZone();
  const char* tz = std::getenv("TZ");
  ASSERT_NE(tz, nullptr);
  EXPECT_STREQ(tz, ":/etc/localtime");
}

}  // namespace
}  // namespace kestrava::platform
