#pragma once

#include <optional>
#include <string>

#include "engine/file_converter.h"
#include "engine/options.h"
#include "platform/env.h"
#include "platform/message_box.h"

namespace kestrava::engine {

// What the conversion of one file did, for a front end that lists it (a dry run's plan, a verbose run).
struct ConversionReport {
  std::string path;
  platform::FileTime ownTime;  // the last-write time the file had before
  ConversionResult result = ConversionResult::Skipped;
  std::optional<std::string> renamedTo;       // the new full path, when the file was renamed
  std::optional<platform::FileTime> timeSet;  // the last-write time set, when one was
  bool backupMade = false;
  bool exifRemoved = false;
};

// How the conversion tells its front end what it can't see itself.
class ConversionObserver {
 public:
  virtual ~ConversionObserver() = default;
  // The renaming step has handled the file (renamed it, or found its name already right): the path the
  // user chose is no longer valid, and the window forgets it.
  virtual void chosenFileSettled() {}
  // Called once for every file, after its conversion, whatever its result.
  virtual void fileConverted(const ConversionReport& report) { (void)report; }
};

// The conversion of one file: read it, keep a backup and rewrite it, find the earliest date inside it,
// stamp its last-write time and rename it after that date, as the options say. It keeps nothing from one
// file to the next; every file and buffer it obtains is released before file_syori returns.
class Converter : public FileConverter {
 public:
  Converter(platform::Env& env, const OptionsSource& options, platform::MessageBox& messages,
            ConversionObserver* observer = nullptr);

  ConversionResult file_syori(const std::string& path) override;

 private:
  platform::Env& env_;
  const OptionsSource& options_;
  platform::MessageBox& messages_;
  ConversionObserver* observer_;
};

// The options as a fixed value (the command line, tests).
class FixedOptions : public OptionsSource {
 public:
  explicit FixedOptions(const ProcessingOptions& options = {}) : options_(options) {}
  ProcessingOptions current() const override { return options_; }
  ProcessingOptions& value() { return options_; }

 private:
  ProcessingOptions options_;
};

}  // namespace kestrava::engine
