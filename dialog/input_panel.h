// The input panel (the handheld's on-screen keyboard) that pages show while an edit has the focus.
#pragma once

#include <QWidget>

namespace cirrodex {

// The platform's window class of the input panel.
inline constexpr char kInputPanelClass[] = "SipWndClass";
// The property that gives a top-level widget a window class name.
inline constexpr char kWindowClassProperty[] = "windowClass";

// The top-level widget whose window class is "SipWndClass", or null (a desktop has none).
QWidget* FindInputPanel();

// Shows (true) or hides (false) the input panel. When there is none, returns true and does
// nothing; otherwise returns whether the panel was visible before, as the platform's show call.
bool ShowInputPanel(bool show);

}  // namespace cirrodex
