#include "tests/support/temp_device.h"

#include <cstdlib>
#include <string>

#include "platform/device.h"
#include "platform/registry_store.h"
#include "platform/whole_file.h"

namespace cirrodex::testing {

TempDevice::TempDevice() {
  std::string pattern = (std::filesystem::temp_directory_path() / "cirrodex-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "cannot create a temporary device folder";
  }
  root_ = pattern;
  if (const char* old = std::getenv("CIRRODEX_DEVICE")) {
    previous_ = old;
    hadPrevious_ = true;
  }
  setenv("CIRRODEX_DEVICE", root_.c_str(), 1);
  platform::ResetRegistryForTesting();
}

TempDevice::~TempDevice() {
  platform::ResetRegistryForTesting();
  if (hadPrevious_) {
    setenv("CIRRODEX_DEVICE", previous_.c_str(), 1);
  } else {
    unsetenv("CIRRODEX_DEVICE");
  }
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::filesystem::path TempDevice::Path(const std::wstring& handheldPath) const {
  return platform::DevicePath(handheldPath);
}

std::string ReadFile(const std::filesystem::path& file) {
  return platform::ReadWholeFile(file).value_or("");
}

std::filesystem::path BuildDir() { return CIRRODEX_BUILD_DIR; }
std::filesystem::path SourceDir() { return CIRRODEX_SOURCE_DIR; }

WithoutDisplay::WithoutDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
    unsetenv(name);
  }
}

WithoutDisplay::~WithoutDisplay() {
  for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
}

}  // namespace cirrodex::testing
