// The hourly document's reading, the nowcast's rain and the Hourly page's drawing at a fixed
// clock, on the recording context.
#include "core/hourly_forecast.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/hourly_drawing.h"
#include "core/temperature.h"
#include "platform/recording_context.h"
#include "tests/support/temp_device.h"

namespace cirrodex {
namespace {

using platform::RecordingContext;
using Kind = RecordingContext::Kind;

constexpr std::time_t kNoon = 1796731200;  // 2026-12-08 12:00 GMT

// 48 hours from 12:00 in a city 9 hours east of GMT (21:00 there): 40 °F rising a degree an hour,
// rain chance 10 % an hour up to 100, 1.5 mm at hour 5; sunset 17:00 and sunrise 07:00 local.
std::string Document() {
  std::string hours;
  for (int i = 0; i < 48; ++i) {
    const std::time_t local = kNoon + 9 * 3600 + i * 3600;
    std::tm t{};
    gmtime_r(&local, &t);
    char entry[300];
    std::snprintf(entry, sizeof entry,
                  R"(%s{"time":"2026-12-%02dT%02d:00+09:00","temperature":%d,"feels_like":null,)"
                  R"("rain_chance":%d,"precipitation":%s,"icon":26,"condition":"Cloudy",)"
                  R"("wind_speed":5,"wind_direction":180,"is_day":false})",
                  i ? "," : "", t.tm_mday, t.tm_hour, 40 + i, std::min(10 * i, 100),
                  i == 5 ? "1.5" : "0");
    hours += entry;
  }
  return R"({"updated":"2026-12-08T11:50:00Z","utc_offset_seconds":32400,"sample":false,)"
         R"("hours":[)" +
         hours +
         R"(],"sun":[{"date":"2026-12-08","sunrise":"2026-12-08T07:00+09:00",)"
         R"("sunset":"2026-12-08T17:00+09:00"},{"date":"2026-12-09",)"
         R"("sunrise":"2026-12-09T07:00+09:00","sunset":"2026-12-09T17:00+09:00"},)"
         R"({"date":"2026-12-10","sunrise":"2026-12-10T07:00+09:00","sunset":null}],)"
         R"("nowcast":{"time":"2026-12-08T21:00+09:00","precipitation":[0,0,0,0.3,0,0,null,0]}})";
}

TEST(HourlyForecast, ReadsTheDocumentAndRefusesWhatIsNone) {
  const auto forecast = ParseHourlyForecast(Document());
  ASSERT_TRUE(forecast);
  ASSERT_EQ(forecast->hours.size(), 48u);
  EXPECT_EQ(forecast->hours[0].time, kNoon);
  EXPECT_EQ(forecast->hours[47].time, kNoon + 47 * 3600);
  EXPECT_FALSE(forecast->hours[0].feelsLike);
  EXPECT_EQ(forecast->hours[5].precipitation, 1.5);
  EXPECT_EQ(forecast->utcOffsetSeconds, 32400);
  ASSERT_EQ(forecast->sun.size(), 3u);
  EXPECT_EQ(forecast->sun[0].sunset, kNoon - 4 * 3600);  // 17:00 at +9 is 08:00 GMT
  EXPECT_FALSE(forecast->sun[2].sunset);
  ASSERT_TRUE(forecast->nowcast);
  EXPECT_FALSE(forecast->nowcast->precipitation[6]);
  // Written out and read again, it is the same document.
  EXPECT_EQ(FormatHourlyForecast(*ParseHourlyForecast(FormatHourlyForecast(*forecast))),
            FormatHourlyForecast(*forecast));

  for (const char* broken : {"", "[]", "{\"hours\":[]}", "{\"updated\":\"yesterday\",\"hours\":[]}",
                             "{\"updated\":\"2026-12-08T11:50:00Z\",\"hours\":{}}",
                             "{\"updated\":\"2026-02-30T11:50:00Z\",\"hours\":[]}"}) {
    EXPECT_FALSE(ParseHourlyForecast(broken)) << broken;
  }
}

TEST(HourlyForecast, TellsWhenRainBeginsIfItIsDryNow) {
  using State = NowcastRain::State;
  const HourlyNowcast nowcast{kNoon, 3600, {0.0, 0.05, std::nullopt, 0.3, 0.0, 1.2, 0.0, 0.0}};
  const HourlyNowcast dry{kNoon, 3600, {0.0, 0.0, std::nullopt, 0.0}};
  struct Case {
    const HourlyNowcast* nowcast;
    std::time_t now;
    State state;
    std::time_t begins;
    const wchar_t* line;
  };
  const Case cases[] = {
      {&nowcast, kNoon + 60, State::Begins, kNoon + 45 * 60, L"Rain from about 13:45"},
      {&nowcast, kNoon + 15 * 60, State::Begins, kNoon + 45 * 60, L"Rain from about 13:45"},
      {&nowcast, kNoon + 30 * 60, State::Unknown, 0, L""},  // its step has no value
      {&nowcast, kNoon + 50 * 60, State::RainingNow, 0, L"Rain now"},
      {&nowcast, kNoon + 65 * 60, State::Begins, kNoon + 75 * 60, L"Rain from about 14:15"},
      {&nowcast, kNoon + 2 * 3600, State::Unknown, 0, L""},  // past its end
      {&nowcast, kNoon - 60, State::Unknown, 0, L""},        // before its start
      {&dry, kNoon, State::Dry, 0, L"No rain in the next two hours"},
      {&dry, kNoon + 50 * 60, State::Dry, 0, L"No rain until 14:00"},
  };
  for (const Case& c : cases) {
    const NowcastRain rain = RainStartInNowcast(*c.nowcast, c.now);
    EXPECT_EQ(rain.state, c.state) << c.now - kNoon;
    EXPECT_EQ(rain.begins, c.begins) << c.now - kNoon;
    EXPECT_EQ(NowcastLine(*c.nowcast, c.now), c.line) << c.now - kNoon;
  }
}

// The graph rows are the frames drawn in the text colour; each fill lies in one of them.
TEST(HourlyDrawing, ShadesTheNightMarksNowAndPlotsTheStoredValues) {
  testing::TempDevice device;  // the icons are looked up in a device folder
  const auto forecast = ParseHourlyForecast(Document());
  ASSERT_TRUE(forecast);
  RecordingContext dc(platform::Rect{0, 0, 240, 268});
  dc.KeepNotes(true);
  const platform::FontSpec font{L"Tahoma", 9, 400, 5};
  const std::time_t now = kNoon + 40 * 60;  // 21:40 in the city
  DrawHourlyForecast(&*forecast, L"Tokyo", dc, {0, 0, 240, 268}, now, L"\\Windows", kFahrenheit,
                     font);

  std::vector<platform::Rect> frames, nights, chances, amounts;
  std::vector<std::vector<platform::Point>> lines, marks;
  std::vector<std::wstring> texts;
  for (const auto& call : dc.calls()) {
    if (call.kind == Kind::Text || call.kind == Kind::Note) texts.push_back(call.text);
    if (call.kind == Kind::FillRect && call.color == kNightShade) nights.push_back(call.rect);
    if (call.kind == Kind::FillRect && call.color == kRainChanceFill) chances.push_back(call.rect);
    if (call.kind == Kind::FillRect && call.color == kPrecipitationFill) {
      amounts.push_back(call.rect);
    }
    if (call.kind != Kind::Polyline) continue;
    if (call.points.size() == 5) {
      frames.push_back({call.points[0].x, call.points[0].y, call.points[2].x, call.points[2].y});
    } else if (call.color == kTemperatureLine) {
      lines.push_back(call.points);
    } else if (call.color == kNowMark) {
      marks.push_back(call.points);
    }
  }
  ASSERT_EQ(frames.size(), 2u);
  const platform::Rect& first = frames[0];
  auto xAt = [&](const platform::Rect& frame, double hours) {
    return frame.left + static_cast<int>(std::lround(hours * frame.Width() / 24));
  };
  // Hour 0 is 21:00: the night runs to 07:00 (hour 10), again from 17:00 (hour 20) to the next
  // day's 07:00 (hour 34, the second row's hour 10); the last day has no sunset.
  ASSERT_EQ(nights.size(), 3u);
  EXPECT_EQ(nights[0].left, first.left);
  EXPECT_EQ(nights[0].right, xAt(first, 10));
  EXPECT_EQ(nights[1].left, xAt(first, 20));
  EXPECT_EQ(nights[1].right, first.right);
  EXPECT_EQ(nights[2].left, frames[1].left);
  EXPECT_EQ(nights[2].right, xAt(frames[1], 10));
  ASSERT_EQ(marks.size(), 1u);
  EXPECT_EQ(marks[0][0].x, xAt(first, 40.0 / 60));

  // Chances grow by a tenth of the graph's height an hour, up to the whole at hour 10.
  ASSERT_EQ(chances.size(), 47u);
  EXPECT_EQ(chances[0].Height(), first.Height() / 10);
  EXPECT_EQ(chances[9].Height(), first.Height());
  ASSERT_EQ(amounts.size(), 1u);
  EXPECT_EQ(amounts[0].Height(), static_cast<int>(std::lround(first.Height() * 1.5 / 4)));
  EXPECT_GE(amounts[0].left, xAt(first, 5));
  EXPECT_LE(amounts[0].right, xAt(first, 6));
  // The line climbs from the row's bottom to its top: 40 °F is the lowest, 87 °F the highest.
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 24u);
  EXPECT_EQ(lines[0].front().y, first.bottom - 2);
  EXPECT_EQ(lines[1].back().y, frames[1].top + 2);
  EXPECT_LT(lines[0][12].y, lines[0][11].y);

  EXPECT_EQ(texts[0], L"Tokyo, updated 50 minutes ago");
  EXPECT_EQ(texts[1], L"Sunrise 07:00, sunset 17:00") << "the sun of the city's today";
  EXPECT_EQ(texts[2], L"Rain from about 21:45");
  EXPECT_NE(std::find(texts.begin(), texts.end(), L"21:00: Cloudy, 40\u00baF, 0% chance of rain."),
            texts.end());
}

TEST(HourlyDrawing, ACityWithoutHoursShowsOneLine) {
  RecordingContext dc(platform::Rect{0, 0, 240, 268});
  const platform::FontSpec font{L"Tahoma", 9, 400, 5};
  DrawHourlyForecast(nullptr, L"London", dc, {0, 0, 240, 268}, kNoon, L"\\Windows", kCelsius, font);
  std::vector<std::wstring> drawn;
  for (const auto& call : dc.calls()) {
    EXPECT_NE(call.kind, Kind::FillRect);
    EXPECT_NE(call.kind, Kind::Polyline);
    if (call.kind == Kind::Text) drawn.push_back(call.text);
  }
  EXPECT_EQ(drawn, std::vector<std::wstring>{L"No hourly forecast yet for London"});
}

}  // namespace
}  // namespace cirrodex
