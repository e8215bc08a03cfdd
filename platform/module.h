// Loading a module (a plug-in) given as a handheld path, and finding its exports by ordinal.
#pragma once

#include <string>
#include <string_view>

#include "platform/window.h"

namespace cirrodex::platform {

// The exports a Today item module has, by ordinal, and the names they carry on this system.
inline constexpr int kOrdinalInitializeCustomItem = 240;
inline constexpr int kOrdinalCustomItemOptionsDlgProc = 241;

// Loads the module file that `handheldPath` names under the device folder; null when it cannot be
// loaded (ModuleError() says why). Loading it again gives the same handle.
HINSTANCE LoadLibrary(std::wstring_view handheldPath);
// Unloads it once every LoadLibrary of it has been matched.
bool FreeLibrary(HINSTANCE module);
// The export of that ordinal; null when the ordinal is unknown or the module lacks it.
void* GetProcAddress(HINSTANCE module, int ordinal);
// Why the last LoadLibrary or GetProcAddress of the calling thread failed.
std::string ModuleError();

}  // namespace cirrodex::platform
