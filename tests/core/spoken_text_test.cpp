// The strips and pages as a screen reader gets them, read from what the drawings draw.
#include "core/spoken_text.h"

#include <gtest/gtest.h>

#include "core/detail_drawing.h"
#include "core/temperature.h"
#include "tests/core/drawing_test_support.h"

namespace cirrodex {
namespace {

using testing::ClockOverride;
using testing::FillReport;

TEST(SpokenText, LinesReadAsWords) {
  const struct {
    const wchar_t* drawn;
    const wchar_t* spoken;
  } kCases[] = {
      {L"15\u00BAC (18\u00BAC/10\u00BAC)", L"15 \u00B0C, today 18 \u00B0C / 10 \u00B0C"},
      {L"12mph WSW 10%rain", L"wind 12 mph WSW, rain 10 %"},
      {L"1013mBar 10%rain", L"pressure 1013 mBar, rain 10 %"},
      {L"30% rain", L"rain 30 %"},
      {L"?? (?\?/?\?)", L"??, today ?? / ??"},
      {L"Partly Cloudy", L"Partly Cloudy"},
      {L"Humidity: 72%", L"Humidity: 72 %"},
  };
  for (const auto& c : kCases) EXPECT_EQ(SpokenLine(c.drawn), c.spoken) << c.drawn;
}

// Wednesday's feed read on Wednesday: the strips skip today's column as the picture does.
TEST(SpokenText, StripsReadCellByCellInTheirUnit) {
  // The report reads its settings: from a device folder of this test's own, never the user's.
  testing::TempDevice device;
  ClockOverride clock;
  WeatherReport report;
  FillReport(report);
  const struct {
    int32_t layout;
    int32_t unit;
    const wchar_t* spoken;
  } kCases[] = {
      {2, kCelsius,
       L"London: Partly Cloudy, 15 \u00B0C, today 18 \u00B0C / 10 \u00B0C, wind 12 mph WSW, rain "
       L"10 %. Thursday 16 \u00B0C / 5 \u00B0C, rain 20 %. Friday 17 \u00B0C / 6 \u00B0C, rain "
       L"30 %. Saturday 17 \u00B0C / 6 \u00B0C, rain 40 %."},
      {5, kFahrenheit,
       L"London: Partly Cloudy, 59 \u00B0F, today 64 \u00B0F / 50 \u00B0F. Thursday 61 \u00B0F / "
       L"41 \u00B0F. Friday 62 \u00B0F / 42 \u00B0F."},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(SummaryText(report, c.layout, c.unit), c.spoken) << "layout " << c.layout;
  }
  EXPECT_TRUE(SummaryText(report, 0, kCelsius, StatusLine::Shown, 12029)
                  .ends_with(L"Sunday 18 \u00B0C / 7 \u00B0C, rain 50 %. Last updated: 14/05/2025 "
                             L"14:20:00 GMT - Please check internet access."));
}

}  // namespace
}  // namespace cirrodex
