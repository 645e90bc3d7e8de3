#pragma once

#include <string_view>

namespace kestrava::engine {

// The nine choices that decide what a conversion does, in the order of their characters in the settings
// file. Radio-group options hold the index of the selected item; check-box options a flag.
struct ProcessingOptions {
  int timestampMode = 0;   // 0 set the last-write time from the date found; 1 keep the file's own time
  int renamePattern = 2;   // 0 no renaming; 1..6 the name patterns
  bool stripExif = false;  // leave the Exif segment out when the file is rewritten
  bool keepBackup = true;  // keep the original as ".bak" and rewrite the file from memory
  int dateSource = 1;     // 0 the date inside the file, else its own time; 1 only the date inside; 2 own time
  int scope = 0;          // 0 the chosen file; 1 every matching file of its directory
  int typeFilter = 0;     // 0 *.jpg/jpe/avi; 1 *.jpg/jpe; 2 *.avi; 3 *.*
  int calendarStyle = 0;  // 0 Western years; 1 era letter; 2 era name in kanji
  int showWeekday = 0;    // 0 no weekday in new names; 1 weekday

  friend bool operator==(const ProcessingOptions&, const ProcessingOptions&) = default;
};

// Reads nine option characters by the settings file's reading rules: an unrecognised or missing
// character gives the first item of its group, except for keepBackup, which only "0" clears.
ProcessingOptions optionsFromSettingsCharacters(std::string_view characters);

// The nine characters that the settings file stores for these options.
std::string_view::size_type constexpr kOptionCharacterCount = 9;
void optionsToSettingsCharacters(const ProcessingOptions& options, char (&out)[kOptionCharacterCount]);

// Where the conversion reads the options: the window's controls, or the command line's flags. The
// conversion takes one snapshot at the start of each file.
class OptionsSource {
 public:
  virtual ~OptionsSource() = default;
  virtual ProcessingOptions current() const = 0;
};

}  // namespace kestrava::engine
