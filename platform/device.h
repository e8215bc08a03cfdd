// The device folder: every handheld path the system speaks of lives under one folder on disk.
#pragma once

#include <filesystem>
#include <string_view>

namespace cirrodex::platform {

// The device folder: $CIRRODEX_DEVICE when set and non-empty, else
// ~/.local/share/cirrodex/device. Created (with parents) when missing; read on every call so
// tests can point it elsewhere.
std::filesystem::path DeviceRoot();

// Maps a handheld path such as "\program files\velbrook\nimbrel\bmp\5.bmp" to its file under the
// device folder. Backslashes and slashes both separate; empty components, "." and ".." are
// dropped so a path can never leave the device folder.
std::filesystem::path DevicePath(std::wstring_view handheldPath);

}  // namespace cirrodex::platform
