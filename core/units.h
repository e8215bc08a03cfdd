// The units of wind speed, pressure and distance that the user chose, and the texts of those
// values in them. The feed gives miles per hour, inches of mercury and miles; every conversion
// starts from those.
#pragma once

#include <cstdint>
#include <string>

namespace cirrodex {

class WeatherReport;

// Stored "WindUnits" codes.
enum WindUnit : int32_t {
  kMilesPerHour = 0,
  kKilometresPerHour = 1,
  kMetresPerSecond = 2,
  kKnots = 3,
  kBeaufort = 4,
};

// Stored "PressureUnits" codes.
enum PressureUnit : int32_t {
  kMillibars = 0,
  kHectopascals = 1,
  kInchesOfMercury = 2,
  kMillimetresOfMercury = 3,
  kKilopascals = 4,
};

// Stored "DistanceUnits" codes.
enum DistanceUnit : int32_t {
  kMiles = 0,
  kKilometres = 1,
};

inline constexpr int32_t kWindUnitCount = 5;
inline constexpr int32_t kPressureUnitCount = 5;
inline constexpr int32_t kDistanceUnitCount = 2;

// The three choices; the defaults are the feed's own units (millibars for pressure).
struct MeasureUnits {
  int32_t wind = kMilesPerHour;
  int32_t pressure = kMillibars;
  int32_t distance = kMiles;

  bool operator==(const MeasureUnits&) const = default;
};

// Each code outside its range becomes the first unit (mph, mBar, miles).
MeasureUnits ValidUnits(MeasureUnits units);

// The stored three settings; a missing or out-of-range value reads as the first unit.
MeasureUnits ReadMeasureUnits();

// What follows a number: "mph", "km/h", "m/s", "kn", "Bft"; "mBar", "hPa", "inHg", "mmHg",
// "kPa"; "miles", "km". Codes out of range give the first.
const wchar_t* WindSuffix(int32_t unit);
const wchar_t* PressureSuffix(int32_t unit);
const wchar_t* DistanceSuffix(int32_t unit);

// The force 0-12 of a wind of `mph`; everything from 73 mph is force 12.
int32_t BeaufortForce(double mph);

// The number alone. Wind: `mph` in the unit, rounded half away from zero (Beaufort: the force).
// Pressure: `inches` of mercury; millibars truncated (x 33.7685, as the summaries always showed
// them), hPa and mmHg rounded to whole numbers, inHg to two decimals, kPa to one. Distance:
// `miles` rounded to whole miles or kilometres.
std::wstring WindNumber(double mph, int32_t unit);
std::wstring PressureNumber(double inches, int32_t unit);
std::wstring DistanceNumber(double miles, int32_t unit);

// The strip's texts: "%d<suffix>" of block 0's wind speed when 0..180 mph, else empty; the
// pressure with its suffix when PressureIsPlausible, else empty. With mph and mBar these are
// exactly FormatWindSpeed(report) and FormatPressure(report).
std::wstring FormatWindSpeed(const WeatherReport& report, int32_t unit);
std::wstring FormatPressure(const WeatherReport& report, int32_t unit);

}  // namespace cirrodex
