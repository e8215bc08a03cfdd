// The setup program's property sheet, "Cirrodex Setup": its pages as members, built in member
// order and destroyed in reverse (the Setup and Locations pages store their values as they go),
// shown in tab order.
#pragma once

#include <string>

#include "maps/satellite_map_page.h"
#include "maps/weather_icon_page.h"
#include "maps/weather_maps_page.h"
#include "setup/about_page.h"
#include "setup/compare_weather_page.h"
#include "setup/configure_page.h"
#include "setup/current_weather_page.h"
#include "setup/forecast_page.h"
#include "setup/install_page.h"
#include "setup/locations_page.h"
#include "setup/property_sheet.h"

namespace cirrodex {

inline constexpr wchar_t kSheetCaption[] = L"Cirrodex Setup";

class CGantrelDlg : public PropertySheet {
 public:
  // Builds the pages, adds them in tab order and loads the city list once more.
  CGantrelDlg(std::wstring caption = kSheetCaption, QWidget* parent = nullptr, int startPage = 0);

  // Member order, which is construction order; the tab order differs.
  Setup install_;
  CCurrentWeather current_;
  CGantrelDialog locations_;
  CConfigure configure_;
  CForecast forecast_;
  CAbout about_;
  CCompareWeather compare_;
  CWeatherMaps radar_;
  CSatelliteMap satellite_;
  CWeatherIcon icon_;
};

}  // namespace cirrodex
