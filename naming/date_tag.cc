#include "naming/date_tag.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "naming/calendar.h"

namespace kestrava::naming {
namespace {

bool isKnownStyle(int calendarStyle) {
  return calendarStyle >= 0 && calendarStyle < kCalendarStyleCount;
}

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
formatted(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::va_list measuring;
  va_copy(measuring, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  std::string text;
  if (length > 0) {
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, arguments);
    text.assign(buffer.data(), static_cast<std::size_t>(length));
  }
  va_end(arguments);
  return text;
}

// The pieces every format draws on, worked out once per tag.
struct TagPieces {
  int dayDigit;
  int yearTwoDigits;
  int yearFourDigits;
  std::string era;
  std::string separator;
  std::string weekday;
  // Pattern 5 puts a second dash after the weekday only when the weekday is set off by separators.
  std::string secondDash;
};

TagPieces piecesOf(int calendarStyle, int showWeekday, const DateParts& date) {
  const int year = yearValue(calendarStyle, date.year);
  const std::string_view separator = weekdaySeparator(calendarStyle, showWeekday);
  return TagPieces{date.day % 10,
                   year % 100,
                   year % 10000,
                   std::string(eraPrefix(calendarStyle, date.year)),
                   std::string(separator),
                   std::string(weekdayName(calendarStyle, showWeekday, date)),
                   separator.starts_with('_') ? "-" : ""};
}

std::string dayDigitTag(bool kanji, const TagPieces& p, const DateParts& d) {
  if (kanji) {
    return formatted("%01d%s_%02d時%02d分%02d秒", p.dayDigit, p.weekday.c_str(), d.hour, d.minute, d.second);
  }
  return formatted("%01d%s%s_%02d%02d%02d", p.dayDigit, p.separator.c_str(), p.weekday.c_str(), d.hour,
                   d.minute, d.second);
}

std::string dateAndTimeTag(bool kanji, const TagPieces& p, const DateParts& d) {
  if (kanji) {
    return formatted("%s%02d年%02d月%02d日%s%02d時%02d分%02d秒", p.era.c_str(), p.yearTwoDigits, d.month,
                     d.day, p.weekday.c_str(), d.hour, d.minute, d.second);
  }
  return formatted("%s%02d%02d%02d%s%s_%02d%02d%02d", p.era.c_str(), p.yearTwoDigits, d.month, d.day,
                   p.separator.c_str(), p.weekday.c_str(), d.hour, d.minute, d.second);
}

std::string suffixTag(bool kanji, const TagPieces& p, const DateParts& d) {
  if (kanji) {
    return formatted("_%s%02d年%02d月%02d日%s%02d時%02d分%02d秒", p.era.c_str(), p.yearTwoDigits, d.month,
                     d.day, p.weekday.c_str(), d.hour, d.minute, d.second);
  }
  return formatted("_%s%02d%02d%02d%s%s_%02d%02d%02d", p.era.c_str(), p.yearTwoDigits, d.month, d.day,
                   p.separator.c_str(), p.weekday.c_str(), d.hour, d.minute, d.second);
}

std::string datePrefixTag(bool kanji, const TagPieces& p, const DateParts& d) {
  if (kanji) {
    return formatted("%s%02d年%02d月%02d日%s_", p.era.c_str(), p.yearTwoDigits, d.month, d.day,
                     p.weekday.c_str());
  }
  return formatted("%s%02d%02d%02d%s%s_", p.era.c_str(), p.yearTwoDigits, d.month, d.day, p.separator.c_str(),
                   p.weekday.c_str());
}

std::string dateAndMinutePrefixTag(bool kanji, const TagPieces& p, const DateParts& d) {
  if (kanji) {
    return formatted("%s%02d年%02d月%02d日%s%02d時%02d分_", p.era.c_str(), p.yearTwoDigits, d.month, d.day,
                     p.weekday.c_str(), d.hour, d.minute);
  }
  return formatted("%s%02d%02d%02d%s%s%s%02d%02d_", p.era.c_str(), p.yearTwoDigits, d.month, d.day, "-",
                   p.weekday.c_str(), p.secondDash.c_str(), d.hour, d.minute);
}

// Only the Western style writes four year digits; the era styles keep "%02d", so their era year is
// written in full, however many digits it has.
std::string fullYearTag(int calendarStyle, const TagPieces& p, const DateParts& d) {
  if (calendarStyle == kStyleKanji) {
    return formatted("%s%02d年%02d月%02d日%s%02d時%02d分%02d秒", p.era.c_str(), p.yearFourDigits, d.month,
                     d.day, p.weekday.c_str(), d.hour, d.minute, d.second);
  }
  if (calendarStyle == kStyleRomanised) {
    return formatted("%s%02d%02d%02d%s%s_%02d%02d%02d", p.era.c_str(), p.yearFourDigits, d.month, d.day,
                     p.separator.c_str(), p.weekday.c_str(), d.hour, d.minute, d.second);
  }
  return formatted("%04d%02d%02d%s%s_%02d%02d%02d", p.yearFourDigits, d.month, d.day, p.separator.c_str(),
                   p.weekday.c_str(), d.hour, d.minute, d.second);
}

}  // namespace

int yearValue(int calendarStyle, int year) {
  return calendarStyle == kStyleWestern ? year : eraOf(year).eraYear;
}

std::string_view eraPrefix(int calendarStyle, int year) {
  if (!isKnownStyle(calendarStyle)) {
    return {};
  }
  return eraNames[static_cast<std::size_t>(calendarStyle)][static_cast<std::size_t>(eraOf(year).eraIndex)];
}

std::string_view weekdaySeparator(int calendarStyle, int showWeekday) {
  const bool hasSlot = calendarStyle == kStyleWestern || calendarStyle == kStyleRomanised;
  return showWeekday == 1 && hasSlot ? "_" : "";
}

std::string_view weekdayName(int calendarStyle, int showWeekday, const DateParts& date) {
  if (showWeekday != 1 || !isKnownStyle(calendarStyle)) {
    return {};
  }
  const int weekday = weekdayOf(date.year, date.month, date.day);
  return weekdayNames[static_cast<std::size_t>(calendarStyle)][static_cast<std::size_t>(weekday)];
}

std::string formatDateTag(int renamePattern, int calendarStyle, int showWeekday, const DateParts& date) {
  if (!isKnownStyle(calendarStyle) || (showWeekday != 0 && showWeekday != 1)) {
    return {};
  }
  const TagPieces pieces = piecesOf(calendarStyle, showWeekday, date);
  const bool kanji = calendarStyle == kStyleKanji;
  switch (renamePattern) {
    case 1:
      return dayDigitTag(kanji, pieces, date);
    case 2:
      return dateAndTimeTag(kanji, pieces, date);
    case 3:
      return suffixTag(kanji, pieces, date);
    case 4:
      return datePrefixTag(kanji, pieces, date);
    case 5:
      return dateAndMinutePrefixTag(kanji, pieces, date);
    case 6:
      return fullYearTag(calendarStyle, pieces, date);
    default:
      return {};
  }
}

}  // namespace kestrava::naming
