#pragma once

#include <string>

#include "engine/file_converter.h"
#include "platform/env.h"
#include "platform/message_box.h"

// One press of the run button, without the window: the chosen file alone, or every matching file of its
// directory in up to three passes by extension, each file handed to the converter in turn, and the count
// reported at the end.
namespace kestrava::batch {

struct BatchRequest {
  std::string chosenPath;
  int scope = 0;  // 1 every matching file of the chosen file's directory; any other value the chosen file
  int filterIndex = 1;  // the open dialog's file type 1..4; any other value behaves as 1
};

// Progress of a run: the window sets its count label and repaints it, the command line prints.
class BatchObserver {
 public:
  virtual ~BatchObserver() = default;
  virtual void runStarted() {}
  // fileCount is what the pass's first enumeration found.
  virtual void passStarted(const std::string& /*mask*/, int /*fileCount*/) {}
  // After every file of a directory run, counted or not: the run total so far.
  virtual void countChanged(int /*total*/) {}
  // Before the report message is shown.
  virtual void runEnded(int /*total*/) {}
  // A stop from the converter, or a refused memory request, ended the run; no report follows.
  virtual void runStopped() {}
};

struct BatchOutcome {
  bool completed = false;
  int total = 0;  // the files counted; after a stop, those counted before it
};

BatchOutcome runBatch(const BatchRequest& request, engine::FileConverter& converter, platform::Env& env,
                      platform::MessageBox& messages, BatchObserver& observer);

}  // namespace kestrava::batch
