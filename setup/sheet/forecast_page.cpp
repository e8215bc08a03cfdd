#include "setup/sheet/forecast_page.h"

#include "core/detail_drawing.h"
#include "core/spoken_text.h"
#include "core/summary_drawing.h"
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
  const platform::Rect area{client.left(), client.top(), client.left() + client.width(),
                            client.top() + client.height()};
  // The condition texts touch the icons above them, which are white: the rows keep the Today
  // screen's colours.
  OnStripColours(dc, area, [&] {
    DrawForecastDetails(*report, dc, area.left, area.top, area.right, area.bottom,
                        InstallFolder(*report), StoredTemperatureUnit());
  });
}

std::wstring CForecast::DescribePaint(const std::vector<std::wstring>& drawn) {
  return SpokenLines(drawn);
}

}  // namespace cirrodex
