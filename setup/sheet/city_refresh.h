// What the pages that show weather share: the refresh when they are first shown, and the report
// and unit they draw.
#pragma once

#include <cstdint>
#include <string>

#include "core/weather_report.h"

namespace cirrodex {

// Under the wait cursor, downloads every configured city not yet tried in this run (each primed
// from its stored feed first).
void RefreshUntriedCities();

// The report of the slot that the city list in memory selects; null when the selection is not
// one of the six slots.
WeatherReport* SelectedReport();

// The code of the slot that the city list in memory selects (the choice on the Locations page,
// saved or not), the fallback city's when that slot is empty or no slot; the stored selection's
// before the list is loaded. What "{city}" stands for in the sheet's maps.
std::wstring SelectedSlotCode();

// The stored "TemperatureUnits", as the setup program reads it.
int32_t StoredTemperatureUnit();

}  // namespace cirrodex
