#include "setup/sheet/gantrel_dlg.h"

#include "core/settings.h"
#include "maps/weather_map_set.h"
#include "setup/sheet/city_refresh.h"

namespace cirrodex {

CGantrelDlg::CGantrelDlg(std::wstring caption, QWidget* parent, int startPage)
    : PropertySheet(std::move(caption), parent, startPage) {
  AddPage(&install_);
  AddPage(&configure_);
  AddPage(&locations_);
  AddPage(&current_);
  AddPage(&forecast_);
  AddPage(&hourly_);
  AddPage(&compare_);
  AddPage(&radar_);
  AddPage(&satellite_);
  AddPage(&icon_);
  AddPage(&about_);
  LoadCityList();
  // The maps follow the city chosen on the Locations page, as the Current page does.
  WeatherMaps().SetCityCodeSource(SelectedSlotCode);
}

}  // namespace cirrodex
