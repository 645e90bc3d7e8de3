#include "engine/date_scanner.h"

namespace kestrava::engine {
namespace {

bool isSeparatorAt(const char* text, std::size_t offset, char expected) {
  return text[offset] == expected;
}

}  // namespace

int digitsValue(const char* field, std::size_t length) {
  int value = 0;
  for (std::size_t i = 0; i < length; ++i) {
    const char byte = field[i];
    if (byte >= '0' && byte <= '9') {
      value = value * 10 + (byte - '0');
    }
  }
  return value;
}

EmbeddedDate readEmbeddedDate(const char* text) {
  EmbeddedDate date;
  date.year = digitsValue(text, 4);
  date.month = digitsValue(text + 5, 2);
  date.day = digitsValue(text + 8, 2);
  date.hour = digitsValue(text + 11, 2);
  date.minute = digitsValue(text + 14, 2);
  date.second = digitsValue(text + 17, 2);
  return date;
}

// The rows are tested top to bottom and the first failure rejects; most candidates fail on the year.
bool isEmbeddedDate(const char* text) {
  const int year = digitsValue(text, 4);
  return year > 1900 && year < 2100 && isSeparatorAt(text, 4, ':') && digitsValue(text + 5, 2) < 13 &&
         isSeparatorAt(text, 7, ':') && digitsValue(text + 8, 2) < 32 && isSeparatorAt(text, 10, ' ') &&
         digitsValue(text + 11, 2) < 24 && isSeparatorAt(text, 13, ':') && digitsValue(text + 14, 2) < 60 &&
         isSeparatorAt(text, 16, ':') && digitsValue(text + 17, 2) < 60;
}

std::int64_t dateScore(const EmbeddedDate& date) {
  std::int64_t score = date.year - 1900;
  score = score * 12 + date.month;
  score = score * 31 + date.day;
  score = score * 24 + date.hour;
  score = score * 60 + date.minute;
  score = score * 60 + date.second;
  return score;
}

ScanResult scanForEarliestDate(const char* bytes, std::size_t n) {
  ScanResult result;
  std::int64_t bestScore = 0;
  std::size_t p = 0;
  while (p + kEmbeddedDateLength <= n) {
    if (!isEmbeddedDate(bytes + p)) {
      ++p;
      continue;
    }
    const EmbeddedDate date = readEmbeddedDate(bytes + p);
    const std::int64_t score = dateScore(date);
    if (result.matchCount == 0 || score < bestScore) {
      result.position = p;
      result.date = date;
      bestScore = score;
    }
    ++result.matchCount;
    p += kEmbeddedDateLength;
  }
  return result;
}

}  // namespace kestrava::engine
