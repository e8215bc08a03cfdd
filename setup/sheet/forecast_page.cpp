#include "setup/sheet/forecast_page.h"

#include "core/detail_drawing.h"
#include "core/spoken_text.h"
#include "setup/sheet/city_refresh.h"

namespace cirrodex {

namespace {

constexpr DialogTemplate kTemplate{133, L"Forecast", kPageWidthDlu, kPageHeightDlu, {}};

}  // namespace

CForecast::CForecast() : PropertyPage(kTemplate) {}

bool CForecast::OnInitDialog() {
  PropertyPage::OnInitDialog();
  RefreshUntriedCities();
  return true;
}

void CForecast::OnPaint(platform::DrawingContext& dc) {
  WeatherReport* report = SelectedReport();
  if (report == nullptr) return;
  const QRect client = Window()->rect();
  DrawForecastDetails(*report, dc, client.left(), client.top(), client.left() + client.width(),
                      client.top() + client.height(), InstallFolder(*report),
                      StoredTemperatureUnit());
}

std::wstring CForecast::DescribePaint(const std::vector<std::wstring>& drawn) {
  return SpokenLines(drawn);
}

}  // namespace cirrodex
