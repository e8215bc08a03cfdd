// What the host's panel icon shows of the item, and the panel menu's choice of city.
#include <algorithm>

#include "core/condition_texts.h"
#include "core/format.h"
#include "core/settings.h"
#include "core/temperature.h"
#include "today/item_state.h"

namespace cirrodex::today {

using namespace platform;

namespace {

template <size_t N>
void CopyInto(wchar_t (&buffer)[N], std::wstring_view text) {
  const size_t n = std::min(text.size(), N - 1);
  std::copy_n(text.data(), n, buffer);
  buffer[n] = L'\0';
}

}  // namespace

std::wstring PanelTemperature(const TemperatureValue& t, int32_t unit) {
  if (!t.valid) return {};
  // Kelvin and Rankine are absolute scales with no degree; a bare number keeps the icon short.
  const bool degrees = unit != kKelvin && unit != kRankine;
  return WFormat(degrees ? L"%d\u00B0" : L"%d", TemperatureAsInteger(t, unit));
}

LRESULT PanelInfo(TodayItemState& s, TODAYPANELINFO* info) {
  if (info == nullptr) return 0;
  {
    std::lock_guard lock(s.reportLock);
    const ForecastDay& now = s.report.blocks[0];
    CopyInto(info->iconPath,
             now.dayIcon > 0 ? IconPath(InstallFolder(s.report), now.dayIcon) : std::wstring());
    CopyInto(info->temperature, PanelTemperature(now.temperature, s.temperatureUnits));
  }
  {
    std::lock_guard lock(s.reportLock);
    CopyInto(info->rainNotice, s.rainNotice);
    info->rainNoticeSerial = s.rainNoticeSerial;
  }
  LoadCityList();
  info->selectedCity = SelectedCity();
  const CityList& list = Cities();
  for (int i = 0; i < kCitySlots && i < TODAYPANEL_CITIES; ++i) {
    const CityEntry& entry = list.slots[i];
    // A slot whose city has no name yet is shown by its code.
    const wchar_t* name = entry.name[0] != L'\0' ? entry.name : entry.code;
    CopyInto(info->cityNames[i], entry.code[0] != L'\0' ? name : L"");
  }
  return 1;
}

bool NoteRainOutlook(TodayItemState& s, const RainOutlook& outlook) {
  const SystemTime now = CurrentClock().LocalTime();
  RainNoticeContext context;
  context.enabled = ReadSetting(kRainNotices, SettingsReader::TodayItem) != 0;
  context.minuteOfDay = now.hour * 60u + now.minute;
  context.startUpdate = s.startUpdate;
  context.endUpdate = s.endUpdate;
  std::lock_guard lock(s.reportLock);
  const std::wstring notice =
      s.rainEpisodes.Consider(SelectedCityCode(), s.report.city, outlook, context);
  if (notice.empty()) return false;
  s.rainNotice = notice;
  ++s.rainNoticeSerial;
  return true;
}

LRESULT SelectCityFromPanel(TodayItemState& s, HWND window, WPARAM slot) {
  if (slot >= static_cast<WPARAM>(kCitySlots)) return 0;
  LoadCityList();
  if (Cities().slots[slot].code[0] == L'\0') return 0;
  {
    std::lock_guard lock(s.reportLock);
    SelectCity(static_cast<int32_t>(slot));
    LoadStoredWeather();
  }
  // As the Locations page downloads every city after a change, and the maps follow the new city.
  s.downloadDue = true;
  InvalidateRect(window, nullptr, true);
  return 1;
}

}  // namespace cirrodex::today
