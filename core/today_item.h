// The Today item registration: the key the Today screen reads its items from, the module value
// that makes Cirrodex one of them, and the notification that has the screen pick a change up.
#pragma once

#include <string>

namespace cirrodex {

inline constexpr wchar_t kTodayItemName[] = L"Cirrodex";
inline constexpr wchar_t kTodayItemModule[] = L"\\windows\\cirrodex.dll";

// "Software\Microsoft\Today\Items\Cirrodex", under HKEY_LOCAL_MACHINE.
std::wstring TodayItemKey();

// Writes "DLL" = "\windows\cirrodex.dll" (creating the key when it is missing).
bool WriteTodayItemModule();
// Deletes the "DLL" value; the key stays.
bool DeleteTodayItemModule();
// Deletes the item key with everything below it.
bool DeleteTodayItem();
// Tells every running Today screen to re-read its items, without waiting for any of them.
void SendTodayRefreshNotification();

// What the Install button does: default settings where missing, the "DLL" value, the
// notification. False when the "DLL" value could not be written.
bool InstallTodayItem();

}  // namespace cirrodex
