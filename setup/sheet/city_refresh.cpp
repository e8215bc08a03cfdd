#include "setup/sheet/city_refresh.h"

#include "core/settings.h"
#include "dialog/wait_cursor.h"
#include "update/update_run.h"

namespace cirrodex {

void RefreshUntriedCities() {
  WaitCursor wait;
  UpdateAllCities(true);
}

WeatherReport* SelectedReport() {
  const int32_t selected = Cities().selectedCity;
  if (selected < 0 || selected >= kCitySlots) return nullptr;
  return &CityReports()[static_cast<size_t>(selected)];
}

std::wstring SelectedSlotCode() {
  const CityList& list = Cities();
  const int32_t selected = list.selectedCity;
  if (selected < 0) return StoredSelectedCityCode();
  if (selected >= kCitySlots) return kFallbackCityCode;
  const wchar_t* code = list.slots[static_cast<size_t>(selected)].code;
  return code[0] == L'\0' ? std::wstring(kFallbackCityCode) : CityCodeOf(code);
}

int32_t StoredTemperatureUnit() {
  return static_cast<int32_t>(ReadSetting(kTemperatureUnits, SettingsReader::SetupProgram));
}

}  // namespace cirrodex
