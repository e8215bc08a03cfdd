#include "dialog/wait_cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace cirrodex {

namespace {

class OverrideCursor : public WaitCursorHandler {
 public:
  void Begin() override {
    if (QGuiApplication::instance() != nullptr) {
      QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
  }
  void End() override {
    if (QGuiApplication::instance() != nullptr) QGuiApplication::restoreOverrideCursor();
  }
};

OverrideCursor g_overrideCursor;
WaitCursorHandler* g_handler = &g_overrideCursor;

}  // namespace

WaitCursorHandler* SetWaitCursorHandler(WaitCursorHandler* handler) {
  WaitCursorHandler* previous = g_handler;
  g_handler = handler != nullptr ? handler : &g_overrideCursor;
  return previous == &g_overrideCursor ? nullptr : previous;
}

// The handler is kept so that a handler swapped during the wait still gets its End.
WaitCursor::WaitCursor() : handler_(g_handler) { handler_->Begin(); }
WaitCursor::~WaitCursor() { handler_->End(); }

}  // namespace cirrodex
