#include "platform/device.h"

#include <cstdlib>
#include <system_error>

#include "platform/text.h"

namespace cirrodex::platform {

std::filesystem::path DeviceRoot() {
  std::filesystem::path root;
  const char* env = std::getenv("CIRRODEX_DEVICE");
  if (env != nullptr && *env != '\0') {
    root = env;
  } else {
    const char* home = std::getenv("HOME");
    root = std::filesystem::path(home != nullptr && *home != '\0' ? home : "/tmp") / ".local" /
           "share" / "cirrodex" / "device";
  }
  std::error_code ignored;
  std::filesystem::create_directories(root, ignored);
  return root;
}

std::filesystem::path DevicePath(std::wstring_view handheldPath) {
  std::filesystem::path result = DeviceRoot();
  size_t start = 0;
  while (start <= handheldPath.size()) {
    size_t end = handheldPath.find_first_of(L"\\/", start);
    if (end == std::wstring_view::npos) end = handheldPath.size();
    std::wstring_view part = handheldPath.substr(start, end - start);
    if (!part.empty() && part != L"." && part != L"..") result /= ToUtf8(part);
    start = end + 1;
  }
  return result;
}

}  // namespace cirrodex::platform
