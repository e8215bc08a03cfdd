#include "setup/sheet/about_page.h"

namespace cirrodex {

namespace {

constexpr ControlTemplate kControls[] = {
    {ControlKind::Static, kNoControlId,
     L"Cirrodex\n"
     L"Weather for the Today screen\n"
     L"Revision 96\n"
     L"\n"
     L"Shows the weather of your home city and up to five visiting cities, with forecasts, "
     L"history graphs and radar and satellite maps, and keeps it up to date on your schedule.\n"
     L"\n"
     L"Velbrook\n"
     L"Free to use and to pass on unchanged.\n"
     L"\n"
     L"Weather data by Open-Meteo.com (CC BY 4.0)\n"
     L"https://open-meteo.com/\n"
     L"Places from GeoNames (CC BY 4.0)\n"
     L"https://www.geonames.org/\n"
     L"Radar by RainViewer\n"
     L"https://www.rainviewer.com/\n"
     L"Satellite imagery by NASA GIBS\n"
     L"https://www.earthdata.nasa.gov/gibs",
     2, 5, 159, 200},
};

constexpr DialogTemplate kTemplate{134, L"About", kPageWidthDlu, kPageHeightDlu, kControls};

}  // namespace

CAbout::CAbout() : PropertyPage(kTemplate) {}

}  // namespace cirrodex
