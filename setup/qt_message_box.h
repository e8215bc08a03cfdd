// Message boxes of the setup program as Qt dialogs.
#pragma once

#include "platform/message_box.h"

namespace cirrodex {

// Shows each message box as a modal QMessageBox over the active window. Needs a QApplication.
class QtMessageBoxHandler : public platform::MessageBoxHandler {
 public:
  int Show(platform::HWND owner, std::wstring_view text, std::wstring_view caption,
           unsigned type) override;
};

}  // namespace cirrodex
