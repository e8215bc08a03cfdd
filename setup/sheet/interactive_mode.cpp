#include "setup/sheet/interactive_mode.h"

#include <QApplication>
#include <memory>

#include "dialog/display_loss.h"
#include "dialog/program_name.h"
#include "dialog/qt_message_box.h"
#include "setup/sheet/gantrel_dlg.h"
#include "setup/sheet/single_sheet.h"

namespace cirrodex {

void ChooseStartPage(CGantrelDlg& sheet, StartMode mode) {
  if (mode == StartMode::Current) {
    sheet.SetActivePage(&sheet.current_);
  } else if (mode == StartMode::Forecast) {
    sheet.SetActivePage(&sheet.forecast_);
  } else if (mode == StartMode::Hourly) {
    sheet.SetActivePage(&sheet.hourly_);
  }
}

int RunInteractiveMode(int& argc, char** argv, StartMode mode) {
  QApplication application(argc, argv);
  NameProgramWindows("cirrodex-setup");
  // Two sheets would each save their own pages over the other's.
  const QString socket = SheetSocketPath();
  if (HandOverToOpenSheet(socket, mode)) return 0;
  SheetListener listener;
  if (!socket.isEmpty() && !listener.Listen(socket) && HandOverToOpenSheet(socket, mode)) {
    return 0;
  }
  EndWhenTheDisplayGoes("gantrel", nullptr);
  QtMessageBoxHandler messageBoxes;
  platform::MessageBoxHandler* previous = platform::SetMessageBoxHandler(&messageBoxes);
  {
    auto sheet = std::make_unique<CGantrelDlg>(kSheetCaption, nullptr, 0);
    ChooseStartPage(*sheet, mode);
    listener.OnStart([&sheet](StartMode asked) {
      if (asked == StartMode::FirstPage) sheet->SetActivePage(0);
      ChooseStartPage(*sheet, asked);
      if (QDialog* window = sheet->Window()) {
        window->showNormal();
        window->raise();
        window->activateWindow();
      }
    });
    sheet->DoModal();
    listener.OnStart(nullptr);
  }
  platform::SetMessageBoxHandler(previous);
  return 0;
}

}  // namespace cirrodex
