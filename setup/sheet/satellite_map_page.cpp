#include "setup/sheet/satellite_map_page.h"

namespace cirrodex {

namespace {

constexpr ControlTemplate kControls[] = {
    {ControlKind::Static, kNoControlId, L"Satellite Image URL Path", 7, 7, 80, 8},
    {ControlKind::DefaultPushButton, kMapUpdateButtonId, L"Update", 100, 5, 32, 13},
    {ControlKind::Edit, kMapUrlEditId, L"", 1, 20, 159, 12, kBorder | kAutoHScroll},
};

constexpr DialogTemplate kTemplate{140, L"Satellite", kPageWidthDlu, kPageHeightDlu, kControls};

}  // namespace

CSatelliteMap::CSatelliteMap(WeatherMapSet& maps)
    : MapUrlPage(kTemplate, MapKind::Satellite, maps) {}

}  // namespace cirrodex
