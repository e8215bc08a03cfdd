#include "core/units.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "core/detail_drawing.h"
#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/spoken_text.h"
#include "core/summary_drawing.h"
#include "tests/core/drawing_test_support.h"

namespace cirrodex {
namespace {

using platform::RecordingContext;
using testing::Texts;

constexpr int32_t kMissing = -9999;
constexpr double kMissingPressure = -9999.9;

// The first text drawn that starts with `prefix`, or "(none)".
std::wstring Starting(const RecordingContext& dc, std::wstring_view prefix) {
  for (const auto& call : Texts(dc)) {
    if (call.text.starts_with(prefix)) return call.text;
  }
  return L"(none)";
}

struct UnitCase {
  int32_t mph;
  const wchar_t* direction;
  double inches;
  int32_t miles;
  int32_t humidity;
  MeasureUnits units;
  const wchar_t* stripWind;  // layout 1, third line
  const wchar_t* stripRain;  // layout 1, fourth line
  const wchar_t* pageWind;   // the Current page
  const wchar_t* pagePressure;
  const wchar_t* pageVisibility;
  const wchar_t* pageHumidity;
  const wchar_t* spoken;  // part of layout 1 read aloud
};

// clang-format off
constexpr UnitCase kUnitCases[] = {
    {12, L"WSW", 30.0, 10, 72, {}, L"12mph WSW", L"1013mBar 10%rain", L"Wind: 12 mph WSW",
     L"Pressure: 1013mBar", L"Visibility: 10 miles", L"Humidity: 72%", L"wind 12 mph WSW"},
    {12, L"WSW", 30.0, 10, 72, {kKilometresPerHour, kHectopascals, kKilometres}, L"19km/h WSW",
     L"1013hPa 10%rain", L"Wind: 19 km/h WSW", L"Pressure: 1013hPa", L"Visibility: 16 km",
     L"Humidity: 72%", L"pressure 1013 hPa"},
    {12, L"WSW", 30.0, 0, 72, {kMetresPerSecond, kInchesOfMercury, kKilometres}, L"5m/s WSW",
     L"30.00inHg 10%rain", L"Wind: 5 m/s WSW", L"Pressure: 30.00inHg", L"Visibility: 0 km",
     L"Humidity: 72%", L"pressure 30.00 inHg"},
    {12, L"WSW", 29.92, 10, 72, {kKnots, kMillimetresOfMercury, kMiles}, L"10kn WSW",
     L"760mmHg 10%rain", L"Wind: 10 kn WSW", L"Pressure: 760mmHg", L"Visibility: 10 miles",
     L"Humidity: 72%", L"wind 10 knots WSW"},
    {12, L"WSW", 29.92, 10, 72, {kBeaufort, kKilopascals, kMiles}, L"3Bft WSW",
     L"101.0kPa 10%rain", L"Wind: 3 Bft WSW", L"Pressure: 101.0kPa", L"Visibility: 10 miles",
     L"Humidity: 72%", L"wind force 3 WSW"},
    // Calm, and the edges of the Beaufort scale.
    {0, L"CALM", 30.0, 10, 72, {kBeaufort}, L"0Bft CALM", L"1013mBar 10%rain", L"Wind: 0 Bft CALM",
     L"Pressure: 1013mBar", L"Visibility: 10 miles", L"Humidity: 72%", L"wind force 0 CALM"},
    {0, L"CALM", 30.0, 10, 72, {kKilometresPerHour}, L"0km/h CALM", L"1013mBar 10%rain",
     L"Wind: 0 km/h CALM", L"Pressure: 1013mBar", L"Visibility: 10 miles", L"Humidity: 72%",
     L"wind 0 km/h CALM"},
    {1, L"N", 30.0, 10, 72, {kBeaufort}, L"1Bft N", L"1013mBar 10%rain", L"Wind: 1 Bft N",
     L"Pressure: 1013mBar", L"Visibility: 10 miles", L"Humidity: 72%", L"wind force 1 N"},
    {72, L"N", 30.0, 10, 72, {kBeaufort}, L"11Bft N", L"1013mBar 10%rain", L"Wind: 11 Bft N",
     L"Pressure: 1013mBar", L"Visibility: 10 miles", L"Humidity: 72%", L"wind force 11 N"},
    {73, L"N", 30.0, 10, 72, {kBeaufort}, L"12Bft N", L"1013mBar 10%rain", L"Wind: 12 Bft N",
     L"Pressure: 1013mBar", L"Visibility: 10 miles", L"Humidity: 72%", L"wind force 12 N"},
    {150, L"N", 30.0, 10, 72, {kBeaufort}, L"12Bft N", L"1013mBar 10%rain", L"Wind: 12 Bft N",
     L"Pressure: 1013mBar", L"Visibility: 10 miles", L"Humidity: 72%", L"wind force 12 N"},
    {150, L"N", 30.0, 10, 72, {kKilometresPerHour}, L"241km/h N", L"1013mBar 10%rain",
     L"Wind: 241 km/h N", L"Pressure: 1013mBar", L"Visibility: 10 miles", L"Humidity: 72%",
     L"wind 241 km/h N"},
    // Missing values are never drawn as numbers, in any unit.
    {kMissing, L"", kMissingPressure, 10, kMissing, {kKnots, kHectopascals, kKilometres}, L" ",
     L"10%rain", L"(none)", L"(none)", L"(none)", L"(none)", L"rain 10 %"},
    {kMissing, L"", kMissingPressure, 10, kMissing, {}, L" ", L"10%rain", L"(none)", L"(none)",
     L"(none)", L"(none)", L"rain 10 %"},
    {kMissing, L"", kMissingPressure, 10, 72, {0, 0, kKilometres}, L" ", L"10%rain", L"(none)",
     L"(none)", L"Visibility: 16 km", L"Humidity: 72%", L"rain 10 %"},
    // Codes out of range read as the first unit.
    {12, L"WSW", 30.0, 10, 72, {9, -1, 7}, L"12mph WSW", L"1013mBar 10%rain", L"Wind: 12 mph WSW",
     L"Pressure: 1013mBar", L"Visibility: 10 miles", L"Humidity: 72%", L"wind 12 mph WSW"},
};
// clang-format on

class UnitsTest : public testing::DeviceTest {
 protected:
  UnitsTest() { testing::FillReport(report_); }
  WeatherReport report_;
};

TEST_F(UnitsTest, StripCurrentPageAndSpokenTextFollowEachUnit) {
  for (const UnitCase& c : kUnitCases) {
    ForecastDay& now = report_.blocks[0];
    now.windSpeed = c.mph;
    CopyText(now.windDirection, c.direction);
    now.pressure = c.inches;
    now.visibility = c.miles;
    now.humidity = c.humidity;
    const MeasureUnits units = ValidUnits(c.units);
    SCOPED_TRACE(::testing::Message() << "mph " << c.mph << ", units " << c.units.wind << "/"
                                      << c.units.pressure << "/" << c.units.distance);

    RecordingContext strip;
    DrawSummary(report_, strip, 10, 0, 230, 30, 1, InstallFolder(report_), kCelsius, units);
    const auto lines = Texts(strip);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[2].text, c.stripWind);
    EXPECT_EQ(lines[3].text, c.stripRain);

    RecordingContext page;
    DrawCurrentDetails(report_, page, 0, 0, 240, 230, InstallFolder(report_), kCelsius, units);
    EXPECT_EQ(Starting(page, L"Wind:"), c.pageWind);
    EXPECT_EQ(Starting(page, L"Pressure:"), c.pagePressure);
    EXPECT_EQ(Starting(page, L"Visibility:"), c.pageVisibility);
    EXPECT_EQ(Starting(page, L"Humidity:"), c.pageHumidity);
    for (const auto& call : Texts(page)) EXPECT_EQ(call.text.find(L"-9999"), std::wstring::npos);

    const std::wstring spoken = SummaryText(report_, 1, kCelsius, units);
    EXPECT_NE(spoken.find(c.spoken), std::wstring::npos) << ::testing::PrintToString(spoken);
    EXPECT_EQ(spoken.find(L"9999"), std::wstring::npos);
  }
}

// Every layout and the Current page, drawn with the units as stored by the default settings,
// against the drawing lists recorded before there were units to choose.
TEST_F(UnitsTest, DefaultUnitsDrawEveryLayoutAndTheCurrentPageAsBefore) {
  testing::ClockOverride clock;
  WriteDefaultSettings();
  const MeasureUnits units = ReadMeasureUnits();
  std::string listing;
  for (int32_t layout = 0; layout <= 5; ++layout) {
    RecordingContext dc;
    DrawSummary(report_, dc, 10, 0, 230, SummaryHeight(layout), layout, InstallFolder(report_),
                kFahrenheit, units);
    listing += "layout " + std::to_string(layout) + "\n" + dc.Listing();
  }
  RecordingContext page;
  DrawCurrentDetails(report_, page, 0, 0, 240, 230, InstallFolder(report_), kFahrenheit, units);
  listing += "current\n" + page.Listing();

  const auto golden = testing::SourceDir() / "tests" / "core" / "golden" / "default_units.txt";
  if (std::getenv("CIRRODEX_WRITE_GOLDEN") != nullptr) std::ofstream(golden) << listing;
  EXPECT_EQ(listing, testing::ReadFile(golden));
}

TEST_F(UnitsTest, SettingsAreWrittenWhereMissingAndReadInRange) {
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kPressureUnits, 2);
  WriteDefaultSettings();
  EXPECT_EQ(ReadMeasureUnits(), (MeasureUnits{kMilesPerHour, kInchesOfMercury, kMiles}));
  uint32_t stored = 7;
  ASSERT_TRUE(ReadDword(HKEY_CURRENT_USER, kSettingsKey, kWindUnits, stored));
  EXPECT_EQ(stored, 0u);

  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kWindUnits, 5);
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kPressureUnits, 4);
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kDistanceUnits, 0xFFFFFFFF);
  EXPECT_EQ(ReadMeasureUnits(), (MeasureUnits{kMilesPerHour, kKilopascals, kMiles}));
  EXPECT_EQ(ReadDisplaySettings(SettingsReader::SetupProgram).measureUnits,
            (MeasureUnits{kMilesPerHour, kKilopascals, kMiles}));
}

}  // namespace
}  // namespace cirrodex
