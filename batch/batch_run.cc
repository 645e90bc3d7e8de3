#include "batch/batch_run.h"

#include <cstdio>
#include <new>
#include <span>
#include <string_view>
#include <vector>

#include "platform/directory_search.h"
#include "platform/path.h"

namespace kestrava::batch {
namespace {

using engine::ConversionResult;

// Each entry of a pass's path list is sized as one of the window's path buffers; the memory request, and
// the size a refusal reports, are counted in these.
constexpr long kPathEntryBytes = 280;

constexpr std::string_view kJpegAndAviPasses[] = {"*.jpg", "*.jpe", "*.avi"};
constexpr std::string_view kJpegPasses[] = {"*.jpg", "*.jpe"};
constexpr std::string_view kAviPasses[] = {"*.avi"};
constexpr std::string_view kEveryFilePass[] = {"*.*"};

std::span<const std::string_view> passMasksFor(int filterIndex) {
  switch (filterIndex) {
    case 2:
      return kJpegPasses;
    case 3:
      return kAviPasses;
    case 4:
      return kEveryFilePass;
    default:
      return kJpegAndAviPasses;
  }
}

std::string processedMessage(int total) {
  char text[64];
  std::snprintf(text, sizeof text, "%d 件 処理しました", total);
  return text;
}

std::string outOfMemoryMessage(long bytes) {
  char text[512];
  std::snprintf(
      text, sizeof text,
      "ﾌｧｲﾙ処理のため，\n\n%ld Byte ﾒﾓﾘｰ 確保しようとしましたが，\n\nメモリ 不足の為 処理できませんでした\n\n"
      "処理を中止します",
      bytes);
  return text;
}

class DirectoryRun {
 public:
  DirectoryRun(const BatchRequest& request, engine::FileConverter& converter, platform::Env& env,
               platform::MessageBox& messages, BatchObserver& observer)
      : converter_(converter),
        env_(env),
        messages_(messages),
        observer_(observer),
        directory_(platform::directoryWithSeparator(request.chosenPath, env.pathRules())),
        filterIndex_(request.filterIndex) {}

  // False when a pass stopped the run; runTotal() then holds the last total shown.
  bool run() {
    for (std::string_view mask : passMasksFor(filterIndex_)) {
      if (!runPass(std::string(mask))) {
        return false;
      }
    }
    return true;
  }

  int runTotal() const { return runTotal_; }

 private:
  bool runPass(const std::string& mask) {
    std::vector<std::string> names;
    // A directory that can't be listed is a pass with nothing in it.
    platform::findFiles(env_, directory_, mask, &names);
    const int count = static_cast<int>(names.size());
    observer_.passStarted(mask, count);

    const long listBytes = (static_cast<long>(count) + 2) * kPathEntryBytes;
    platform::Buffer pathList;
    std::vector<std::string> paths;
    if (!env_.allocate(static_cast<std::size_t>(listBytes), &pathList) ||
        !collectPaths(mask, count + 2, &paths)) {
      messages_.show(outOfMemoryMessage(listBytes));
      return false;
    }
    return convertAll(paths);
  }

  // The second enumeration, taken whole before the first file is converted, so that a file the
  // conversion renames is not met again under its new name; it may have grown since the count.
  bool collectPaths(const std::string& mask, int limit, std::vector<std::string>* paths) {
    try {
      std::vector<std::string> names;
      platform::findFiles(env_, directory_, mask, &names);
      if (names.size() > static_cast<std::size_t>(limit)) {
        names.resize(static_cast<std::size_t>(limit));
      }
      paths->reserve(names.size());
      for (const std::string& name : names) {
        paths->push_back(directory_ + name);
      }
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  bool convertAll(const std::vector<std::string>& paths) {
    int passTotal = 0;
    for (const std::string& path : paths) {
      const ConversionResult result = convertOne(path);
      if (result == ConversionResult::Stop) {
        runTotal_ += passTotal;
        return false;
      }
      if (result == ConversionResult::Counted) {
        ++passTotal;
      }
      observer_.countChanged(runTotal_ + passTotal);
    }
    runTotal_ += passTotal;
    return true;
  }

  ConversionResult convertOne(const std::string& path) {
    // A directory and a name that together exceed what the host takes would be refused by every file
    // operation; the file is passed over rather than handed on with a path that names something else.
    if (!platform::fitsPath(path, env_.pathRules())) {
      return ConversionResult::Skipped;
    }
    return converter_.file_syori(path);
  }

  engine::FileConverter& converter_;
  platform::Env& env_;
  platform::MessageBox& messages_;
  BatchObserver& observer_;
  const std::string directory_;
  const int filterIndex_;
  int runTotal_ = 0;
};

BatchOutcome stopped(BatchObserver& observer, int totalShown) {
  observer.runStopped();
  return BatchOutcome{false, totalShown};
}

BatchOutcome reported(BatchObserver& observer, platform::MessageBox& messages, int total) {
  observer.runEnded(total);
  messages.show(processedMessage(total));
  return BatchOutcome{true, total};
}

int asCount(ConversionResult result) {
  return result == ConversionResult::Counted ? 1 : 0;
}

}  // namespace

BatchOutcome runBatch(const BatchRequest& request, engine::FileConverter& converter, platform::Env& env,
                      platform::MessageBox& messages, BatchObserver& observer) {
  observer.runStarted();
  if (request.scope != 1) {
    ConversionResult result = ConversionResult::Skipped;
    if (platform::fitsPath(request.chosenPath, env.pathRules())) {
      result = converter.file_syori(request.chosenPath);
    }
    if (result == ConversionResult::Stop) {
      return stopped(observer, 0);
    }
    return reported(observer, messages, asCount(result));
  }
  DirectoryRun run(request, converter, env, messages, observer);
  if (!run.run()) {
    return stopped(observer, run.runTotal());
  }
  return reported(observer, messages, run.runTotal());
}

}  // namespace kestrava::batch
