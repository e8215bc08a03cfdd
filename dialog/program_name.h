// The name a Qt program's windows carry for the desktop.
#pragma once

namespace cirrodex {

// Names the program's windows `name` whatever its file is called ("Gantrel.exe" through the
// device folder's link, "gantrel" from a shell): the X11 class and instance (WM_CLASS) and the
// Wayland app id, so that a desktop entry's StartupWMClass finds them. Call after the application
// object is made and before its first window.
void NameProgramWindows(const char* name);

}  // namespace cirrodex
