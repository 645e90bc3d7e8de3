#include "engine/conversion.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "engine/backup.h"
#include "engine/date_scanner.h"
#include "engine/messages.h"
#include "engine/rename_by_date.h"
#include "engine/time_stamping.h"
#include "platform/path.h"

namespace kestrava::engine {
namespace {

using platform::Buffer;
using platform::File;

// Only the first 4096 bytes are ever scanned; a file shorter than one date text plus one byte is not.
constexpr std::uint64_t kScanLimit = 4096;
constexpr std::uint64_t kShortestScannedFile = 20;
// The buffer holds the bytes read, then zeros up to index readSize + 31, then 16 bytes never touched.
constexpr std::size_t kBufferSlack = 48;
constexpr std::size_t kZeroPadding = 32;

// The state of one call of file_syori. Files are closed and the buffer released when it goes.
class Conversion {
 public:
  Conversion(platform::Env& env, platform::MessageBox& messages, ConversionObserver* observer,
             const ProcessingOptions& options, const std::string& path)
      : env_(env), messages_(messages), observer_(observer), options_(options), workPath_(path) {
    report_.path = path;
  }

  ConversionResult run() { return finish(convert()); }

 private:
  ConversionResult convert();
  bool readContent();
  ConversionResult runBackupStage();
  void stampTime(const ScanResult& scan);
  ConversionResult rename(const ScanResult& scan);

  ConversionResult finish(ConversionResult result) {
    file_.reset();
    content_ = Buffer();
    report_.result = result;
    if (observer_ != nullptr) {
      observer_->fileConverted(report_);
    }
    return result;
  }

  platform::Env& env_;
  platform::MessageBox& messages_;
  ConversionObserver* observer_;
  const ProcessingOptions options_;
  const std::string workPath_;
  std::string fileExtension_;
  std::string backupPath_;
  std::unique_ptr<File> file_;
  Buffer content_;
  std::uint64_t fileLength_ = 0;
  unsigned permissions_ = 0;
  OwnTime ownTime_;
  ConversionReport report_;
};

ConversionResult Conversion::convert() {
  const platform::PathRules& rules = env_.pathRules();
  if (!platform::fitsPath(workPath_, rules)) {
    return ConversionResult::Skipped;
  }
  fileExtension_ = platform::extensionOf(workPath_, rules);
  // Exactly ".bak": the same letters in other cases are converted like any other file.
  if (fileExtension_ == ".bak") {
    return ConversionResult::Skipped;
  }
  if (!env_.openExisting(workPath_, &file_)) {
    return ConversionResult::Skipped;
  }
  platform::FileInfo info;
  if (!file_->info(&info)) {
    return ConversionResult::Skipped;
  }
  fileLength_ = info.length;
  permissions_ = info.permissions;
  ownTime_ = ownTimeOf(info.lastWriteTime);
  report_.ownTime = info.lastWriteTime;

  const bool wholeFile = options_.stripExif || options_.keepBackup;
  const std::uint64_t readSize = wholeFile ? fileLength_ : kScanLimit;
  if (readSize > std::numeric_limits<std::size_t>::max() - kBufferSlack ||
      !env_.allocate(static_cast<std::size_t>(readSize) + kBufferSlack, &content_)) {
    messages_.show(formatMessage(kOutOfMemoryMessage, workPath_.c_str(),
                                 static_cast<long long>(readSize + kBufferSlack)));
    return ConversionResult::Stop;
  }
  if (!readContent()) {
    return ConversionResult::Skipped;
  }
  file_.reset();

  backupPath_ = platform::withExtension(workPath_, ".bak", rules);
  if (options_.keepBackup) {
    const ConversionResult backup = runBackupStage();
    if (backup != ConversionResult::Counted) {
      return backup;
    }
  }

  if (!env_.openExisting(workPath_, &file_)) {
    return ConversionResult::Skipped;
  }
  const std::uint64_t scanned = std::min(fileLength_, kScanLimit);
  if (scanned < kShortestScannedFile) {
    return ConversionResult::Skipped;
  }
  const ScanResult scan = scanForEarliestDate(content_.data(), static_cast<std::size_t>(scanned));
  stampTime(scan);
  if (options_.renamePattern == 0) {
    return ConversionResult::Counted;
  }
  if (options_.dateSource == 1 && scan.matchCount == 0) {
    return ConversionResult::Counted;
  }
  return rename(scan);
}

// Reads the file from its start into the buffer and pads it with zeros. A read error, or a file that is
// shorter than it was a moment ago, fails: rewriting it from what was read would lose its end.
bool Conversion::readContent() {
  const std::size_t readSize = content_.size() - kBufferSlack;
  std::size_t got = 0;
  if (!file_->read(content_.data(), readSize, &got)) {
    return false;
  }
  if (readSize == fileLength_ && got != fileLength_) {
    return false;
  }
  std::memset(content_.data() + got, 0, readSize + kZeroPadding - got);
  return true;
}

ConversionResult Conversion::runBackupStage() {
  BackupRequest request;
  request.workPath = workPath_;
  request.backupPath = backupPath_;
  request.content = content_.data();
  request.fileLength = fileLength_;
  request.stripExif = options_.stripExif;
  request.permissions = permissions_;
  const BackupResult backup = rewriteWithBackup(env_, messages_, request);
  switch (backup.outcome) {
    case BackupOutcome::Rewritten:
      report_.backupMade = true;
      report_.exifRemoved = backup.exifRemoved;
      return ConversionResult::Counted;
    case BackupOutcome::SameFileSkip:
      return ConversionResult::Skipped;
    case BackupOutcome::Failed:
      break;
  }
  return ConversionResult::Stop;
}

// Setting the time may fail (the file system refuses the value); the file then keeps its time and the
// conversion goes on.
void Conversion::stampTime(const ScanResult& scan) {
  const StampTime stamp = composeStampTime(options_, scan, ownTime_);
  const std::optional<platform::FileTime> time = lastWriteTimeToSet(options_, stamp, ownTime_);
  if (time && file_->setLastWriteTime(*time)) {
    report_.timeSet = *time;
  }
}

ConversionResult Conversion::rename(const ScanResult& scan) {
  RenameRequest request;
  request.workPath = workPath_;
  request.fileExtension = fileExtension_;
  request.renamePattern = options_.renamePattern;
  request.calendarStyle = options_.calendarStyle;
  request.showWeekday = options_.showWeekday;
  request.date = namingDateParts(options_, scan, ownTime_);
  file_.reset();  // the file must not be open while it is renamed
  const RenameOutcome outcome = renameByDate(env_, messages_, request);
  if (outcome.failed) {
    return ConversionResult::Stop;
  }
  report_.renamedTo = outcome.renamedTo;
  if (observer_ != nullptr) {
    observer_->chosenFileSettled();
  }
  return ConversionResult::Counted;
}

}  // namespace

Converter::Converter(platform::Env& env, const OptionsSource& options, platform::MessageBox& messages,
                     ConversionObserver* observer)
    : env_(env), options_(options), messages_(messages), observer_(observer) {}

ConversionResult Converter::file_syori(const std::string& path) {
  // calendarStyle and showWeekday are read first, the rest where it is used; the window takes no input
  // while a file is converted, so one snapshot gives the same values.
  Conversion conversion(env_, messages_, observer_, options_.current(), path);
  return conversion.run();
}

}  // namespace kestrava::engine
