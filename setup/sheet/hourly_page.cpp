#include "setup/sheet/hourly_page.h"

#include <ctime>

#include "core/hourly_drawing.h"
#include "core/hourly_store.h"
#include "core/settings.h"
#include "core/spoken_text.h"
#include "setup/sheet/city_refresh.h"

namespace cirrodex {

namespace {

constexpr DialogTemplate kTemplate{141, L"Hourly", kPageWidthDlu, kPageHeightDlu, {}};

// The selected city's name as the city list holds it; the feed's when the list has none.
std::wstring SelectedCityName(const WeatherReport& report) {
  const CityList& list = Cities();
  const int32_t selected = list.selectedCity;
  if (selected >= 0 && selected < kCitySlots &&
      list.slots[static_cast<size_t>(selected)].name[0] != L'\0') {
    return list.slots[static_cast<size_t>(selected)].name;
  }
  return report.city;
}

}  // namespace

CHourly::CHourly() : PropertyPage(kTemplate) {}

bool CHourly::OnInitDialog() {
  PropertyPage::OnInitDialog();
  RefreshUntriedCities();
  return true;
}

void CHourly::OnPaint(platform::DrawingContext& dc) {
  WeatherReport* report = SelectedReport();
  if (report == nullptr) return;
  const QRect client = Window()->rect();
  const auto forecast = LoadStoredHourlyForecast(SelectedSlotCode());
  DrawHourlyForecast(forecast ? &*forecast : nullptr, SelectedCityName(*report), dc,
                     platform::Rect{client.left(), client.top(), client.left() + client.width(),
                                    client.top() + client.height()},
                     std::time(nullptr), InstallFolder(*report), StoredTemperatureUnit(),
                     report->fonts.small);
}

std::wstring CHourly::DescribePaint(const std::vector<std::wstring>& drawn) {
  return SpokenLines(drawn);
}

}  // namespace cirrodex
