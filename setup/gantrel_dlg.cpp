#include "setup/gantrel_dlg.h"

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
  // The Radar, Satellite and Icon pages take tabs 7 to 9 here.
  AddPage(&about_);
  LoadCityList();
}

}  // namespace cirrodex
