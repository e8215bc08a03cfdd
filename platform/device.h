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
// (with parents) when missing; read on every call so tests can point it elsewhere.
std::filesystem::path DeviceRoot();

// ~/.local/share/cirrodex/device, the home folder being $HOME or, without it, the one of the
// user's account entry; never a shared folder such as /tmp. Empty when neither names a home.
std::filesystem::path DefaultDeviceRoot();

// Why the device folder `root` must not be used (empty when it may): it is missing or not a
// folder, or others can write to it and so could replace the registry and the programs in it.
std::string DeviceRootProblem(const std::filesystem::path& root);

// Maps a handheld path such as "\program files\velbrook\nimbrel\bmp\5.bmp" to its file under the
// device folder. Backslashes and slashes both separate; empty components, "." and ".." are
// dropped so a path can never leave the device folder.
std::filesystem::path DevicePath(std::wstring_view handheldPath);

}  // namespace cirrodex::platform
