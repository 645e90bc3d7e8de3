#include "engine/options.h"

namespace kestrava::engine {
namespace {

// "1".."highest" give 1..highest; any other character gives 0.
int radioIndex(char character, int highest) {
  const int value = character - '0';
  return (value >= 1 && value <= highest) ? value : 0;
}

char digit(int value, int highest) {
  return static_cast<char>('0' + ((value >= 0 && value <= highest) ? value : 0));
}

}  // namespace

ProcessingOptions optionsFromSettingsCharacters(std::string_view characters) {
  char c[kOptionCharacterCount] = {};
  for (std::size_t i = 0; i < kOptionCharacterCount && i < characters.size(); ++i) {
    c[i] = characters[i];
  }
  ProcessingOptions options;
  options.timestampMode = radioIndex(c[0], 1);
  options.renamePattern = radioIndex(c[1], 6);
  options.stripExif = c[2] == '1';
  options.keepBackup = c[3] != '0';
  options.dateSource = radioIndex(c[4], 2);
  options.scope = radioIndex(c[5], 1);
  options.typeFilter = radioIndex(c[6], 3);
  options.calendarStyle = radioIndex(c[7], 2);
  options.showWeekday = radioIndex(c[8], 1);
  return options;
}

void optionsToSettingsCharacters(const ProcessingOptions& options, char (&out)[kOptionCharacterCount]) {
  out[0] = digit(options.timestampMode, 1);
  out[1] = digit(options.renamePattern, 6);
  out[2] = options.stripExif ? '1' : '0';
  out[3] = options.keepBackup ? '1' : '0';
  out[4] = digit(options.dateSource, 2);
  out[5] = digit(options.scope, 1);
  out[6] = digit(options.typeFilter, 3);
  out[7] = digit(options.calendarStyle, 2);
  out[8] = digit(options.showWeekday, 1);
}

}  // namespace kestrava::engine
