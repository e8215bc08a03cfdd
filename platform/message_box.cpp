#include "platform/message_box.h"

#include <atomic>
#include <cstdio>

#include "platform/text.h"

namespace cirrodex::platform {

namespace {
std::atomic<MessageBoxHandler*> g_handler{nullptr};
}  // namespace

int MessageBox(HWND owner, std::wstring_view text, std::wstring_view caption, unsigned type) {
  if (MessageBoxHandler* handler = g_handler.load()) {
    return handler->Show(owner, text, caption, type);
  }
  std::fprintf(stderr, "%s: %s\n", ToUtf8(caption).c_str(), ToUtf8(text).c_str());
  return (type & 0xF) == MB_OKCANCEL ? IDCANCEL : IDOK;
}

MessageBoxHandler* SetMessageBoxHandler(MessageBoxHandler* handler) {
  return g_handler.exchange(handler);
}

}  // namespace cirrodex::platform
