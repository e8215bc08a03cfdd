#include "setup/sheet/weather_maps_page.h"

namespace cirrodex {

namespace {

constexpr ControlTemplate kControls[] = {
    {ControlKind::Static, kNoControlId, L"Radar Image URL Path", 7, 7, 80, 8},
    {ControlKind::DefaultPushButton, kMapUpdateButtonId, L"Update", 100, 5, 32, 13},
    {ControlKind::Edit, kMapUrlEditId, L"", 1, 20, 159, 12, kBorder | kAutoHScroll},
};

constexpr DialogTemplate kTemplate{137, L"Radar", kPageWidthDlu, kPageHeightDlu, kControls};

}  // namespace

CWeatherMaps::CWeatherMaps(WeatherMapSet& maps) : MapUrlPage(kTemplate, MapKind::Radar, maps) {}

}  // namespace cirrodex
