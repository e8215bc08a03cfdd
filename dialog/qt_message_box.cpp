#include "dialog/qt_message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <cstdio>

#include "dialog/dialog_controls.h"
#include "platform/text.h"

namespace cirrodex {

int QtMessageBoxHandler::Show(platform::HWND /*owner*/, std::wstring_view text,
                              std::wstring_view caption, unsigned type) {
  const bool question = (type & 0xF) == platform::MB_OKCANCEL;
  if (QThread::currentThread() != qApp->thread() ||
      QGuiApplication::platformName() == "offscreen") {
    std::fprintf(stderr, "%s: %s\n", platform::ToUtf8(caption).c_str(),
                 platform::ToUtf8(text).c_str());
    return question ? platform::IDCANCEL : platform::IDOK;
  }
  QMessageBox box(question ? QMessageBox::Question : QMessageBox::Information, ToQString(caption),
                  ToQString(text),
                  question ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                  QApplication::activeWindow());
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::Ok);
  return box.exec() == QMessageBox::Ok ? platform::IDOK : platform::IDCANCEL;
}

}  // namespace cirrodex
