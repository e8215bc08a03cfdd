#include "setup/qt_message_box.h"

#include <QApplication>
#include <QMessageBox>

#include "setup/dialog_controls.h"

namespace cirrodex {

int QtMessageBoxHandler::Show(platform::HWND /*owner*/, std::wstring_view text,
                              std::wstring_view caption, unsigned type) {
  const bool question = (type & 0xF) == platform::MB_OKCANCEL;
  QMessageBox box(question ? QMessageBox::Question : QMessageBox::Information, ToQString(caption),
                  ToQString(text),
                  question ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                  QApplication::activeWindow());
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::Ok);
  return box.exec() == QMessageBox::Ok ? platform::IDOK : platform::IDCANCEL;
}

}  // namespace cirrodex
