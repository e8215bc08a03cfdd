#include "core/temperature.h"

#include <cmath>

#include "core/format.h"
#include "core/weather_report.h"

namespace cirrodex {

namespace {

// The exact constants of the conversions. The ninths are multiplied, never divided, so that the
// results match the stored history bit for bit.
constexpr double kKelvinOffset = 273.15;
constexpr double kNineFifths = 1.8;
constexpr double kFreezingF = 32.0;
constexpr double kFiveFourths = 1.25;
constexpr double kRankineOffset = 459.67;
constexpr double kFreezingRankine = 491.67;
constexpr double kFourFifths = 0.8;
constexpr double kFiveNinths = 0.5555555555555556;
constexpr double kFourNinths = 0.4444444444444445;

constexpr double kInchesToMillibars = 33.7685;

// Codes outside 1-4 are Celsius, as source and as target.
int32_t Scale(int32_t unit) { return unit >= kFahrenheit && unit <= kRankine ? unit : kCelsius; }

}  // namespace

double ConvertTemperature(const TemperatureValue& t, int32_t target) {
  if (!t.valid) return kMissingTemperature;
  if (target == t.unit) return t.value;
  const double v = t.value;
  switch (Scale(t.unit)) {
    case kFahrenheit:
      switch (Scale(target)) {
        case kFahrenheit:
          return v;
        case kKelvin:
          return (v - kFreezingF) * kFiveNinths + kKelvinOffset;
        case kReaumur:
          return (v - kFreezingF) * kFourNinths;
        case kRankine:
          return v + kRankineOffset;
        default:
          return (v - kFreezingF) * kFiveNinths;
      }
    case kKelvin:
      switch (Scale(target)) {
        case kFahrenheit:
          return (v - kKelvinOffset) * kNineFifths + kFreezingF;
        case kKelvin:
          return v;
        case kReaumur:
          return (v - kKelvinOffset) * kFourFifths;
        case kRankine:
          return (v - kKelvinOffset) * kNineFifths + kFreezingRankine;
        default:
          return v - kKelvinOffset;
      }
    case kReaumur:
      switch (Scale(target)) {
        case kFahrenheit:
          return v * kFiveFourths * kNineFifths + kFreezingF;
        case kKelvin:
          return v * kFiveFourths + kKelvinOffset;
        case kReaumur:
          return v;
        case kRankine:
          return v * kFiveFourths * kNineFifths + kFreezingRankine;
        default:
          return v * kFiveFourths;
      }
    case kRankine:
      switch (Scale(target)) {
        case kFahrenheit:
          return v - kRankineOffset;
        case kKelvin:
          return ((v - kRankineOffset) - kFreezingF) * kFiveNinths + kKelvinOffset;
        case kReaumur:
          return ((v - kRankineOffset) - kFreezingF) * kFourNinths;
        case kRankine:
          return v;
        default:
          return ((v - kRankineOffset) - kFreezingF) * kFiveNinths;
      }
    default:
      switch (Scale(target)) {
        case kFahrenheit:
          return v * kNineFifths + kFreezingF;
        case kKelvin:
          return v + kKelvinOffset;
        case kReaumur:
          return v * kFourFifths;
        case kRankine:
          return v * kNineFifths + kFreezingRankine;
        default:
          return v;
      }
  }
}

int32_t TemperatureAsInteger(const TemperatureValue& t, int32_t target) {
  // Half away from zero: adding a half and truncating would show -3.7 as -3, every temperature
  // below freezing one degree too warm.
  return TruncateToInt32(std::round(ConvertTemperature(t, target)));
}

const wchar_t* TemperatureSuffix(int32_t unit) {
  switch (Scale(unit)) {
    case kFahrenheit:
      return L"\u00BAF";
    case kKelvin:
      return L"K";
    case kReaumur:
      return L"\u00BAR";
    case kRankine:
      return L"R";
    default:
      return L"\u00BAC";
  }
}

std::wstring FormatTemperature(const TemperatureValue& t, int32_t target, int precision) {
  if (!t.valid) return L"??";
  const wchar_t* suffix = TemperatureSuffix(target);
  if (precision == 1 || precision == 2) {
    return FormatFixed(ConvertTemperature(t, target), 2, precision) + suffix;
  }
  return WFormat(L"%d%ls", TemperatureAsInteger(t, target), suffix);
}

int32_t PressureMillibars(const WeatherReport& report) {
  return TruncateToInt32(report.blocks[0].pressure * kInchesToMillibars);
}

bool PressureIsPlausible(const WeatherReport& report) {
  int32_t millibars = PressureMillibars(report);
  return millibars >= 400 && millibars <= 1500;
}

std::wstring FormatPressure(const WeatherReport& report) {
  if (!PressureIsPlausible(report)) return std::wstring();
  return WFormat(L"%dmBar", PressureMillibars(report));
}

std::wstring FormatWindSpeed(const WeatherReport& report) {
  int32_t speed = report.blocks[0].windSpeed;
  if (speed < 0 || speed > 180) return std::wstring();
  return WFormat(L"%dmph", speed);
}

}  // namespace cirrodex
