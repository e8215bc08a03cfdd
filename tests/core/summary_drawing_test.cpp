#include "core/summary_drawing.h"

#include <gtest/gtest.h>

#include "core/condition_texts.h"
#include "tests/core/drawing_test_support.h"
#include "tests/support/bmp_writer.h"

namespace cirrodex {
namespace {

using platform::RecordingContext;
using platform::Rect;
using testing::ClockOverride;
using testing::Texts;
using Kind = RecordingContext::Kind;

class SummaryDrawingTest : public testing::DeviceTest {
 protected:
  SummaryDrawingTest() { testing::FillReport(report_); }

  // Installs 32 x 32 icon files for every icon the report names.
  void InstallIcons() {
    for (const ForecastDay& block : report_.blocks) {
      for (int32_t icon : {block.dayIcon, block.nightIcon}) {
        testing::WriteFile(device_.Path(IconPath(report_.installFolder, icon)),
                           testing::MakeBorderedBmp(32, 32));
      }
    }
  }

  void Draw(int32_t layout, int32_t unit = kCelsius) {
    DrawSummary(report_, dc_, 10, 0, 230, SummaryHeight(layout), layout, InstallFolder(report_),
                unit);
  }

  // The text lines drawn with their rectangle's left edge at `left`.
  std::vector<std::wstring> LinesAt(int left) const {
    std::vector<std::wstring> lines;
    for (const auto& call : Texts(dc_)) {
      if (call.rect.left == left) lines.push_back(call.text);
    }
    return lines;
  }

  std::vector<int> TextLefts() const {
    std::vector<int> lefts;
    for (const auto& call : Texts(dc_)) {
      if (lefts.empty() || lefts.back() != call.rect.left) lefts.push_back(call.rect.left);
    }
    return lefts;
  }

  WeatherReport report_;
  ClockOverride clock_;  // Wednesday, the weekday of forecast day 0
  RecordingContext dc_;
};

TEST_F(SummaryDrawingTest, HeightIs40ForLayout5Only) {
  for (int32_t layout : {-1, 0, 1, 2, 3, 4, 6, 9}) EXPECT_EQ(SummaryHeight(layout), 30) << layout;
  EXPECT_EQ(SummaryHeight(5), 40);
}

TEST_F(SummaryDrawingTest, Layout0ShowsFiveDaysInFifthsEvenWhenTheFirstIsToday) {
  InstallIcons();
  Draw(0);
  const auto bitmaps = dc_.CallsOf(Kind::Bitmap);
  ASSERT_EQ(bitmaps.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    const int cellLeft = 10 + i * 44;
    EXPECT_EQ(bitmaps[i].rect, (Rect{cellLeft + 44 - 27, 0, cellLeft + 44 - 27 + 28, 28}));
    EXPECT_EQ(bitmaps[i].text, IconPath(report_.installFolder, testing::kDayIcons[i]));
    const auto lines = LinesAt(cellLeft + 1);
    ASSERT_EQ(lines.size(), 4u) << i;
    EXPECT_EQ(lines[0], WeekdayName(report_.blocks[i + 1].weekday, WeekdayForm::Short));
    EXPECT_EQ(lines[3], std::to_wstring(10 * (i + 1)) + L"%");
  }
  EXPECT_EQ(LinesAt(11)[0], L"Wed");
  // Every line of a cell keeps the cell's right and the strip's bottom; the top steps by 7.
  const auto texts = Texts(dc_);
  for (size_t n = 0; n < 4; ++n) {
    EXPECT_EQ(texts[n].rect, (Rect{11, static_cast<int>(7 * n), 53, 30}));
    EXPECT_EQ(texts[n].flags, 0x30u);
    EXPECT_EQ(texts[n].font.height, 9);
  }
}

TEST_F(SummaryDrawingTest, AnyOtherLayoutValueDrawsLayout0) {
  Draw(0);
  const std::string layout0 = dc_.Listing();
  for (int32_t layout : {9, -1, 6}) {
    dc_.Clear();
    Draw(layout);
    EXPECT_EQ(dc_.Listing(), layout0) << layout;
  }
}

TEST_F(SummaryDrawingTest, Layout1SkipsTodayAndPutsDaysAt98_142_186) {
  InstallIcons();
  Draw(1);
  EXPECT_EQ(TextLefts(), (std::vector<int>{11, 99, 143, 187}));
  EXPECT_EQ(LinesAt(99)[0], L"Thu");
  EXPECT_EQ(LinesAt(143)[0], L"Fri");
  EXPECT_EQ(LinesAt(187)[0], L"Sat");
  EXPECT_EQ(LinesAt(187)[3], L"40%");
  const auto bitmaps = dc_.CallsOf(Kind::Bitmap);
  ASSERT_EQ(bitmaps.size(), 4u);
  EXPECT_EQ(bitmaps[0].rect.left, 10 + 88 - 27);  // the current icon at blockRight - 27
  EXPECT_EQ(bitmaps[1].rect.left, 98 + 44 - 27);
  EXPECT_EQ(bitmaps[3].rect.left, 186 + 44 - 27);
}

TEST_F(SummaryDrawingTest, LayoutsShowDaysFromTheFirstWhenItIsNotToday) {
  clock_.SetDayOfWeek(1);  // Monday: no forecast day is today
  Draw(2);
  EXPECT_EQ(LinesAt(99)[0], L"Wed");
  EXPECT_EQ(LinesAt(187)[0], L"Fri");
  dc_.Clear();
  Draw(5);
  EXPECT_EQ(LinesAt(121)[0], L"Wed");
  EXPECT_EQ(LinesAt(176)[0], L"Thu");
}

TEST_F(SummaryDrawingTest, TodayIsLookedForAtEveryCell) {
  clock_.SetDayOfWeek(4);  // Thursday: forecast day 1, met by the second cell
  Draw(1);
  EXPECT_EQ(LinesAt(99)[0], L"Wed");
  EXPECT_EQ(LinesAt(143)[0], L"Fri");
  EXPECT_EQ(LinesAt(187)[0], L"Sat");
}

TEST_F(SummaryDrawingTest, Layout5HasQuarterColumnsLargeFontAndThreeLines) {
  Draw(5);
  EXPECT_EQ(TextLefts(), (std::vector<int>{11, 121, 176}));
  const auto texts = Texts(dc_);
  ASSERT_EQ(texts.size(), 9u);
  EXPECT_EQ(texts[0].rect, (Rect{11, 0, 120, 40}));  // the block keeps its right edge
  EXPECT_EQ(texts[2].rect, (Rect{11, 24, 120, 40}));
  EXPECT_EQ(texts[3].rect, (Rect{121, 0, 174, 40}));
  EXPECT_EQ(texts[8].rect, (Rect{176, 24, 229, 40}));
  for (const auto& t : texts) EXPECT_EQ(t.font.height, 13);
  EXPECT_EQ(texts[0].text, L"London");
  EXPECT_EQ(texts[1].text, L"Partly Cloudy");
  EXPECT_EQ(texts[2].text, L"15ºC (18ºC/10ºC)");
}

TEST_F(SummaryDrawingTest, Layout3UsesTheMediumFontWithStep10) {
  Draw(3);
  const auto texts = Texts(dc_);
  ASSERT_EQ(texts.size(), 12u);  // three lines in the block and in each of three cells
  for (const auto& t : texts) EXPECT_EQ(t.font.height, 11);
  EXPECT_EQ(texts[4].rect, (Rect{99, 10, 141, 30}));
  EXPECT_EQ(LinesAt(99), (std::vector<std::wstring>{L"Thu", L"16ºC", L"5ºC"}));
}

TEST_F(SummaryDrawingTest, Layout4PlacesTheMapsTextAndCurrentIcon) {
  InstallIcons();
  testing::WriteFile(device_.Path(report_.installFolder + L"\\iconradar.bmp"),
                     testing::MakeBorderedBmp(30, 30));
  testing::WriteFile(device_.Path(report_.installFolder + L"\\iconSatellite.bmp"),
                     testing::MakeBorderedBmp(30, 30));
  Draw(4);
  const auto bitmaps = dc_.CallsOf(Kind::Bitmap);
  ASSERT_EQ(bitmaps.size(), 5u);
  EXPECT_EQ(bitmaps[0].rect, (Rect{10, 0, 40, 30}));  // maps whole, from (0, 0)
  EXPECT_EQ(bitmaps[0].source, (platform::Point{0, 0}));
  EXPECT_EQ(bitmaps[1].rect, (Rect{41, 0, 71, 30}));
  EXPECT_EQ(bitmaps[1].text, report_.installFolder + L"\\iconSatellite.bmp");
  EXPECT_EQ(bitmaps[2].rect.left, 116);  // blockRight - 26
  EXPECT_EQ(bitmaps[3].rect.left, 142 + 44 - 27);
  EXPECT_EQ(bitmaps[4].rect.left, 186 + 44 - 27);
  EXPECT_EQ(TextLefts(), (std::vector<int>{72, 143, 187}));
  EXPECT_EQ(Texts(dc_)[0].rect, (Rect{72, 0, 142, 30}));
  EXPECT_EQ(LinesAt(72), (std::vector<std::wstring>{L"London", L"Partly Cloudy",
                                                    L"15ºC (18ºC/10ºC)", L"12mph WSW 10%rain"}));
  EXPECT_EQ(LinesAt(143)[0], L"Thu");
}

TEST_F(SummaryDrawingTest, MissingFilesDrawNothingButTheTexts) {
  Draw(4);
  EXPECT_TRUE(dc_.CallsOf(Kind::Bitmap).empty());
  const auto missing = dc_.CallsOf(Kind::BitmapMissing);
  ASSERT_EQ(missing.size(), 5u);
  EXPECT_EQ(missing[0].text, L"\\program files\\velbrook\\nimbrel\\iconradar.bmp");
  EXPECT_EQ(missing[2].text, L"\\program files\\velbrook\\nimbrel\\bmp\\30.bmp");
  EXPECT_EQ(Texts(dc_).size(), 4u + 4u + 4u);
}

TEST_F(SummaryDrawingTest, CurrentBlockLinesFollowTheLayout) {
  const struct {
    int32_t layout;
    std::vector<std::wstring> lines;
  } cases[] = {
      {1, {L"Partly Cloudy", L"15ºC (18ºC/10ºC)", L"12mph WSW", L"1010mBar 10%rain"}},
      {2, {L"London", L"Partly Cloudy", L"15ºC (18ºC/10ºC)", L"12mph WSW 10%rain"}},
      {3, {L"London", L"Partly Cloudy", L"15ºC (18ºC/10ºC)"}},
      {5, {L"London", L"Partly Cloudy", L"15ºC (18ºC/10ºC)"}},
  };
  for (const auto& c : cases) {
    dc_.Clear();
    Draw(c.layout);
    EXPECT_EQ(LinesAt(11), c.lines) << c.layout;
  }
}

TEST_F(SummaryDrawingTest, CurrentBlockDropsWhatIsMissing) {
  report_.blocks[0].pressure = 11.0;  // 371 millibars: not plausible
  report_.blocks[0].windSpeed = 181;
  report_.blocks[0].lowTemperature = TemperatureValue{};
  Draw(1);
  EXPECT_EQ(LinesAt(11),
            (std::vector<std::wstring>{L"Partly Cloudy", L"15ºC", L" WSW", L"10%rain"}));
  dc_.Clear();
  report_.blocks[0].temperature = TemperatureValue{};
  Draw(2);
  EXPECT_EQ(LinesAt(11)[2], L"??");
  EXPECT_EQ(LinesAt(11)[3], L" WSW 10%rain");
}

TEST_F(SummaryDrawingTest, TemperaturesFollowTheUnit) {
  Draw(2, kFahrenheit);
  EXPECT_EQ(LinesAt(11)[2], L"59ºF (64ºF/50ºF)");
  EXPECT_EQ(LinesAt(99)[1], L"61ºF");
  dc_.Clear();
  Draw(2, kKelvin);
  EXPECT_EQ(LinesAt(11)[2], L"288K (291K/283K)");
}

TEST_F(SummaryDrawingTest, EveryDayBeingTodayStopsAtTheFifthDay) {
  for (ForecastDay& day : report_.blocks) day.weekday = 4;  // all Wednesday, as today
  Draw(1);
  // Days 1 and 3 are drawn, each after a skipped one; the fifth day is skipped and ends the loop.
  EXPECT_EQ(TextLefts(), (std::vector<int>{11, 99, 143}));
  EXPECT_EQ(LinesAt(99)[3], L"20%");
  EXPECT_EQ(LinesAt(143)[3], L"40%");
}

TEST_F(SummaryDrawingTest, PutsThePreviousFontBack) {
  const platform::FontSpec callers{L"System", 12, 700, 0};
  dc_.SelectFont(&callers);
  for (int32_t layout = 0; layout <= 5; ++layout) {
    Draw(layout);
    EXPECT_EQ(dc_.selectedFont(), &callers) << layout;
  }
  DrawStatusLine(report_, dc_, 10, 30, 230, 38, 200);
  EXPECT_EQ(dc_.selectedFont(), &callers);
}

TEST_F(SummaryDrawingTest, IconsLoseTheirTwoPixelBorder) {
  const std::wstring path = L"\\icons\\a.bmp";
  testing::WriteFile(device_.Path(path), testing::MakeBorderedBmp(32, 32));
  EXPECT_TRUE(DrawIconBitmap(path, dc_, 50, 3));
  EXPECT_TRUE(DrawMapBitmap(path, dc_, 5, 6));
  const auto bitmaps = dc_.CallsOf(Kind::Bitmap);
  ASSERT_EQ(bitmaps.size(), 2u);
  EXPECT_EQ(RecordingContext::FormatCall(bitmaps[0]), "bitmap 50,3 28x28 2,2 \\icons\\a.bmp");
  EXPECT_EQ(RecordingContext::FormatCall(bitmaps[1]), "bitmap 5,6 32x32 0,0 \\icons\\a.bmp");
  EXPECT_FALSE(DrawIconBitmap(L"\\icons\\none.bmp", dc_, 0, 0));
  EXPECT_FALSE(DrawMapBitmap(L"\\icons\\none.bmp", dc_, 0, 0));
  EXPECT_EQ(dc_.CallsOf(Kind::Bitmap).size(), 2u);
}

TEST_F(SummaryDrawingTest, IndexedBitmapsBringTheirPalette) {
  testing::BmpSpec spec;
  spec.width = 8;
  spec.height = 8;
  spec.bitCount = 8;
  spec.colorsUsed = 16;
  spec.index = [](int x, int) { return static_cast<uint8_t>(x); };
  testing::WriteFile(device_.Path(L"\\p8.bmp"), testing::MakeBmp(spec));
  testing::WriteFile(device_.Path(L"\\p24.bmp"), testing::MakeBorderedBmp(8, 8));
  DrawMapBitmap(L"\\p8.bmp", dc_, 0, 0);
  DrawMapBitmap(L"\\p24.bmp", dc_, 0, 0);
  const auto palettes = dc_.CallsOf(Kind::SelectPalette);
  ASSERT_EQ(palettes.size(), 1u);
  EXPECT_EQ(palettes[0].paletteSize, 256u);
}

TEST_F(SummaryDrawingTest, StatusLineFormatsByResult) {
  const struct {
    int64_t result;
    uint32_t stored;
    const wchar_t* text;
  } cases[] = {
      {200, 0, L"Last updated: 14/05/2025 14:20:00 GMT"},
      {12007, 0, L"Last updated: 14/05/2025 14:20:00 GMT - No Internet Connection"},
      {12029, 0, L"Last updated: 14/05/2025 14:20:00 GMT - Please check internet access"},
      {404, 0, L"Last updated: 14/05/2025 14:20:00 GMT - No Internet Connection (404)"},
      {0, 200, L"Last updated: 14/05/2025 14:20:00 GMT - No Internet Connection (0)"},
      {-1, 12029, L"Last updated: 14/05/2025 14:20:00 GMT - Please check internet access"},
      {-1, 200, L"Last updated: 14/05/2025 14:20:00 GMT"},
      {12152, 0, L"Last updated: 14/05/2025 14:20:00 GMT - No weather in the answer"},
  };
  for (const auto& c : cases) {
    dc_.Clear();
    report_.downloadResult = c.stored;
    DrawStatusLine(report_, dc_, 10, 30, 230, 38, c.result);
    const auto texts = Texts(dc_);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, c.text) << c.result;
    EXPECT_EQ(texts[0].rect, (Rect{10, 30, 230, 38}));
    EXPECT_EQ(texts[0].flags, 0x38u);
    EXPECT_EQ(texts[0].font.height, 9);
  }
}

}  // namespace
}  // namespace cirrodex
