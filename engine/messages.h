#pragma once

#include <string>

// The conversion's messages to the user, as printf formats; the path is always an argument, never part
// of the format.
namespace kestrava::engine {

// %s the path, %lld the size of the request in bytes.
inline constexpr char kOutOfMemoryMessage[] =
    "%s ﾌｧｲﾙ の処理のため，\n\n%lld Byte ﾒﾓﾘｰ 確保しようとしましたが，\n\nメモリ 不足の為 "
    "処理できませんでした\n\n"
    "処理を中止します";
// %d the error number of the failed rename.
inline constexpr char kBackupRenameErrorMessage[] = "rename error : %d";
// %s the path.
inline constexpr char kCopyOpenErrorMessage[] =
    "%s ﾌｧｲﾙ の コピー(open処理）に失敗しました\n\n処理を中止します";
// %s the path.
inline constexpr char kCopyWriteErrorMessage[] =
    "%s ﾌｧｲﾙ の コピー中に エラー発生しました\n\n処理を中止します";
// %d the error number of the failed rename.
inline constexpr char kRenameCollisionMessage[] = "rename error : %d\n\n同一ファイル名が発生しました。";

// printf-style formatting into a string of whatever length the text needs.
std::string formatMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kestrava::engine
