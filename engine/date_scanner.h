#pragma once

#include <cstddef>
#include <cstdint>

// Finds the earliest Exif-style date text "YYYY:MM:DD HH:MM:SS" among the first bytes of a file.
//
// Layout of an accepted text (19 bytes):
//   offset  0  4 bytes  year     digitsValue 1901..2099
//   offset  4  1 byte   ':'
//   offset  5  2 bytes  month    digitsValue 0..12   (00 is accepted)
//   offset  7  1 byte   ':'
//   offset  8  2 bytes  day      digitsValue 0..31   (00 is accepted)
//   offset 10  1 byte   ' '
//   offset 11  2 bytes  hour     digitsValue 0..23
//   offset 13  1 byte   ':'
//   offset 14  2 bytes  minute   digitsValue 0..59
//   offset 16  1 byte   ':'
//   offset 17  2 bytes  second   digitsValue 0..59
// The field bytes need not all be digits: digitsValue skips the others. The month is not checked against
// the day.
namespace kestrava::engine {

inline constexpr std::size_t kEmbeddedDateLength = 19;

// The decimal number formed by the digit bytes '0'..'9' among `length` bytes, in order; every other byte
// is skipped. "2007" gives 2007, "1x" gives 1, "2 07" gives 207, two blanks give 0.
int digitsValue(const char* field, std::size_t length);

// One accepted date text, read field by field.
struct EmbeddedDate {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Reads the fields of the 19 bytes at `text` (which must be readable).
EmbeddedDate readEmbeddedDate(const char* text);

// True when the 19 bytes at `text` form an acceptable date text.
bool isEmbeddedDate(const char* text);

// An ordering number: a year counts as 12 months of 31 days. Needs 33 bits.
std::int64_t dateScore(const EmbeddedDate& date);

struct ScanResult {
  int matchCount = 0;        // every text accepted, also those not chosen
  std::size_t position = 0;  // offset of the chosen text; meaningful when matchCount > 0
  EmbeddedDate date;         // the chosen text's fields
};

// Scans the first n bytes. A candidate is tested only where all 19 of its bytes lie among the n; after an
// accepted text the scan goes on right after it, so no candidate begins inside an accepted text. The
// lowest score wins; an equal score keeps the text found first.
ScanResult scanForEarliestDate(const char* bytes, std::size_t n);

}  // namespace kestrava::engine
