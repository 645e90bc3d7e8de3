#pragma once

#include <string>

#include "engine/conversion_result.h"

namespace kestrava::engine {

// Converts one file at a time; the batch run calls it for every file of a run, in turn.
class FileConverter {
 public:
  virtual ~FileConverter() = default;
  // Converts the file at `path`, which it expects to exist, and reports whether it counts or the run
  // must stop (the converter has then shown its message).
  virtual ConversionResult file_syori(const std::string& path) = 0;
};

}  // namespace kestrava::engine
