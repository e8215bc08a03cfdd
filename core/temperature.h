// Temperatures with their own unit and validity, the five scales, and the unit-bearing texts of
// the summaries (temperature, pressure in millibars, wind speed in miles per hour).
#pragma once

#include <cstdint>
#include <string>

namespace cirrodex {

class WeatherReport;

// Stored "TemperatureUnits" codes. Any other code behaves as Celsius, as source and as target.
enum TemperatureUnit : int32_t {
  kCelsius = 0,
  kFahrenheit = 1,
  kKelvin = 2,
  kReaumur = 3,
  kRankine = 4,
};

inline constexpr double kMissingTemperature = -9999.9;

// A plain value copied by value. New values are not valid and read -9999.9 in unit 0.
struct TemperatureValue {
  double value = kMissingTemperature;
  bool valid = false;
  int32_t unit = kCelsius;

  void Set(double v, int32_t u) {
    value = v;
    unit = u;
    valid = true;
  }
};

// The value in `target`; -9999.9 for a value that is not valid. Same unit: returned bit for bit.
double ConvertTemperature(const TemperatureValue& t, int32_t target);
// ConvertTemperature rounded half away from zero (-3.5 gives -4, 21.5 gives 22), clamped to
// 32 bits.
int32_t TemperatureAsInteger(const TemperatureValue& t, int32_t target);
// "??" for an invalid value; precision 1 "%2.1lf", 2 "%2.2lf", anything else the integer form;
// each followed by the target's suffix ("ºC", "ºF", "K", "ºR", "R"; U+00BA, not the degree sign).
std::wstring FormatTemperature(const TemperatureValue& t, int32_t target, int precision);
// The suffix of a unit code ("ºC" for codes outside 0-4).
const wchar_t* TemperatureSuffix(int32_t unit);

// Block 0 pressure (inches of mercury) x 33.7685, truncated toward zero.
int32_t PressureMillibars(const WeatherReport& report);
// 400 <= millibars <= 1500.
bool PressureIsPlausible(const WeatherReport& report);
// "%dmBar" when plausible, else empty.
std::wstring FormatPressure(const WeatherReport& report);
// "%dmph" of block 0's wind speed when 0..180, else empty.
std::wstring FormatWindSpeed(const WeatherReport& report);

}  // namespace cirrodex
