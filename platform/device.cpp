#include "platform/device.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

#include "platform/text.h"

namespace cirrodex::platform {

namespace {

namespace fs = std::filesystem;

// mkdir's mode passes through the umask, so the mode is set again on what was made.
bool MakePrivateFolder(const fs::path& folder) {
  if (mkdir(folder.c_str(), 0700) != 0) return errno == EEXIST;
  return chmod(folder.c_str(), 0700) == 0;
}

// Each missing folder of `folder`, from the top down, made private.
void MakePrivateFolders(const fs::path& folder) {
  fs::path partial;
  for (const fs::path& part : folder) {
    partial /= part;
    if (partial == partial.root_path()) continue;
    struct stat info {};
    if (stat(partial.c_str(), &info) == 0) continue;
    if (!MakePrivateFolder(partial)) return;
  }
}

// The user's login name and primary group; empty name when the account has no entry.
struct Account {
  gid_t gid = 0;
  std::string name;
};

Account CurrentAccount() {
  Account account;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_name != nullptr) {
    account.gid = found->pw_gid;
    account.name = found->pw_name;
  }
  return account;
}

// The user's private group: the primary group, named after the user, with no other member.
bool IsPrivateGroup(gid_t gid) {
  const Account account = CurrentAccount();
  if (account.name.empty() || gid != account.gid) return false;
  long size = sysconf(_SC_GETGR_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  group entry{};
  group* found = nullptr;
  while (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
    buffer.resize(buffer.size() * 2);
  }
  if (found == nullptr || found->gr_name == nullptr || account.name != found->gr_name) {
    return false;
  }
  for (char** member = found->gr_mem; member != nullptr && *member != nullptr; ++member) {
    if (account.name != *member) return false;
  }
  return true;
}

std::string Refused(const fs::path& root, const std::string& why) {
  return "the device folder " + root.string() + " is refused: " + why +
         ", so another user could replace the registry and the programs in it";
}

}  // namespace

std::filesystem::path DeviceRoot() {
  std::filesystem::path root;
  const char* env = std::getenv("CIRRODEX_DEVICE");
  if (env != nullptr && *env != '\0') {
    root = env;
  } else {
    root = DefaultDeviceRoot();
    if (root.empty()) return root;
  }
  struct stat info {};
  if (stat(root.c_str(), &info) != 0) MakePrivateFolders(root);
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
  const uid_t user = geteuid();
  if (info.st_uid != user) {
    return Refused(root, "it belongs to another user (uid " + std::to_string(info.st_uid) + ")");
  }
  if ((info.st_mode & S_IWOTH) != 0) return Refused(root, "other users can write to it (mode o+w)");
  if ((info.st_mode & S_IWGRP) != 0 && !IsPrivateGroup(info.st_gid)) {
    return Refused(root, "its group can write to it (mode g+w) and is not the user's own");
  }
  // The folders above the real folder, as they lie on disk.
  char resolved[PATH_MAX];
  if (realpath(root.c_str(), resolved) == nullptr) {
    return "the device folder " + root.string() + " cannot be resolved: " + std::strerror(errno);
  }
  for (fs::path above = fs::path(resolved).parent_path();; above = above.parent_path()) {
    if (stat(above.c_str(), &info) != 0) {
      return "the device folder " + root.string() + " is refused: " + above.string() +
             " above it cannot be examined: " + std::strerror(errno);
    }
    const bool sticky = (info.st_mode & S_ISVTX) != 0;
    if (info.st_uid != 0 && info.st_uid != user) {
      return Refused(root, "the folder " + above.string() +
                               " above it belongs to another user (uid " +
                               std::to_string(info.st_uid) + ")");
    }
    if ((info.st_mode & S_IWOTH) != 0 && !sticky) {
      return Refused(root, "other users can write to the folder " + above.string() +
                               " above it (mode o+w, no sticky bit)");
    }
    if ((info.st_mode & S_IWGRP) != 0 && !sticky && !IsPrivateGroup(info.st_gid)) {
      return Refused(root, "the group of the folder " + above.string() +
                               " above it can write to it (mode g+w, no sticky bit)");
    }
    if (above == above.root_path()) break;
  }
  return {};
}

std::string DeviceFolderProblem() { return DeviceRootProblem(DeviceRoot()); }

bool PrivateDeviceFolder(const std::filesystem::path& folder, Create create, std::string& problem) {
  const fs::path root = DeviceRoot();
  const fs::path inside = folder.lexically_relative(root);
  if (inside.empty() || *inside.begin() == "..") {
    problem = folder.string() + " is not inside the device folder " + root.string();
    return false;
  }
  const uid_t user = geteuid();
  fs::path partial = root;
  for (const fs::path& part : inside) {
    if (part == ".") continue;
    partial /= part;
    struct stat info {};
    if (lstat(partial.c_str(), &info) != 0) {
      if (errno != ENOENT || create == Create::No) {
        problem = partial.string() + ": " + std::strerror(errno);
        return false;
      }
      if (!MakePrivateFolder(partial) || lstat(partial.c_str(), &info) != 0) {
        problem = "creating " + partial.string() + ": " + std::strerror(errno);
        return false;
      }
    }
    if (S_ISLNK(info.st_mode)) {
      problem = partial.string() + " is a symbolic link, which nothing is written through";
      return false;
    }
    if (!S_ISDIR(info.st_mode)) {
      problem = partial.string() + " is not a folder";
      return false;
    }
    if (info.st_uid != user) {
      problem =
          partial.string() + " belongs to another user (uid " + std::to_string(info.st_uid) + ")";
      return false;
    }
  }
  return true;
}

bool ReplaceFile(const std::filesystem::path& file, std::string_view bytes, std::string& problem) {
  std::string temporary = file.string() + ".XXXXXX";
  // mkstemp opens with O_EXCL and mode 0600: a name someone planted is never opened.
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    problem = "writing " + file.string() + ": " + std::strerror(errno);
    return false;
  }
  bool written = fchmod(fd, 0600) == 0;
  for (size_t done = 0; written && done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    if (written) done += static_cast<size_t>(n);
  }
  const int saved = errno;
  written = close(fd) == 0 && written;
  if (written && rename(temporary.c_str(), file.c_str()) == 0) return true;
  problem = "writing " + file.string() + ": " + std::strerror(written ? errno : saved);
  unlink(temporary.c_str());
  return false;
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
