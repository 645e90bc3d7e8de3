#include "engine/date_scanner.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrava::engine {
namespace {

ScanResult scan(const std::string& bytes) {
  return scanForEarliestDate(bytes.data(), bytes.size());
}

std::string chosenText(const std::string& bytes) {
  const ScanResult result = scan(bytes);
  return result.matchCount == 0 ? std::string() : bytes.substr(result.position, kEmbeddedDateLength);
}

TEST(DigitsValue, TakesOnlyTheDigitBytesInOrder) {
  struct Case {
    std::string field;
    int value;
  } cases[] = {{"2007", 2007},
               {"1x", 1},
               {"2 07", 207},
               {"  ", 0},
               {"09", 9},
               {"\xff"
                "9",
                9},
               {"::", 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(digitsValue(c.field.data(), c.field.size()), c.value) << c.field;
  }
}

TEST(DateScanner, AcceptsOnlyTextsInsideTheFieldRanges) {
  struct Case {
    std::string text;
    bool accepted;
  } cases[] = {
      {"2007:12:16 10:20:30", true},  {"1900:12:16 10:20:30", false}, {"2100:01:01 00:00:00", false},
      {"1901:01:01 00:00:00", true},  {"2099:12:31 23:59:59", true},  {"0000:00:00 00:00:00", false},
      {"    :  :     :  :  ", false}, {"2007:13:01 00:00:00", false}, {"2007:12:32 00:00:00", false},
      {"2007:12:16 24:00:00", false}, {"2007:12:16 10:60:00", false}, {"2007:12:16 10:20:60", false},
      {"2007:00:00 00:00:00", true},  {"2007-12-16 10:20:30", false}, {"2007:12:16T10:20:30", false},
      {"2007:12:16 10-20:30", false}, {"2007:12:16 10:20-30", false}, {"2007:1x:16 10:20:30", true},
  };
  for (const Case& c : cases) {
    const std::string bytes = "ab" + c.text + "cd";
    EXPECT_EQ(scan(bytes).matchCount, c.accepted ? 1 : 0) << c.text;
  }
  EXPECT_EQ(scan("2007:1x:16 10:20:30").date.month, 1);
}

TEST(DateScanner, ChoosesTheLowestScoreAndKeepsTheFirstOfEqualScores) {
  struct Case {
    std::string bytes;
    std::string chosen;
    int matchCount;
  } cases[] = {
      {"2007:12:16 10:20:30 2007:12:16 10:20:29", "2007:12:16 10:20:29", 2},
      {"2040:01:01 00:00:00..2007:05:05 05:05:05", "2007:05:05 05:05:05", 2},
      {"2007:05:05 05:05:05..2040:01:01 00:00:00", "2007:05:05 05:05:05", 2},
      // Month 00 scores like December of the year before: the first of the two stays.
      {"2008:00:05 00:00:00 2007:12:05 00:00:00", "2008:00:05 00:00:00", 2},
      {"2007:12:05 00:00:00 2008:00:05 00:00:00", "2007:12:05 00:00:00", 2},
      {"2001:01:01 01:01:01x2001:01:01 01:01:01x2001:01:01 01:01:01", "2001:01:01 01:01:01", 3},
  };
  for (const Case& c : cases) {
    const ScanResult result = scan(c.bytes);
    EXPECT_EQ(result.matchCount, c.matchCount) << c.bytes;
    EXPECT_EQ(chosenText(c.bytes), c.chosen) << c.bytes;
  }
  // Equal texts: the position shows that the first one was kept.
  EXPECT_EQ(scan("2001:01:01 01:01:01x2001:01:01 01:01:01").position, 0u);
}

TEST(DateScanner, GoesOnRightAfterAnAcceptedText) {
  // The second text begins inside the first one's seconds field and is never tested.
  const std::string bytes = "2007:12:16 10:20:1999:01:01 00:00:00";
  const ScanResult result = scan(bytes);
  EXPECT_EQ(result.matchCount, 1);
  EXPECT_EQ(result.date.year, 2007);
}

TEST(DateScanner, TestsOnlyCandidatesWhollyInsideTheScannedBytes) {
  const std::string date = "2007:12:16 10:20:30";
  std::string bytes(4096, '\0');
  bytes.replace(4096 - 19, 19, date);  // its last byte is the byte at index 4095
  EXPECT_EQ(scanForEarliestDate(bytes.data(), 4096).matchCount, 1);
  EXPECT_EQ(scanForEarliestDate(bytes.data(), 4095).matchCount, 0);

  // Scanning n bytes never reads past them: the text one byte later is cut off.
  std::string later(4097, '\0');
  later.replace(4097 - 19, 19, date);
  EXPECT_EQ(scanForEarliestDate(later.data(), 4096).matchCount, 0);

  EXPECT_EQ(scanForEarliestDate(date.data(), 18).matchCount, 0);
  EXPECT_EQ(scanForEarliestDate(date.data(), 19).matchCount, 1);
  EXPECT_EQ(scan(date + "x").matchCount, 1);
  EXPECT_EQ(scan("x" + date.substr(0, 18)).matchCount, 0);
}

TEST(DateScore, OrdersDatesAndNeedsMoreThan32Bits) {
  EXPECT_EQ(dateScore(EmbeddedDate{2099, 12, 31, 23, 59, 59}), 6430924799LL);
  EXPECT_EQ(dateScore(EmbeddedDate{1901, 0, 0, 0, 0, 0}), 32140800LL);
  EXPECT_LT(dateScore(EmbeddedDate{2007, 12, 16, 10, 20, 29}),
            dateScore(EmbeddedDate{2007, 12, 16, 10, 20, 30}));
  EXPECT_EQ(dateScore(EmbeddedDate{2008, 0, 5, 0, 0, 0}), dateScore(EmbeddedDate{2007, 12, 5, 0, 0, 0}));
}

}  // namespace
}  // namespace kestrava::engine
