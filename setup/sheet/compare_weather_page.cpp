#include "setup/sheet/compare_weather_page.h"

#include "core/settings.h"
#include "core/spoken_text.h"
#include "core/summary_drawing.h"
#include "core/units.h"
#include "setup/sheet/city_refresh.h"
#include "update/update_run.h"

namespace cirrodex {

namespace {

constexpr DialogTemplate kTemplate{136, L"Compare", kPageWidthDlu, kPageHeightDlu, {}};

}  // namespace

CCompareWeather::CCompareWeather() : PropertyPage(kTemplate) {}

bool CCompareWeather::OnInitDialog() {
  PropertyPage::OnInitDialog();
  RefreshUntriedCities();
  return true;
}

void CCompareWeather::DrawRows(platform::DrawingContext& dc, int left, int top, int32_t unit) {
  const int height = SummaryHeight(kCompareLayout);
  const CityList& list = Cities();
  auto& reports = CityReports();
  const MeasureUnits units = ReadMeasureUnits();
  int y = top;
  for (size_t i = 0; i < kCitySlots; ++i) {
    if (list.slots[i].code[0] == L'\0') continue;
    WeatherReport& report = reports[i];
    OnStripColours(dc, StripRect(kCompareLayout, left, y), [&] {
      DrawStrip(report, dc, kCompareLayout, unit, units, StatusLine::Hidden, -1, left, y);
    });
    y += height + kCompareRowGap;
  }
}

void CCompareWeather::OnPaint(platform::DrawingContext& dc) {
  const QRect client = Window()->rect();
  DrawRows(dc, client.left(), client.top(), StoredTemperatureUnit());
}

// Each row read as the Today strip is: the same drawing, recorded strip by strip.
std::wstring CCompareWeather::DescribePaint(const std::vector<std::wstring>& /*drawn*/) {
  const CityList& list = Cities();
  auto& reports = CityReports();
  const int32_t unit = StoredTemperatureUnit();
  const MeasureUnits units = ReadMeasureUnits();
  std::wstring text;
  for (size_t i = 0; i < kCitySlots; ++i) {
    if (list.slots[i].code[0] == L'\0') continue;
    if (!text.empty()) text += L'\n';
    text += SummaryText(reports[i], kCompareLayout, unit, units);
  }
  return text;
}

}  // namespace cirrodex
