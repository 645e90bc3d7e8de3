#include "engine/rename_by_date.h"

#include <cerrno>

#include "engine/messages.h"
#include "naming/target_name.h"

namespace kestrava::engine {
namespace {

naming::DateParts partsOfEmbeddedDate(const EmbeddedDate& date) {
  return naming::DateParts{date.year, date.month, date.day, date.hour, date.minute, date.second};
}

naming::DateParts partsOfOwnTime(const OwnTime& own) {
  if (own.fitsDos) {
    const DosDateTime& dos = own.dos;
    return naming::DateParts{dos.year(), dos.month(), dos.day(), dos.hour(), dos.minute(), dos.second()};
  }
  platform::CalendarTime local;
  if (!platform::toLocalCalendar(own.exact.seconds, &local)) {
    return naming::DateParts{1980, 1, 1, 0, 0, 0};
  }
  return naming::DateParts{local.year, local.month, local.day, local.hour, local.minute, local.second & ~1};
}

RenameOutcome failWith(platform::MessageBox& messages, int errorNumber) {
  messages.show(formatMessage(kRenameCollisionMessage, errorNumber));
  return RenameOutcome{true, std::nullopt};
}

}  // namespace

naming::DateParts namingDateParts(const ProcessingOptions& options, const ScanResult& scan,
                                  const OwnTime& own) {
  if (options.dateSource != 2 && scan.matchCount > 0) {
    return partsOfEmbeddedDate(scan.date);
  }
  return partsOfOwnTime(own);
}

RenameOutcome renameByDate(platform::Env& env, platform::MessageBox& messages, const RenameRequest& request) {
  const platform::PathRules& rules = env.pathRules();
  const std::string tag =
      naming::formatDateTag(request.renamePattern, request.calendarStyle, request.showWeekday, request.date);
  const std::string stem = naming::targetStem(request.renamePattern, request.workPath, tag, rules);
  std::string target = naming::collisionCandidate(stem, 0, request.fileExtension);
  if (target == request.workPath) {
    return RenameOutcome{};
  }
  if (!platform::fitsPath(target, rules)) {
    return failWith(messages, ENAMETOOLONG);
  }
  // The probes only choose a candidate; the rename is the judge and never replaces a file.
  if (env.canOpenForReading(target)) {
    for (char letter = 'a'; letter <= 'z'; ++letter) {
      target = naming::collisionCandidate(stem, letter, request.fileExtension);
      if (!platform::fitsPath(target, rules)) {
        return failWith(messages, ENAMETOOLONG);
      }
      if (!env.canOpenForReading(target)) {
        break;
      }
    }
  }
  const platform::Status renamed = env.renameNoReplace(request.workPath, target);
  if (!renamed) {
    return failWith(messages, renamed.errorNumber());
  }
  return RenameOutcome{false, target};
}

}  // namespace kestrava::engine
