#include "platform/device.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <vector>

#include "platform/text.h"

namespace cirrodex::platform {

std::filesystem::path DeviceRoot() {
  std::filesystem::path root;
  const char* env = std::getenv("CIRRODEX_DEVICE");
  if (env != nullptr && *env != '\0') {
    root = env;
  } else {
    root = DefaultDeviceRoot();
    if (root.empty()) return root;
  }
  std::error_code ignored;
  std::filesystem::create_directories(root, ignored);
  return root;
}

std::filesystem::path DefaultDeviceRoot() {
  std::filesystem::path home;
  const char* env = std::getenv("HOME");
  if (env != nullptr && *env != '\0') {
    home = env;
  } else {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && *found->pw_dir != '\0') {
      home = found->pw_dir;
    }
  }
  if (home.empty()) return home;
  return home / ".local" / "share" / "cirrodex" / "device";
}

std::string DeviceRootProblem(const std::filesystem::path& root) {
  if (root.empty()) {
    return "no device folder: CIRRODEX_DEVICE and HOME are not set and the account names no "
           "home folder";
  }
  struct stat info {};
  if (stat(root.c_str(), &info) != 0) {
    return "the device folder " + root.string() + " is missing and cannot be created";
  }
  if (!S_ISDIR(info.st_mode)) return "the device folder " + root.string() + " is not a folder";
  if ((info.st_mode & S_IWOTH) != 0) {
    return "the device folder " + root.string() +
           " is refused: other users can write to it (mode o+w), so they could replace the "
           "registry and the programs in it";
  }
  return {};
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
