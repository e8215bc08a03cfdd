// Message boxes as Qt dialogs.
#pragma once

#include "platform/message_box.h"

namespace cirrodex {

// Shows each message box as a modal QMessageBox over the active window. Called off the
// application's thread, or on the offscreen platform where nobody could answer, it prints the box
// on stderr instead and answers as an unattended run would (IDOK for MB_OK, IDCANCEL for
// MB_OKCANCEL). Needs a QApplication.
class QtMessageBoxHandler : public platform::MessageBoxHandler {
 public:
  int Show(platform::HWND owner, std::wstring_view text, std::wstring_view caption,
           unsigned type) override;
};

}  // namespace cirrodex
