// The setup program's property sheet, "Cirrodex Setup": its pages as members, built in member
// order and destroyed in reverse (the Setup and Locations pages store their values as they go),
// shown in tab order.
#pragma once

#include <string>

#include "dialog/property_sheet.h"
#include "setup/sheet/about_page.h"
#include "setup/sheet/compare_weather_page.h"
#include "setup/sheet/configure_page.h"
#include "setup/sheet/current_weather_page.h"
#include "setup/sheet/forecast_page.h"
#include "setup/sheet/hourly_page.h"
#include "setup/sheet/install_page.h"
#include "setup/sheet/locations_page.h"
#include "setup/sheet/satellite_map_page.h"
#include "setup/sheet/weather_icon_page.h"
#include "setup/sheet/weather_maps_page.h"

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
  CHourly hourly_;
};

}  // namespace cirrodex
