#include "setup/sheet/current_weather_page.h"

#include "core/detail_drawing.h"
#include "core/spoken_text.h"
#include "core/units.h"
#include "setup/sheet/city_refresh.h"

namespace cirrodex {

namespace {

constexpr DialogTemplate kTemplate{130, L"Current", kPageWidthDlu, kPageHeightDlu, {}};

// The details use the top 230 pixels of the page.
constexpr int kDetailsHeight = 230;

}  // namespace

CCurrentWeather::CCurrentWeather() : PropertyPage(kTemplate) {}

bool CCurrentWeather::OnInitDialog() {
  PropertyPage::OnInitDialog();
  RefreshUntriedCities();
  return true;
}

void CCurrentWeather::OnPaint(platform::DrawingContext& dc) {
  WeatherReport* report = SelectedReport();
  if (report == nullptr) return;
  const QRect client = Window()->rect();
  DrawCurrentDetails(*report, dc, client.left(), client.top(), client.left() + client.width(),
                     client.top() + kDetailsHeight, InstallFolder(*report), StoredTemperatureUnit(),
                     ReadMeasureUnits());
}

// The lines as drawn, with the graphs' summaries where the graphs stand.
std::wstring CCurrentWeather::DescribePaint(const std::vector<std::wstring>& drawn) {
  return SpokenLines(drawn);
}

}  // namespace cirrodex
