// Message boxes, behind a replaceable handler: the Qt programs show real dialogs, programs
// without a display print to stderr, and tests answer and record the questions.
#pragma once

#include <string>
#include <string_view>

namespace cirrodex::platform {

// A window of the windows layer; null means "no owner".
struct Window;
using HWND = Window*;

inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

class MessageBoxHandler {
 public:
  virtual ~MessageBoxHandler() = default;
  // Returns the button pressed (IDOK or IDCANCEL).
  virtual int Show(HWND owner, std::wstring_view text, std::wstring_view caption,
                   unsigned type) = 0;
};

// Shows a message box through the installed handler. Without one the text goes to stderr and the
// answer is IDOK for MB_OK and IDCANCEL for MB_OKCANCEL (an unattended run never confirms).
int MessageBox(HWND owner, std::wstring_view text, std::wstring_view caption, unsigned type);

// Installs `handler` (not owned; null restores the default). Returns the previous one.
MessageBoxHandler* SetMessageBoxHandler(MessageBoxHandler* handler);

}  // namespace cirrodex::platform
