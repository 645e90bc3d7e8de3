#pragma once

#include <string>
#include <string_view>

// The date tag that a file's new name is made of, formatted from the date parts by one of six rename
// patterns, in one of three calendar styles, with or without the weekday.
namespace kestrava::naming {

struct DateParts {
  int year = 0;  // the Western year, whatever the calendar style
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The Western year for the Western style, otherwise the year within its era.
int yearValue(int calendarStyle, int year);

// The era's letter or kanji name; empty for the Western style or an unknown style.
std::string_view eraPrefix(int calendarStyle, int year);

// "_" between the date and a shown weekday; the kanji formats have no slot for it.
std::string_view weekdaySeparator(int calendarStyle, int showWeekday);

// The weekday's name in the style's language; empty unless showWeekday is 1.
std::string_view weekdayName(int calendarStyle, int showWeekday, const DateParts& date);

// renamePattern 1..6, calendarStyle 0..2, showWeekday 0 or 1; any other value gives an empty tag.
std::string formatDateTag(int renamePattern, int calendarStyle, int showWeekday, const DateParts& date);

}  // namespace kestrava::naming
