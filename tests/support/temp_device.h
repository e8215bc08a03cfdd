// A fresh device folder for one test: created in the system's temporary folder, made the
// process's $CIRRODEX_DEVICE with a registry of its own, and removed afterwards.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace cirrodex::testing {

class TempDevice {
 public:
  TempDevice();
  ~TempDevice();
  TempDevice(const TempDevice&) = delete;
  TempDevice& operator=(const TempDevice&) = delete;

  const std::filesystem::path& root() const { return root_; }
  // The file a handheld path maps to in this device folder.
  std::filesystem::path Path(const std::wstring& handheldPath) const;

 private:
  std::filesystem::path root_;
  std::string previous_;
  bool hadPrevious_ = false;
};

// A fixture whose every test gets its own TempDevice.
class DeviceTest : public ::testing::Test {
 protected:
  TempDevice device_;
};

// The build folder (for bin/ programs) and the source folder.
std::filesystem::path BuildDir();
std::filesystem::path SourceDir();

}  // namespace cirrodex::testing
