#include "core/units.h"

#include <cmath>

#include "core/format.h"
#include "core/settings.h"
#include "core/temperature.h"
#include "core/weather_report.h"

namespace cirrodex {

namespace {

constexpr double kInchesToMillibars = 33.7685;
constexpr double kMilesToKilometres = 1.609344;
constexpr double kInchesToMillimetres = 25.4;

// Half away from zero, as the temperatures are rounded.
std::wstring Rounded(double value, int decimals) {
  if (decimals == 0) return WFormat(L"%d", TruncateToInt32(std::round(value)));
  const double scale = std::pow(10.0, decimals);
  return FormatFixed(std::round(value * scale) / scale, 0, decimals);
}

int32_t InRange(int32_t code, int32_t count) { return code >= 0 && code < count ? code : 0; }

}  // namespace

MeasureUnits ValidUnits(MeasureUnits units) {
  units.wind = InRange(units.wind, kWindUnitCount);
  units.pressure = InRange(units.pressure, kPressureUnitCount);
  units.distance = InRange(units.distance, kDistanceUnitCount);
  return units;
}

MeasureUnits ReadMeasureUnits() {
  auto read = [](SettingRow row) {
    return static_cast<int32_t>(ReadSetting(row, SettingsReader::TodayItem));
  };
  return ValidUnits({read(kWindUnits), read(kPressureUnits), read(kDistanceUnits)});
}

const wchar_t* WindSuffix(int32_t unit) {
  static constexpr const wchar_t* kSuffixes[] = {L"mph", L"km/h", L"m/s", L"kn", L"Bft"};
  return kSuffixes[InRange(unit, kWindUnitCount)];
}

const wchar_t* PressureSuffix(int32_t unit) {
  static constexpr const wchar_t* kSuffixes[] = {L"mBar", L"hPa", L"inHg", L"mmHg", L"kPa"};
  return kSuffixes[InRange(unit, kPressureUnitCount)];
}

const wchar_t* DistanceSuffix(int32_t unit) {
  static constexpr const wchar_t* kSuffixes[] = {L"miles", L"km"};
  return kSuffixes[InRange(unit, kDistanceUnitCount)];
}

int32_t BeaufortForce(double mph) {
  // The highest speed of forces 0 to 11 in whole miles per hour.
  static constexpr double kUpperBounds[] = {0.5,  3.5,  7.5,  12.5, 18.5, 24.5,
                                            31.5, 38.5, 46.5, 54.5, 63.5, 72.5};
  int32_t force = 0;
  for (double bound : kUpperBounds) {
    if (mph >= bound) ++force;
  }
  return force;
}

std::wstring WindNumber(double mph, int32_t unit) {
  switch (InRange(unit, kWindUnitCount)) {
    case kKilometresPerHour:
      return Rounded(mph * kMilesToKilometres, 0);
    case kMetresPerSecond:
      return Rounded(mph * kMilesToKilometres / 3.6, 0);
    case kKnots:
      return Rounded(mph * kMilesToKilometres / 1.852, 0);
    case kBeaufort:
      return WFormat(L"%d", BeaufortForce(mph));
    default:
      return Rounded(mph, 0);
  }
}

std::wstring PressureNumber(double inches, int32_t unit) {
  const double millibars = inches * kInchesToMillibars;
  switch (InRange(unit, kPressureUnitCount)) {
    case kHectopascals:
      return Rounded(millibars, 0);
    case kInchesOfMercury:
      return Rounded(inches, 2);
    case kMillimetresOfMercury:
      return Rounded(inches * kInchesToMillimetres, 0);
    case kKilopascals:
      return Rounded(millibars / 10.0, 1);
    default:
      return WFormat(L"%d", TruncateToInt32(millibars));
  }
}

std::wstring DistanceNumber(double miles, int32_t unit) {
  return Rounded(
      InRange(unit, kDistanceUnitCount) == kKilometres ? miles * kMilesToKilometres : miles, 0);
}

std::wstring FormatWindSpeed(const WeatherReport& report, int32_t unit) {
  const int32_t speed = report.blocks[0].windSpeed;
  if (speed < 0 || speed > 180) return std::wstring();
  return WindNumber(speed, unit) + WindSuffix(unit);
}

std::wstring FormatPressure(const WeatherReport& report, int32_t unit) {
  if (!PressureIsPlausible(report)) return std::wstring();
  return PressureNumber(report.blocks[0].pressure, unit) + PressureSuffix(unit);
}

}  // namespace cirrodex
