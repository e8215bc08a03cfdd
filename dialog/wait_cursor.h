// The wait cursor shown while the setup program downloads on its user-interface thread.
#pragma once

namespace cirrodex {

// What showing and removing the wait cursor does. Nested waits are counted by the caller.
class WaitCursorHandler {
 public:
  virtual ~WaitCursorHandler() = default;
  virtual void Begin() = 0;
  virtual void End() = 0;
};

// Installs `handler` (not owned; null restores the default, which sets Qt's override cursor when
// a QGuiApplication exists). Returns the previous one.
WaitCursorHandler* SetWaitCursorHandler(WaitCursorHandler* handler);

// Shows the wait cursor for its lifetime.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  WaitCursorHandler* handler_;
};

}  // namespace cirrodex
