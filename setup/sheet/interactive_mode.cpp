#include "setup/sheet/interactive_mode.h"

#include <QApplication>
#include <memory>

#include "dialog/display_loss.h"
#include "dialog/qt_message_box.h"
#include "setup/sheet/gantrel_dlg.h"

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
  EndWhenTheDisplayGoes("gantrel", nullptr);
  QtMessageBoxHandler messageBoxes;
  platform::MessageBoxHandler* previous = platform::SetMessageBoxHandler(&messageBoxes);
  {
    auto sheet = std::make_unique<CGantrelDlg>(kSheetCaption, nullptr, 0);
    ChooseStartPage(*sheet, mode);
    sheet->DoModal();
  }
  platform::SetMessageBoxHandler(previous);
  return 0;
}

}  // namespace cirrodex
