// What a screen reader sees of the Today screen (Qt accessibility, and so AT-SPI): the screen, and
// in it one object per item, named and described by the item itself
// (WM_TODAYCUSTOM_GETACCESSIBLETEXT), focused with the keyboard selection and pressed with the
// action key.
#pragma once

#include "platform/window.h"

namespace cirrodex::host {

class TodayScreen;

// Lets Qt build the screen's accessible object. Idempotent.
void InstallTodayAccessibility();
// Tell a screen reader that the item of `window` took the focus, or that its texts changed.
void AnnounceItemFocus(TodayScreen* screen, platform::HWND window);
void AnnounceItemText(TodayScreen* screen, platform::HWND window, bool name, bool description);
// Drops the objects of items that are gone (after a reload).
void ForgetGoneItems(TodayScreen* screen);

}  // namespace cirrodex::host
