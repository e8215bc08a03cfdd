#include "setup/sheet/gantrel_dlg.h"

#include "core/settings.h"

namespace cirrodex {

CGantrelDlg::CGantrelDlg(std::wstring caption, QWidget* parent, int startPage)
    : PropertySheet(std::move(caption), parent, startPage) {
  AddPage(&install_);
  AddPage(&configure_);
  AddPage(&locations_);
  AddPage(&current_);
  AddPage(&forecast_);
  AddPage(&compare_);
  AddPage(&radar_);
  AddPage(&satellite_);
  AddPage(&icon_);
  AddPage(&about_);
  LoadCityList();
}

}  // namespace cirrodex
