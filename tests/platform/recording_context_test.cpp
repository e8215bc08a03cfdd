#include "platform/recording_context.h"

#include <gtest/gtest.h>

#include "tests/support/bmp_writer.h"
#include "tests/support/temp_device.h"

namespace cirrodex::platform {
namespace {

using Kind = RecordingContext::Kind;

TEST(RecordingContext, ListsTextWithItsFontFlagsAndEscapes) {
  RecordingContext dc;
  dc.DrawText(L"plain", Rect{1, 2, 3, 4}, 0x30);
  const FontSpec font{L"Tahoma", 9, 400, 5};
  dc.SelectFont(&font);
  dc.DrawText(L"say \"hi\"\\now\nnext 15ºC", Rect{-5, 0, 230, 38}, 0x39);
  EXPECT_EQ(dc.Listing(),
            "text 1,2,3,4 0x30 -/0 \"plain\"\n"
            "text -5,0,230,38 0x39 Tahoma/9 \"say \\\"hi\\\"\\\\now\\nnext 15ºC\"\n");
}

TEST(RecordingContext, ListsShapesAndLeavesStateChangesOut) {
  RecordingContext dc;
  const Pen pen{Rgb(1, 2, 3), 0};
  const Brush brush{Rgb(4, 5, 6)};
  dc.SelectPen(&pen);
  dc.SelectBrush(&brush);
  dc.SetTextColor(Rgb(9, 9, 9));
  dc.SetBkMode(BackgroundMode::Transparent);
  dc.Polyline({{0, 0}, {0, 10}, {5, 10}});
  dc.Rectangle(Rect{1, 2, 3, 4});
  dc.FillRect(Rect{5, 6, 7, 8}, brush);
  const std::vector<uint8_t> bits(12, 0);
  BitmapInfoHeader header;
  header.width = 2;
  header.height = 2;
  header.bitCount = 24;
  dc.SetDIBitsToDevice(3, 4, 2, 2, bits.data(), header);
  EXPECT_EQ(dc.Listing(),
            "polyline 0,0 0,10 5,10\n"
            "fillrect 1,2,3,4\n"
            "fillrect 5,6,7,8\n"
            "dibits 3,4 2x2\n");
  EXPECT_EQ(dc.bkMode(), BackgroundMode::Transparent);
  EXPECT_EQ(dc.GetTextColor(), Rgb(9, 9, 9));
  EXPECT_EQ(dc.CallsOf(Kind::Rectangle)[0].color, Rgb(1, 2, 3));
  EXPECT_EQ(dc.CallsOf(Kind::FillRect)[0].color, Rgb(4, 5, 6));
}

TEST(RecordingContext, SelectionsReturnWhatWasSelectedBefore) {
  RecordingContext dc;
  const FontSpec a{L"A", 1}, b{L"B", 2};
  EXPECT_EQ(dc.SelectFont(&a), nullptr);
  EXPECT_EQ(dc.SelectFont(&b), &a);
  EXPECT_EQ(dc.SelectFont(nullptr), &b);
  const Pen pen;
  EXPECT_EQ(dc.SelectPen(&pen), nullptr);
  EXPECT_EQ(dc.SelectPen(nullptr), &pen);
  EXPECT_EQ(dc.SetBkMode(BackgroundMode::Transparent), BackgroundMode::Opaque);
  EXPECT_EQ(dc.GetClipBox(), (Rect{0, 0, 240, 320}));
  EXPECT_EQ(RecordingContext(Rect{1, 2, 3, 4}).GetClipBox(), (Rect{1, 2, 3, 4}));
}

class RecordingBitmapTest : public testing::DeviceTest {};

TEST_F(RecordingBitmapTest, ListsBlitsWithTheirSourceAndMissingFiles) {
  testing::WriteFile(device_.Path(L"\\i\\7.bmp"), testing::MakeBorderedBmp(32, 32));
  RecordingContext dc;
  auto dib = dc.LoadBitmap(L"\\i\\7.bmp");
  ASSERT_NE(dib, nullptr);
  dc.BitBlt(71, 0, 28, 28, *dib, 2, 2);
  EXPECT_EQ(dc.LoadBitmap(L"\\i\\8.bmp"), nullptr);
  EXPECT_EQ(dc.Listing(),
            "bitmap 71,0 28x28 2,2 \\i\\7.bmp\n"
            "bitmap-missing \\i\\8.bmp\n");
}

}  // namespace
}  // namespace cirrodex::platform
