#pragma once

// Helpers shared by the engine's tests.

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/local_time.h"

namespace kestrava::engine::testing {

// Runs a test in a named time zone and puts the previous one back afterwards.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) {
      previous_ = old;
    }
    setenv("TZ", zone, 1);
    platform::loadLocalTimeZone();
  }
  ~ScopedTimeZone() {
    if (previous_) {
      setenv("TZ", previous_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    platform::loadLocalTimeZone();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> previous_;
};

// The moment of a local calendar time in the current zone.
inline platform::FileTime localTime(int year, int month, int day, int hour, int minute, int second) {
  std::int64_t seconds = 0;
  if (!platform::fromLocalCalendar({year, month, day, hour, minute, second}, &seconds)) {
    throw std::invalid_argument("no such local time");
  }
  return platform::FileTime{seconds, 0};
}

// A JPEG start whose first segment is an Exif APP1 segment holding `dateText`, then a quantisation-table
// marker and `bodySize` bytes of picture data (which contain FF bytes).
inline std::string exifJpeg(const std::string& dateText, std::size_t bodySize = 200) {
  std::string app1Data = std::string("Exif\0\0", 6) + "MM*" + std::string(5, '\0') + dateText + '\0';
  const std::size_t length = app1Data.size() + 2;
  std::string bytes = "\xFF\xD8\xFF\xE1";
  bytes += static_cast<char>(length >> 8);
  bytes += static_cast<char>(length & 0xFF);
  bytes += app1Data;
  bytes += "\xFF\xDB";
  for (std::size_t i = 0; i < bodySize; ++i) {
    bytes += static_cast<char>((i * 37 + 11) & 0xFF);
  }
  return bytes;
}

// The same picture without its Exif segment: what the rewrite leaves when asked to remove it.
inline std::string withoutExifSegment(const std::string& jpeg) {
  const std::size_t length = static_cast<unsigned char>(jpeg[4]) * 256 + static_cast<unsigned char>(jpeg[5]);
  return jpeg.substr(0, 2) + jpeg.substr(4 + length);
}

}  // namespace kestrava::engine::testing
