#pragma once

namespace kestrava::engine {

// What the conversion of one file tells its caller.
enum class ConversionResult : int {
  Stop = -1,    // a failure was shown to the user; the whole run stops after this file
  Skipped = 0,  // the file was passed over; it is not counted
  Counted = 1,  // the file was processed; the caller adds 1 to its count
};

}  // namespace kestrava::engine
