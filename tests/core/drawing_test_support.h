// A filled weather report and a settable clock for the drawing tests.
#pragma once

#include <string>

#include "core/weather_report.h"
#include "platform/clock.h"
#include "platform/recording_context.h"
#include "tests/support/temp_device.h"

namespace cirrodex::testing {

// Installs a fixed clock for its lifetime. The default stands on Wednesday 14 May 2025.
class ClockOverride {
 public:
  explicit ClockOverride(platform::SystemTime time = {2025, 5, 3, 14, 15, 0, 0, 0}) : clock_(time) {
    platform::SetClockForTesting(&clock_);
  }
  ~ClockOverride() { platform::SetClockForTesting(nullptr); }
  void SetDayOfWeek(uint16_t day) {
    platform::SystemTime t = clock_.LocalTime();
    t.dayOfWeek = day;
    clock_.Set(t);
  }

 private:
  platform::FixedClock clock_;
};

// London on Wednesday 14 May 2025, today merged into block 0: 59ºF now (15ºC), 64/50ºF (18/10ºC).
// Forecast day k (block k + 1) has weekday 4 + k (Wednesday on, wrapping to Sunday = 1), icon
// kDayIcons[k], rain chance 10 * (k + 1), high 60 + k and low 40 + k in Fahrenheit.
inline constexpr int kDayIcons[5] = {32, 12, 40, 26, 28};

inline void FillReport(WeatherReport& report) {
  CopyText(report.city, L"London");
  CopyText(report.country, L"United Kingdom");
  CopyText(report.conditionText, L"Partly Cloudy");
  CopyText(report.lastUpdated, L"14/05/2025 14:20:00 GMT");
  ForecastDay& now = report.blocks[0];
  now.temperature.Set(59.0, kFahrenheit);
  now.highTemperature.Set(64.0, kFahrenheit);
  now.lowTemperature.Set(50.0, kFahrenheit);
  now.feelsLike.Set(57.0, kFahrenheit);
  now.dayIcon = 30;
  now.nightIcon = 29;
  now.windSpeed = 12;
  CopyText(now.windDirection, L"WSW");
  now.pressure = 29.92;
  now.rainChance = 10;
  now.humidity = 72;
  now.uvIndex = 3;
  now.visibility = 10;
  now.weekday = 4;
  for (int k = 0; k < 5; ++k) {
    ForecastDay& day = report.blocks[k + 1];
    day.weekday = (3 + k) % 7 + 1;
    day.dayIcon = kDayIcons[k];
    day.nightIcon = kDayIcons[k] + 1;
    day.dayTextCode = 4;
    day.nightTextCode = 11;
    day.rainChance = 10 * (k + 1);
    day.highTemperature.Set(60.0 + k, kFahrenheit);
    day.lowTemperature.Set(40.0 + k, kFahrenheit);
  }
  report.downloadResult = 200;
}

// The texts drawn, in order.
inline std::vector<platform::RecordingContext::Call> Texts(const platform::RecordingContext& dc) {
  return dc.CallsOf(platform::RecordingContext::Kind::Text);
}

}  // namespace cirrodex::testing
