#include "core/temperature.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "core/weather_report.h"
#include "platform/text.h"
#include "tests/support/temp_device.h"

namespace cirrodex {
namespace {

TemperatureValue At(double value, int32_t unit) {
  TemperatureValue t;
  t.Set(value, unit);
  return t;
}

TEST(TemperatureValues, NewValueIsTheMissingPattern) {
  TemperatureValue t;
  EXPECT_EQ(std::bit_cast<uint64_t>(t.value), 0xC0C387F333333333u);
  EXPECT_FALSE(t.valid);
  EXPECT_EQ(t.unit, kCelsius);
  TemperatureValue copy = At(12.5, kKelvin);
  copy = copy;
  EXPECT_TRUE(copy.valid);
  EXPECT_EQ(copy.value, 12.5);
  EXPECT_EQ(copy.unit, kKelvin);
}

// Freezing and boiling water on every scale: each pair of scales must agree.
struct FixedPoint {
  double celsius, fahrenheit, kelvin, reaumur, rankine;
  double On(int32_t unit) const {
    switch (unit) {
      case kFahrenheit:
        return fahrenheit;
      case kKelvin:
        return kelvin;
      case kReaumur:
        return reaumur;
      case kRankine:
        return rankine;
      default:
        return celsius;
    }
  }
};

TEST(TemperatureConversion, EveryPairOfScalesAgreesOnFixedPoints) {
  const FixedPoint points[] = {
      {0.0, 32.0, 273.15, 0.0, 491.67},
      {100.0, 212.0, 373.15, 80.0, 671.67},
      {-40.0, -40.0, 233.15, -32.0, 419.67},
  };
  for (const FixedPoint& p : points) {
    for (int32_t from = 0; from <= 4; ++from) {
      for (int32_t to = 0; to <= 4; ++to) {
        EXPECT_NEAR(ConvertTemperature(At(p.On(from), from), to), p.On(to), 1e-9)
            << p.celsius << " from " << from << " to " << to;
      }
    }
  }
}

TEST(TemperatureConversion, UsesTheExactConstantsInTheirOrder) {
  EXPECT_EQ(std::bit_cast<uint64_t>(0.5555555555555556), 0x3FE1C71C71C71C72u);
  EXPECT_EQ(std::bit_cast<uint64_t>(0.4444444444444445), 0x3FDC71C71C71C71Du);
  // Multiplying by the rounded ninth differs from dividing by nine in the last bits.
  const double v = 98.6;
  EXPECT_EQ(ConvertTemperature(At(v, kFahrenheit), kCelsius), (v - 32.0) * 0.5555555555555556);
  EXPECT_EQ(ConvertTemperature(At(v, kFahrenheit), kReaumur), (v - 32.0) * 0.4444444444444445);
  EXPECT_EQ(ConvertTemperature(At(v, kRankine), kKelvin),
            ((v - 459.67) - 32.0) * 0.5555555555555556 + 273.15);
  EXPECT_EQ(ConvertTemperature(At(v, kReaumur), kRankine), v * 1.25 * 1.8 + 491.67);
  EXPECT_EQ(ConvertTemperature(At(v, kKelvin), kFahrenheit), (v - 273.15) * 1.8 + 32.0);
}

TEST(TemperatureConversion, SameUnitIsReturnedBitForBit) {
  for (double v : {0.1 + 0.2, -0.0, 1e-300, 451.00000000000006}) {
    for (int32_t unit : {0, 1, 2, 3, 4, 7, -1}) {
      EXPECT_EQ(std::bit_cast<uint64_t>(ConvertTemperature(At(v, unit), unit)),
                std::bit_cast<uint64_t>(v));
    }
  }
}

TEST(TemperatureConversion, UnknownCodesBehaveAsCelsius) {
  EXPECT_EQ(ConvertTemperature(At(68.0, kFahrenheit), 7),
            ConvertTemperature(At(68.0, kFahrenheit), kCelsius));
  EXPECT_EQ(ConvertTemperature(At(20.0, 9), kFahrenheit), 68.0);
  EXPECT_EQ(ConvertTemperature(At(20.0, 9), 7), 20.0);
  EXPECT_EQ(FormatTemperature(At(68.0, kFahrenheit), 7, 0), L"20\u00BAC");
}

TEST(TemperatureConversion, InvalidValueIsMissingInEveryUnit) {
  TemperatureValue t;
  t.value = 20.0;
  for (int32_t unit : {0, 1, 2, 3, 4, 7}) {
    EXPECT_EQ(ConvertTemperature(t, unit), kMissingTemperature);
    EXPECT_EQ(FormatTemperature(t, unit, 0), L"??");
    EXPECT_EQ(FormatTemperature(t, unit, 2), L"??");
  }
}

TEST(TemperatureConversion, IntegerRoundsHalfAwayFromZero) {
  const struct {
    double value;
    int32_t unit, target;
    int32_t rounded;
  } cases[] = {
      {21.5, kCelsius, kCelsius, 22},      {-3.7, kCelsius, kCelsius, -4},
      {-3.5, kCelsius, kCelsius, -4},      {-3.4, kCelsius, kCelsius, -3},
      {-0.4, kCelsius, kCelsius, 0},       {20.0, kFahrenheit, kCelsius, -7},
      {-40.0, kFahrenheit, kCelsius, -40}, {88.5, kFahrenheit, kCelsius, 31},
      {-3.7, kCelsius, kFahrenheit, 25},   {-20.0, kCelsius, kReaumur, -16},
      {-300.0, kCelsius, kKelvin, -27},    {-3.6, kFahrenheit, kRankine, 456},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TemperatureAsInteger(At(c.value, c.unit), c.target), c.rounded)
        << c.value << " in unit " << c.unit << " shown in unit " << c.target;
  }
  // Far beyond 32 bits the result is clamped rather than undefined.
  EXPECT_EQ(TemperatureAsInteger(At(1e300, kCelsius), kCelsius), 2147483647);
  EXPECT_EQ(TemperatureAsInteger(At(-1e300, kFahrenheit), kKelvin), -2147483647 - 1);
}

struct FormatCase {
  double value;
  int32_t unit;
  int32_t target;
  int precision;
  const wchar_t* text;
};

TEST(TemperatureText, FormatsWithTheTargetSuffix) {
  const FormatCase cases[] = {
      {20.0, kFahrenheit, kCelsius, 0, L"-7\u00BAC"},
      {-40.0, kFahrenheit, kCelsius, 0, L"-40\u00BAC"},
      {68.0, kFahrenheit, kKelvin, 2, L"293.15K"},
      {0.0, kCelsius, kRankine, 1, L"491.7R"},
      {0.0, kCelsius, kFahrenheit, 0, L"32\u00BAF"},
      {0.0, kCelsius, kReaumur, 1, L"0.0\u00BAR"},
      {5.0, kCelsius, kCelsius, 1, L"5.0\u00BAC"},
      {5.0, kCelsius, kCelsius, 3, L"5\u00BAC"},
      {-0.04, kCelsius, kCelsius, 1, L"-0.0\u00BAC"},
      {-9999.9, kCelsius, kCelsius, 2, L"-9999.90\u00BAC"},
      {1234.5, kKelvin, kKelvin, 0, L"1235K"},
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(FormatTemperature(At(c.value, c.unit), c.target, c.precision), c.text)
        << platform::ToUtf8(c.text);
  }
  EXPECT_EQ(std::wstring(TemperatureSuffix(kCelsius)), L"\u00BAC");
  // The masculine ordinal indicator, not the degree sign.
  EXPECT_EQ(TemperatureSuffix(kFahrenheit)[0], L'\u00BA');
  EXPECT_EQ(TemperatureSuffix(kReaumur)[0], L'\u00BA');
}

class UnitTexts : public testing::DeviceTest {
 protected:
  WeatherReport report_;
};

TEST_F(UnitTexts, PressureIsShownOnlyWhenPlausible) {
  struct Case {
    double inches;
    int32_t millibars;
    const wchar_t* text;
  } cases[] = {
      {29.92, 1010, L"1010mBar"}, {11.0, 371, L""},   {11.85, 400, L"400mBar"},
      {44.42, 1499, L"1499mBar"}, {44.45, 1501, L""}, {-9999.9, -337681, L""},
      {1e300, 2147483647, L""},
  };
  for (const Case& c : cases) {
    report_.blocks[0].pressure = c.inches;
    EXPECT_EQ(PressureMillibars(report_), c.millibars) << c.inches;
    EXPECT_EQ(PressureIsPlausible(report_), c.text[0] != L'\0') << c.inches;
    EXPECT_EQ(FormatPressure(report_), c.text) << c.inches;
  }
}

TEST_F(UnitTexts, WindSpeedIsShownFromZeroTo180) {
  struct Case {
    int32_t mph;
    const wchar_t* text;
  } cases[] = {{0, L"0mph"}, {12, L"12mph"}, {180, L"180mph"}, {181, L""}, {-1, L""}, {-9999, L""}};
  for (const Case& c : cases) {
    report_.blocks[0].windSpeed = c.mph;
    EXPECT_EQ(FormatWindSpeed(report_), c.text) << c.mph;
  }
}

}  // namespace
}  // namespace cirrodex
