#include "engine/options.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrava::engine {
namespace {

TEST(OptionsCharacters, ReadsByTheSettingsRules) {
  struct Case {
    std::string characters;
    ProcessingOptions expected;
  } cases[] = {
      {"020110000", ProcessingOptions{}},
      {"162121321", ProcessingOptions{1, 6, false, true, 2, 1, 3, 2, 1}},
      {"110012211", ProcessingOptions{1, 1, false, false, 1, 0, 2, 1, 1}},
      // Unrecognised characters give the first item; only "0" clears keepBackup.
      {"979x39999", ProcessingOptions{0, 0, false, true, 0, 0, 0, 0, 0}},
      {"", ProcessingOptions{0, 0, false, true, 0, 0, 0, 0, 0}},
      {"012", ProcessingOptions{0, 1, false, true, 0, 0, 0, 0, 0}},
      {"0701", ProcessingOptions{0, 0, false, true, 0, 0, 0, 0, 0}},
      {"00003", ProcessingOptions{0, 0, false, false, 0, 0, 0, 0, 0}},
  };
  // "110012211": scope "2" is unrecognised and gives 0; typeFilter "2" gives 2.
  for (const Case& c : cases) {
    EXPECT_EQ(optionsFromSettingsCharacters(c.characters), c.expected) << c.characters;
  }
}

TEST(OptionsCharacters, WritingAndReadingBackKeepsEveryField) {
  const ProcessingOptions samples[] = {
      ProcessingOptions{},
      ProcessingOptions{1, 6, true, false, 2, 1, 3, 2, 1},
      ProcessingOptions{0, 3, true, true, 0, 0, 1, 1, 0},
  };
  for (const ProcessingOptions& options : samples) {
    char characters[kOptionCharacterCount];
    optionsToSettingsCharacters(options, characters);
    EXPECT_EQ(optionsFromSettingsCharacters(std::string_view(characters, kOptionCharacterCount)), options);
  }
  char defaults[kOptionCharacterCount];
  optionsToSettingsCharacters(ProcessingOptions{}, defaults);
  EXPECT_EQ(std::string(defaults, kOptionCharacterCount), "020110000");
}

}  // namespace
}  // namespace kestrava::engine
