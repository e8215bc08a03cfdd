// A fresh device folder for one test: created in the system's temporary folder, made the
// process's $CIRRODEX_DEVICE with a registry of its own, and removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

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

// The whole of `file` through the product's reader; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& file);

// The build folder (for bin/ programs) and the source folder.
std::filesystem::path BuildDir();
std::filesystem::path SourceDir();

// Unsets DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM while it lives, so a program started
// meanwhile finds no display; restores them when it goes.
class WithoutDisplay {
 public:
  WithoutDisplay();
  ~WithoutDisplay();
  WithoutDisplay(const WithoutDisplay&) = delete;
  WithoutDisplay& operator=(const WithoutDisplay&) = delete;

 private:
  std::vector<std::pair<std::string, std::string>> saved_;
};

}  // namespace cirrodex::testing
