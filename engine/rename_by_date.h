#pragma once

#include <optional>
#include <string>

#include "engine/date_scanner.h"
#include "engine/options.h"
#include "engine/time_stamping.h"
#include "naming/date_tag.h"
#include "platform/env.h"
#include "platform/message_box.h"

namespace kestrava::engine {

// The date a file is named after: the date found inside it, unless the options take the file's own time
// or no date was found. The own time gives an even second; one outside 1980..2107 is read from the
// local calendar, its second rounded down to even as well.
naming::DateParts namingDateParts(const ProcessingOptions& options, const ScanResult& scan,
                                  const OwnTime& own);

struct RenameRequest {
  std::string workPath;
  std::string fileExtension;
  int renamePattern = 2;
  int calendarStyle = 0;
  int showWeekday = 0;
  naming::DateParts date;
};

struct RenameOutcome {
  bool failed = false;                   // a message was shown; the file keeps its name
  std::optional<std::string> renamedTo;  // set when the file was renamed
};

// Renames the file in its own directory after its date, keeping its extension. A taken name gets a letter
// 'a'..'z' before the extension; the file's own name counts as taken, and no file is ever replaced. A file
// that already bears its date name stays as it is. A target that does not fit the host's longest path
// fails before anything reaches the file system.
RenameOutcome renameByDate(platform::Env& env, platform::MessageBox& messages, const RenameRequest& request);

}  // namespace kestrava::engine
