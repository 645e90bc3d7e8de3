#include "engine/backup.h"

#include <cerrno>
#include <memory>

#include "engine/messages.h"
#include "platform/ascii.h"
#include "platform/path.h"

namespace kestrava::engine {
namespace {

using platform::Env;
using platform::File;
using platform::MessageBox;
using platform::Status;

// On a file system that ignores letter case (a FAT/exFAT card), the backup name of IMG.BAK, IMG.bak, is
// the file itself: deleting the "old backup" would delete the only copy. It is that case when the two
// names differ only in case, the backup name resolves to an entry, and no entry is spelled exactly so.
// Inode numbers cannot tell: some FUSE file systems give one per spelling.
bool backupNameIsTheFileItself(Env& env, const std::string& workPath, const std::string& backupPath) {
  if (backupPath == workPath || !platform::equalIgnoringAsciiCase(backupPath, workPath) ||
      !env.exists(backupPath)) {
    return false;
  }
  std::vector<platform::DirEntry> entries;
  const std::string directory = platform::directoryWithSeparator(backupPath, env.pathRules());
  if (!env.listDirectory(directory.empty() ? "." : directory, &entries)) {
    return true;  // cannot prove it is another file, so leave both alone
  }
  const std::string backupName = platform::namePart(backupPath, env.pathRules());
  for (const platform::DirEntry& entry : entries) {
    if (entry.name == backupName) {
      return false;
    }
  }
  return true;
}

Status writeNewContent(File& file, const BackupRequest& request, bool* exifRemoved) {
  const char* content = request.content;
  *exifRemoved = request.stripExif && startsWithExifSegment(content);
  if (!*exifRemoved) {
    return file.write(content, request.fileLength);
  }
  Status status = file.write(content, 2);  // FF D8
  const std::uint64_t start = segmentAfterExif(content);
  if (status && start < request.fileLength) {
    status = file.write(content + start, request.fileLength - start);
  }
  return status;
}

// A failed write or close of the temporary file: the original was never moved, so only the temporary
// file has to go.
BackupResult failAfterWrite(Env& env, MessageBox& messages, const BackupRequest& request,
                            const std::string& temporaryPath) {
  messages.show(formatMessage(kCopyWriteErrorMessage, request.workPath.c_str()));
  env.removeFile(temporaryPath);
  return {};
}

}  // namespace

bool startsWithExifSegment(const char* content) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(content);
  return bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF && bytes[3] == 0xE1 && bytes[6] == 'E' &&
         bytes[7] == 'x' && bytes[8] == 'i' && bytes[9] == 'f';
}

std::uint64_t segmentAfterExif(const char* content) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(content);
  return std::uint64_t{bytes[4]} * 256 + bytes[5] + 4;
}

BackupResult rewriteWithBackup(Env& env, MessageBox& messages, const BackupRequest& request) {
  if (!platform::fitsPath(request.backupPath, env.pathRules())) {
    messages.show(formatMessage(kBackupRenameErrorMessage, ENAMETOOLONG));
    return {};
  }
  if (backupNameIsTheFileItself(env, request.workPath, request.backupPath)) {
    return {BackupOutcome::SameFileSkip, false};
  }

  env.removeFile(request.backupPath);  // an older backup gives way; if it can't, the rename below says so

  std::unique_ptr<File> file;
  std::string temporaryPath;
  const std::string directory = platform::directoryWithSeparator(request.workPath, env.pathRules());
  if (!env.createTemporary(directory, request.permissions, &file, &temporaryPath)) {
    messages.show(formatMessage(kCopyOpenErrorMessage, request.workPath.c_str()));
    return {};
  }

  bool exifRemoved = false;
  if (!writeNewContent(*file, request, &exifRemoved)) {
    file->close();
    return failAfterWrite(env, messages, request, temporaryPath);
  }
  // A delayed write error shows only at the close; the original must not give way to a file that lacks it.
  if (!file->close()) {
    return failAfterWrite(env, messages, request, temporaryPath);
  }
  file.reset();

  const Status toBackup = env.renameNoReplace(request.workPath, request.backupPath);
  if (!toBackup) {
    messages.show(formatMessage(kBackupRenameErrorMessage, toBackup.errorNumber()));
    env.removeFile(temporaryPath);
    return {};
  }
  if (!env.renameNoReplace(temporaryPath, request.workPath)) {
    messages.show(formatMessage(kCopyOpenErrorMessage, request.workPath.c_str()));
    env.renameNoReplace(request.backupPath, request.workPath);
    env.removeFile(temporaryPath);
    return {};
  }
  return {BackupOutcome::Rewritten, exifRemoved};
}

}  // namespace kestrava::engine
