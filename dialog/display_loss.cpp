#include "dialog/display_loss.h"

#include <QtGui/qguiapplication_platform.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QThread>
#include <cstdio>
#include <string>
#include <utility>

namespace cirrodex {

namespace {

std::string g_program;
std::function<void()> g_beforeExit;
QtMessageHandler g_qtHandler = nullptr;

bool X11ConnectionBroken() {
  auto* x11 =
      qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  // The offscreen platform answers as an X11 application too, with no connection.
  xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
  return connection != nullptr && xcb_connection_has_error(connection) != 0;
}

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  const bool mainThread = qApp != nullptr && QThread::currentThread() == qApp->thread();
  if (mainThread) {
    const bool x11Gone = X11ConnectionBroken();
    if (x11Gone || type == QtFatalMsg) {
      if (x11Gone) {
        std::fprintf(stderr, "%s: the X server closed the connection (the display went away)\n",
                     g_program.c_str());
      } else {
        std::fprintf(stderr, "%s: %s\n", g_program.c_str(), qPrintable(text));
      }
      if (g_beforeExit) g_beforeExit();
      std::fflush(nullptr);
      // Not exit(): no static may be destroyed under a thread that still runs, and nothing is
      // waited for on a bus that went with the display.
      _exit(1);
    }
  }
  if (g_qtHandler != nullptr) g_qtHandler(type, context, text);
}

}  // namespace

void EndWhenTheDisplayGoes(const char* program, std::function<void()> beforeExit) {
  g_program = program;
  g_beforeExit = std::move(beforeExit);
  const QtMessageHandler previous = qInstallMessageHandler(OnQtMessage);
  if (previous != OnQtMessage) g_qtHandler = previous;
}

}  // namespace cirrodex
