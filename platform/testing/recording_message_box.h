#pragma once

#include <string>
#include <vector>

#include "platform/message_box.h"

namespace kestrava::platform::testing {

// A message box that only remembers what it was asked to show, in order.
class RecordingMessageBox final : public MessageBox {
 public:
  void show(const std::string& text) override { texts.push_back(text); }

  std::vector<std::string> texts;
};

}  // namespace kestrava::platform::testing
