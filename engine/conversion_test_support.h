#pragma once

// A fixture for tests that convert real files in a temporary directory.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/conversion.h"
#include "engine/test_support.h"
#include "platform/env_posix.h"
#include "platform/testing/recording_message_box.h"
#include "platform/testing/temp_dir.h"

namespace kestrava::engine::testing {

class SettledCounter : public ConversionObserver {
 public:
  void chosenFileSettled() override { ++settled; }
  void fileConverted(const ConversionReport& report) override { reports.push_back(report); }
  int settled = 0;
  std::vector<ConversionReport> reports;
};

// Writes a file at a full path (outside a TempDir, such as on a mounted card).
inline void writeFileAt(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  EXPECT_EQ(std::fclose(file), 0);
}

// The names of a directory's entries as the env lists them, sorted.
inline std::vector<std::string> sortedNames(platform::Env& env, const std::string& directory) {
  std::vector<platform::DirEntry> entries;
  EXPECT_TRUE(env.listDirectory(directory, &entries));
  std::vector<std::string> names;
  for (const platform::DirEntry& entry : entries) {
    names.push_back(entry.name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

class ConversionFixture : public ::testing::Test {
 protected:
  // The options of most tests: keep the name, so that only the behaviour under test changes the file.
  ConversionFixture() { options.value().renamePattern = 0; }

  ConversionResult convert(const std::string& name) { return convertWith(*posix, name); }

  ConversionResult convertWith(platform::Env& env, const std::string& name) {
    Converter converter(env, options, messages, &observer);
    return converter.file_syori(dir.file(name));
  }

  // A file with the given bytes and an old last-write time with nanoseconds.
  void makeFile(const std::string& name, const std::string& bytes) {
    dir.write(name, bytes);
    dir.setLastWriteTime(name, kOldTime);
  }

  bool hasNoTemporaryFiles() const {
    for (const std::string& name : dir.names()) {
      if (!name.empty() && name[0] == '.') {
        return false;
      }
    }
    return true;
  }

  // 2001-02-03 04:05:06.123456789 in Tokyo; any moment with nanoseconds would do.
  static constexpr platform::FileTime kOldTime{981140706, 123456789};

  ScopedTimeZone zone{"Asia/Tokyo"};
  platform::testing::TempDir dir;
  std::unique_ptr<platform::Env> posix = platform::newPosixEnv();
  platform::testing::RecordingMessageBox messages;
  FixedOptions options;
  SettledCounter observer;
};

}  // namespace kestrava::engine::testing
