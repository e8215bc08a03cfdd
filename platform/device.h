// The device folder: every handheld path the system speaks of lives under one folder on disk.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace cirrodex::platform {

// Where the system is installed on the handheld. The plug-in takes its "InstallPath" setting
// with this as the default; the host, the setup program and the layout use it as it is.
inline constexpr wchar_t kDefaultInstallFolder[] = L"\\program files\\velbrook\\nimbrel";

// The device folder: $CIRRODEX_DEVICE when set and non-empty, else DefaultDeviceRoot(). Created
// (with parents, each mode 0700 whatever the umask) when missing; read on every call so tests can
// point it elsewhere.
std::filesystem::path DeviceRoot();

// ~/.local/share/cirrodex/device, the home folder being $HOME or, without it, the one of the
// user's account entry; never a shared folder such as /tmp. Empty when neither names a home.
std::filesystem::path DefaultDeviceRoot();

// Why the device folder `root` must not be used (empty when it may), in one line that names the
// path: it is missing or not a folder, it belongs to another user, its group (unless that is the
// user's own private group) or others can write to it, or a folder above it up to / belongs to
// another user than the user or root, or can be written by others or a shared group without
// having the sticky bit. Any of these lets another user swap in a folder of their own, with a
// Gantrel.exe that the Today item would run. Links in `root` are resolved first.
std::string DeviceRootProblem(const std::filesystem::path& root);

// DeviceRootProblem() of DeviceRoot(): every program asks this before it uses the folder, and
// refuses to start when the answer is not empty.
std::string DeviceFolderProblem();

// Makes `folder` a folder of this user inside the device folder that no write into it can be led
// out of: each missing folder from the device folder down is created with mode 0700 whatever the
// umask (only with `create`), and each must be a real folder (not a symbolic link) of this user.
// False with the reason in `problem` otherwise.
enum class Create { No, Yes };
bool PrivateDeviceFolder(const std::filesystem::path& folder, Create create, std::string& problem);

// Writes `bytes` as `file` through a new temporary file beside it (created exclusively, mode 0600
// whatever the umask) that then replaces it: a symbolic link planted at `file` is replaced, never
// written through, and a failure leaves the old file whole. False with the reason in `problem`.
bool ReplaceFile(const std::filesystem::path& file, std::string_view bytes, std::string& problem);

// Maps a handheld path such as "\program files\velbrook\nimbrel\bmp\5.bmp" to its file under the
// device folder. Backslashes and slashes both separate; empty components, "." and ".." are
// dropped so a path can never leave the device folder.
std::filesystem::path DevicePath(std::wstring_view handheldPath);

}  // namespace cirrodex::platform
