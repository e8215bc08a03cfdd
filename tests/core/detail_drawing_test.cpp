#include "core/detail_drawing.h"

#include <gtest/gtest.h>

#include "core/condition_texts.h"
#include "core/format.h"
#include "core/registry_ops.h"
#include "core/settings.h"
#include "tests/core/drawing_test_support.h"
#include "tests/support/bmp_writer.h"

namespace cirrodex {
namespace {

using platform::Point;
using platform::RecordingContext;
using platform::Rect;
using platform::SystemTime;
using testing::Texts;
using Kind = RecordingContext::Kind;

SystemTime At(uint16_t day, uint16_t hour, uint16_t minute = 0, uint16_t month = 5) {
  return SystemTime{2025, month, 0, day, hour, minute, 0, 0};
}

HistoryRecord Record(int32_t slot, SystemTime time, double celsius, uint32_t pressure = 1000) {
  HistoryRecord r;
  r.slot = slot;
  r.time = time;
  r.temperature.Set(celsius, kCelsius);
  r.pressure = pressure;
  r.windSpeed = 10;
  r.rainChance = 20;
  return r;
}

// The dots' centres, from the rectangles (x-1, y-1, x+1, y+1).
std::vector<Point> Dots(const RecordingContext& dc) {
  std::vector<Point> dots;
  for (const auto& call : dc.CallsOf(Kind::Rectangle)) {
    dots.push_back(Point{call.rect.left + 1, call.rect.top + 1});
  }
  return dots;
}

TEST(ElapsedMilliseconds, CountsForwardOnlyAndWrapsAt32Bits) {
  const platform::FileTime t = platform::SystemTimeToFileTime(At(14, 12));
  EXPECT_EQ(ElapsedMilliseconds(t, t + 10000), 1u);
  EXPECT_EQ(ElapsedMilliseconds(t, t + 36000000000ull), 3600000u);
  EXPECT_EQ(ElapsedMilliseconds(t, t), 0u);
  EXPECT_EQ(ElapsedMilliseconds(t + 10000, t), 0u);
  EXPECT_EQ(ElapsedMilliseconds(t, t + ((1ull << 32) + 5) * 10000), 5u);
}

TEST(HistoryGraph, FramesAndPlacesDotsByTimeAndValue) {
  // Frame 0,0 to 106,46: 100 pixels of time and 40 of value inside the 3-pixel margins.
  const HistoryRecord records[] = {Record(0, At(14, 10), 10.0), Record(1, At(14, 11), 20.0),
                                   Record(2, At(14, 10, 30), 15.0)};
  RecordingContext dc;
  DrawHistoryGraph(dc, 0, 0, 106, 46, 3, records, HistoryKind::Temperature);
  const auto lines = dc.CallsOf(Kind::Polyline);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(RecordingContext::FormatCall(lines[0]), "polyline 0,0 0,46 106,46 106,0 0,0");
  EXPECT_EQ(Dots(dc), (std::vector<Point>{{2, 44}, {102, 4}, {52, 24}}));
  EXPECT_EQ(RecordingContext::FormatCall(dc.CallsOf(Kind::Rectangle)[0]), "fillrect 1,43,3,45");
}

TEST(HistoryGraph, OffsetFrameAndOtherKinds) {
  const HistoryRecord records[] = {Record(5, At(14, 10), 0.0, 990),
                                   Record(9, At(14, 12), 0.0, 1030)};
  RecordingContext dc;
  DrawHistoryGraph(dc, 122, 95, 236, 135, 2, records, HistoryKind::Pressure);
  // 108 pixels for two hours, 34 for 40 millibars.
  EXPECT_EQ(Dots(dc), (std::vector<Point>{{124, 133}, {232, 99}}));
}

TEST(HistoryGraph, DrawsOnlyTheFrameWithoutASpread) {
  const struct {
    const char* name;
    std::vector<HistoryRecord> records;
  } cases[] = {
      {"no records", {}},
      {"one record", {Record(0, At(14, 10), 12.0)}},
      {"all at one time", {Record(0, At(14, 10), 12.0), Record(1, At(14, 10), 18.0)}},
      {"all equal", {Record(0, At(14, 10), 12.0), Record(1, At(14, 11), 12.0)}},
      {"only empty slots", {HistoryRecord{}, HistoryRecord{}}},
  };
  for (const auto& c : cases) {
    RecordingContext dc;
    DrawHistoryGraph(dc, 0, 0, 106, 46, static_cast<int>(c.records.size()), c.records.data(),
                     HistoryKind::Temperature);
    EXPECT_EQ(dc.CallsOf(Kind::Polyline).size(), 1u) << c.name;
    EXPECT_TRUE(dc.CallsOf(Kind::Rectangle).empty()) << c.name;
  }
}

TEST(HistoryGraph, SkipsEmptySlotsAndUnusableValuesButTheirTimesCount) {
  HistoryRecord missing = Record(1, At(14, 12), 0.0);
  missing.temperature = TemperatureValue{};  // reads as -9999.9
  HistoryRecord empty = Record(-1, At(20, 12), 99.0);
  const HistoryRecord records[] = {Record(0, At(14, 10), 10.0), missing, empty,
                                   Record(2, At(14, 11), 20.0)};
  RecordingContext dc;
  DrawHistoryGraph(dc, 0, 0, 106, 46, 4, records, HistoryKind::Temperature);
  // The unusable record still stretches time to 12:00, so 11:00 falls in the middle.
  EXPECT_EQ(Dots(dc), (std::vector<Point>{{2, 44}, {52, 4}}));
}

TEST(HistoryGraph, MissingPressureIsNotUsable) {
  const HistoryRecord records[] = {Record(0, At(14, 10), 0, 1000), Record(1, At(14, 11), 0, 1010),
                                   Record(2, At(14, 12), 0, static_cast<uint32_t>(-337681))};
  RecordingContext dc;
  DrawHistoryGraph(dc, 0, 0, 106, 46, 3, records, HistoryKind::Pressure);
  EXPECT_EQ(Dots(dc), (std::vector<Point>{{2, 44}, {52, 4}}));
}

TEST(HistoryGraph, ScaleOfColdValuesStillReachesZero) {
  // The largest value starts at 0, so below-freezing temperatures sit low in the graph.
  const HistoryRecord records[] = {Record(0, At(14, 10), -10.0), Record(1, At(14, 11), -5.0)};
  RecordingContext dc;
  DrawHistoryGraph(dc, 0, 0, 106, 46, 2, records, HistoryKind::Temperature);
  EXPECT_EQ(Dots(dc), (std::vector<Point>{{2, 44}, {102, 24}}));
}

TEST(HistoryGraph, KeepsTimeOrderOverMoreThan49Days) {
  const HistoryRecord records[] = {Record(0, At(1, 0, 0, 3), 10.0), Record(1, At(1, 0, 0, 4), 20.0),
                                   Record(2, At(15, 0, 0, 5), 15.0)};
  RecordingContext dc;
  DrawHistoryGraph(dc, 0, 0, 106, 46, 3, records, HistoryKind::Temperature);
  const auto dots = Dots(dc);
  ASSERT_EQ(dots.size(), 3u);
  EXPECT_EQ(dots[0].x, 2);
  EXPECT_GT(dots[1].x, dots[0].x);
  EXPECT_EQ(dots[2].x, 102);
}

TEST(HistoryGraph, TooSmallAFrameDrawsNoDots) {
  const HistoryRecord records[] = {Record(0, At(14, 10), 10.0), Record(1, At(14, 11), 20.0)};
  RecordingContext dc;
  DrawHistoryGraph(dc, 0, 0, 6, 46, 2, records, HistoryKind::Temperature);
  EXPECT_TRUE(dc.CallsOf(Kind::Rectangle).empty());
}

// Black on the platform's white pages; on a dark palette's light text colour the graph stays seen.
TEST(HistoryGraph, DrawsInTheTextColourAndPutsThePreviousPenAndBrushBack) {
  for (const platform::Color text : {platform::Rgb(0, 0, 0), platform::Rgb(0xE6, 0xE6, 0xE6)}) {
    const platform::Pen callersPen{platform::Rgb(255, 0, 0), 3};
    const platform::Brush callersBrush{platform::Rgb(0, 255, 0)};
    RecordingContext dc;
    dc.SetTextColor(text);
    dc.SelectPen(&callersPen);
    dc.SelectBrush(&callersBrush);
    const HistoryRecord records[] = {Record(0, At(14, 10), 10.0), Record(1, At(14, 11), 20.0)};
    DrawHistoryGraph(dc, 0, 0, 106, 46, 2, records, HistoryKind::Temperature);
    for (const auto& call : dc.CallsOf(Kind::Rectangle)) EXPECT_EQ(call.color, text);
    EXPECT_EQ(dc.CallsOf(Kind::Polyline)[0].color, text);
    EXPECT_EQ(dc.selectedPen(), &callersPen);
    EXPECT_EQ(dc.selectedBrush(), &callersBrush);
  }
}

// Read in time order whatever the ring's order: range, latest value and the way it went.
TEST(HistoryGraph, SummaryGivesRangeLatestAndTrend) {
  const HistoryRecord records[] = {Record(0, At(14, 11), 20.0, 1012), Record(1, At(14, 10), 10.0),
                                   Record(2, At(14, 12), 15.0, 1003), Record(-1, At(14, 13), 40.0)};
  const struct {
    HistoryKind kind;
    int count;
    const wchar_t* summary;
  } kCases[] = {
      {HistoryKind::Temperature, 4,
       L"Temperature history of 3 updates: 50\u00BAF to 68\u00BAF, latest 59\u00BAF, rising"},
      {HistoryKind::Pressure, 4,
       L"Pressure history of 3 updates: 1000 mBar to 1012 mBar, latest 1003 mBar, rising"},
      {HistoryKind::WindSpeed, 4,
       L"Wind history of 3 updates: 10 mph to 10 mph, latest 10 mph, steady"},
      {HistoryKind::Temperature, 0, L"Temperature history: no updates"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(HistorySummary(c.count, records, c.kind, kFahrenheit), c.summary);
  }
}

class DetailDrawingTest : public testing::DeviceTest {
 protected:
  DetailDrawingTest() { testing::FillReport(report_); }

  // Writes one history record of the selected city straight into the registry.
  void StoreRecord(int slot, const wchar_t* time, uint32_t pressure, uint32_t wind,
                   const wchar_t* celsius) {
    const std::wstring key = WFormat(L"%ls\\Log%03d", SelectedCityKey().c_str(), slot);
    CreateString(HKEY_CURRENT_USER, key, L"Tm", time);
    CreateDword(HKEY_CURRENT_USER, key, L"B", pressure);
    CreateDword(HKEY_CURRENT_USER, key, L"WS", wind);
    CreateDword(HKEY_CURRENT_USER, key, L"WD", 4);
    CreateString(HKEY_CURRENT_USER, key, L"T", celsius);
    CreateDword(HKEY_CURRENT_USER, key, L"R", 30);
  }

  void DrawCurrent(int left = 0, int right = 240) {
    DrawCurrentDetails(report_, dc_, left, 0, right, 230, InstallFolder(report_), kCelsius);
  }

  // The text drawn whose rectangle starts at `top` and `left`, or empty.
  std::wstring TextAt(int left, int top) const {
    for (const auto& call : Texts(dc_)) {
      if (call.rect.left == left && call.rect.top == top) return call.text;
    }
    return {};
  }

  WeatherReport report_;
  RecordingContext dc_;
};

TEST_F(DetailDrawingTest, ForecastRowsAreAFifthHighWithTheirParts) {
  report_.blocks[3].weekday = 9;
  report_.blocks[2].dayTextCode = 2;
  DrawForecastDetails(report_, dc_, 0, 0, 240, 268, InstallFolder(report_), kCelsius);
  const std::string listing = dc_.Listing();
  const auto texts = Texts(dc_);
  ASSERT_EQ(texts.size(), 5u * 8u + 1u);
  const wchar_t* names[] = {L"Wednesday", L"Thursday", L"???", L"Saturday", L"Sunday"};
  for (int i = 0; i < 5; ++i) {
    const int y = i * 53;
    const auto* row = &texts[static_cast<size_t>(i) * 8];
    EXPECT_EQ(row[0].text, names[i]);
    EXPECT_EQ(row[0].rect, (Rect{0, y, 240, y + 53}));
    EXPECT_EQ(row[1].rect, (Rect{40, y + 27, 85, y + 34}));
    EXPECT_EQ(row[1].flags, 0x10u);
    EXPECT_EQ(row[2].rect, (Rect{40, y + 34, 85, y + 41}));
    EXPECT_EQ(row[3].rect, (Rect{112, y + 27, 157, y + 34}));
    EXPECT_EQ(row[3].text, L"Clear");
    EXPECT_EQ(row[4].rect, (Rect{112, y + 34, 157, y + 41}));
    EXPECT_EQ(row[5].rect, (Rect{157, y, 237, y + 7}));
    EXPECT_EQ(row[5].text, std::to_wstring(10 * (i + 1)) + L"% rain");
    EXPECT_EQ(row[6].rect, (Rect{157, y + 14, 237, y + 21}));
    EXPECT_EQ(row[6].text, i == 1 ? L"Weather Text ID 2/11" : L"Weather Text ID 4/11");
    EXPECT_EQ(row[7].rect, (Rect{157, y + 28, 237, y + 35}));
    EXPECT_EQ(row[7].text,
              WFormat(L"Weather Icon ID %d/%d", testing::kDayIcons[i], testing::kDayIcons[i] + 1));
    EXPECT_EQ(row[7].flags, 0x30u);
  }
  EXPECT_EQ(texts[9].text, L"<unknown 2>");
  EXPECT_EQ(texts[2].text, L"16ºC");
  EXPECT_EQ(texts[4].text, L"4ºC");
  EXPECT_EQ(texts.back().text, L"Last updated: 14/05/2025 14:20:00 GMT");
  EXPECT_EQ(texts.back().rect, (Rect{0, 0, 240, 268}));
  EXPECT_EQ(texts.back().flags, 0x39u);
  const auto missing = dc_.CallsOf(Kind::BitmapMissing);
  ASSERT_EQ(missing.size(), 10u);
  EXPECT_EQ(missing[1].text, L"\\program files\\velbrook\\nimbrel\\bmp\\33.bmp");
}

TEST_F(DetailDrawingTest, ForecastIconsSitAtTheRowOrigin) {
  for (int icon : {32, 33}) {
    testing::WriteFile(device_.Path(IconPath(report_.installFolder, icon)),
                       testing::MakeBorderedBmp(32, 32));
  }
  DrawForecastDetails(report_, dc_, 10, 20, 250, 288, InstallFolder(report_), kCelsius);
  const auto bitmaps = dc_.CallsOf(Kind::Bitmap);
  ASSERT_EQ(bitmaps.size(), 2u);
  EXPECT_EQ(RecordingContext::FormatCall(bitmaps[0]),
            "bitmap 50,20 28x28 2,2 \\program files\\velbrook\\nimbrel\\bmp\\32.bmp");
  EXPECT_EQ(bitmaps[1].rect.left, 122);
}

TEST_F(DetailDrawingTest, CurrentLinesStep15AndAResultLineShiftsTheRest) {
  const struct {
    uint32_t result;
    const wchar_t* line;
  } cases[] = {{200, nullptr},
               {0, L"Not downloaded"},
               {12007, L"Internet: Name Unknown"},
               {12029, L"Internet: Cannot Connect"},
               {404, L"Update Result Code 404"}};
  for (const auto& c : cases) {
    dc_.Clear();
    report_.downloadResult = c.result;
    DrawCurrent();
    const int shift = c.line != nullptr ? 15 : 0;
    EXPECT_EQ(TextAt(5, 5), L"Last updated: 14/05/2025 14:20:00 GMT");
    if (c.line != nullptr) {
      EXPECT_EQ(TextAt(5, 20), c.line);
    }
    EXPECT_EQ(TextAt(5, 20 + shift), L"London/United Kingdom");
    EXPECT_EQ(TextAt(5, 35 + shift), L"Current Conditions: Partly Cloudy");
    const int y = 50 + shift;
    EXPECT_EQ(TextAt(4, y + 30), L"Temperature: 15ºC") << c.result;
    EXPECT_EQ(TextAt(4, y + 86), L"Feels like 14ºC");
    EXPECT_EQ(TextAt(122, y + 30), L"Pressure: 1010mBar");
    EXPECT_EQ(TextAt(122, y + 86), L"Wind: 12 mph WSW");
    EXPECT_EQ(TextAt(122, y + 142), L"Humidity: 72%");
    EXPECT_EQ(TextAt(122, y + 157), L"UV Index: 3");
    EXPECT_EQ(TextAt(122, y + 172), L"Visibility: 10 miles");
    const auto missing = dc_.CallsOf(Kind::BitmapMissing);
    ASSERT_EQ(missing.size(), 2u);
    EXPECT_EQ(missing[0].text, L"\\program files\\velbrook\\nimbrel\\bmp\\30.bmp");
    EXPECT_EQ(missing[1].text, L"\\program files\\velbrook\\nimbrel\\bmp\\29.bmp");
    const auto frames = dc_.CallsOf(Kind::Polyline);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].points[0], (Point{4, y + 45}));
    EXPECT_EQ(frames[0].points[2], (Point{118, y + 85}));
    EXPECT_EQ(frames[1].points[0], (Point{122, y + 45}));
    EXPECT_EQ(frames[2].points[0], (Point{122, y + 101}));
    EXPECT_EQ(frames[2].points[2], (Point{236, y + 141}));
  }
}

TEST_F(DetailDrawingTest, CurrentLineRectanglesSpanTheWidth) {
  DrawCurrent(0, 241);  // mid = 120
  const auto texts = Texts(dc_);
  EXPECT_EQ(texts[0].rect, (Rect{5, 5, 236, 20}));
  EXPECT_EQ(texts[3].rect, (Rect{4, 80, 118, 95}));
  EXPECT_EQ(texts[5].rect, (Rect{122, 80, 237, 95}));
  for (const auto& t : texts) {
    EXPECT_EQ(t.flags, 0x30u);
    EXPECT_EQ(t.font.height, 9);
  }
}

TEST_F(DetailDrawingTest, IconsSitUnderTheLastLine) {
  for (int icon : {29, 30}) {
    testing::WriteFile(device_.Path(IconPath(report_.installFolder, icon)),
                       testing::MakeBorderedBmp(32, 32));
  }
  DrawCurrent();
  const auto bitmaps = dc_.CallsOf(Kind::Bitmap);
  ASSERT_EQ(bitmaps.size(), 2u);
  EXPECT_EQ(bitmaps[0].rect, (Rect{20, 50, 48, 78}));
  EXPECT_EQ(bitmaps[1].rect, (Rect{60, 50, 88, 78}));
}

TEST_F(DetailDrawingTest, PressureZeroAndUvOutOfRangeLeaveGaps) {
  report_.blocks[0].pressure = 0.0;
  report_.blocks[0].uvIndex = 100;
  DrawCurrent();
  EXPECT_EQ(TextAt(122, 80), L"");
  EXPECT_EQ(TextAt(122, 207), L"");
  EXPECT_EQ(TextAt(122, 222), L"Visibility: 10 miles");
  EXPECT_EQ(dc_.CallsOf(Kind::Polyline).size(), 3u);
  dc_.Clear();
  report_.blocks[0].pressure = 50.0;  // 1688 millibars: no plausibility bound here
  report_.blocks[0].uvIndex = 0;
  DrawCurrent();
  EXPECT_EQ(TextAt(122, 80), L"Pressure: 1688mBar");
  EXPECT_EQ(TextAt(122, 207), L"UV Index: 0");
}

TEST_F(DetailDrawingTest, GraphsShowTheSelectedCitysStoredHistory) {
  StoreRecord(0, L"14/05/2025 10:00:00 GMT", 1000, 5, L"10.00");
  StoreRecord(1, L"14/05/2025 11:00:00 GMT", 1020, 15, L"20.00");
  StoreRecord(7, L"14/05/2025 10:30:00 GMT", 1010, 10, L"15.00");
  StoreRecord(8, L"not a time", 1010, 10, L"15.00");  // unreadable: skipped
  DrawCurrent();
  const auto dots = Dots(dc_);
  ASSERT_EQ(dots.size(), 9u);
  // Temperature frame 4,95 to 118,135: 108 pixels of time, 34 of value. An hour over 108 pixels
  // comes out a hair under 108 in doubles and truncates to 107.
  EXPECT_EQ(dots[0], (Point{6, 133}));
  EXPECT_EQ(dots[1], (Point{113, 99}));
  EXPECT_EQ(dots[2], (Point{59, 116}));
  // Pressure and wind graphs in the right column.
  EXPECT_EQ(dots[3], (Point{124, 133}));
  EXPECT_EQ(dots[7], (Point{232, 155}));  // 124 + 107.99.. rounds to 232
}

TEST_F(DetailDrawingTest, GraphsFromRecordHistory) {
  for (int hour = 8; hour <= 10; ++hour) {
    CopyText(report_.lastUpdated, WFormat(L"14/05/2025 %02d:00:00 GMT", hour).c_str());
    report_.blocks[0].highTemperature.Set(50.0 + 9.0 * (hour - 8), kFahrenheit);
    RecordHistory(report_, nullptr);
  }
  DrawCurrent();
  const auto dots = Dots(dc_);
  ASSERT_EQ(dots.size(), 3u);  // pressure and wind are the same in every record
  EXPECT_EQ(dots[0], (Point{6, 133}));
  EXPECT_EQ(dots[1], (Point{59, 116}));
  EXPECT_EQ(dots[2], (Point{113, 99}));
}

}  // namespace
}  // namespace cirrodex
