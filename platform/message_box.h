#pragma once

#include <string>

namespace kestrava::platform {

// Where the system tells the user of a failure or a result: a modal box in the window, standard error in
// the command line, a record in tests. show() returns once the user has seen the text (a modal box
// returns when it is closed).
class MessageBox {
 public:
  virtual ~MessageBox() = default;
  virtual void show(const std::string& text) = 0;
};

}  // namespace kestrava::platform
