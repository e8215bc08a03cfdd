#include "platform/qt/qt_drawing_context.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QGuiApplication>

#include "core/summary_drawing.h"
#include "tests/core/drawing_test_support.h"
#include "tests/support/bmp_writer.h"

namespace cirrodex::platform {
namespace {

const QRgb kPaper = qRgb(255, 255, 255);
const QRgb kGrey = qRgb(128, 128, 128);

// The bounding box of the pixels that differ from `background`, and how many there are.
struct Ink {
  QRect box;
  int count = 0;
};

Ink FindInk(const QImage& image, QRgb background) {
  Ink ink;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) == background) continue;
      ++ink.count;
      ink.box = ink.box.united(QRect(x, y, 1, 1));
    }
  }
  return ink;
}

// A white image with a painter and a context on it, black text, transparent background.
class Canvas {
 public:
  explicit Canvas(int width = 300, int height = 80, QRgb fill = kPaper)
      : image_(width, height, QImage::Format_RGB32) {
    image_.fill(fill);
    painter_.begin(&image_);
    dc_.emplace(painter_);
    dc_->SetTextColor(Rgb(0, 0, 0));
    dc_->SetBkMode(BackgroundMode::Transparent);
  }
  QtDrawingContext& dc() { return *dc_; }
  QPainter& painter() { return painter_; }
  const QImage& Finish() {
    dc_.reset();
    painter_.end();
    return image_;
  }

 private:
  QImage image_;
  QPainter painter_;
  std::optional<QtDrawingContext> dc_;
};

const FontSpec kSmall{L"Tahoma", 9, 400, 5};
const FontSpec kLarge{L"Tahoma", 13, 400, 5};

class QtSummaryTest : public testing::DeviceTest {};

TEST_F(QtSummaryTest, EveryLayoutsTextLandsInsideTheStrip) {
  WeatherReport report;
  testing::FillReport(report);
  testing::ClockOverride clock;
  for (int32_t layout = 0; layout <= 5; ++layout) {
    const int height = SummaryHeight(layout);
    Canvas canvas;
    DrawSummary(report, canvas.dc(), 10, 0, 230, height, layout, InstallFolder(report), kCelsius);
    const Ink ink = FindInk(canvas.Finish(), kPaper);
    EXPECT_GT(ink.count, 200) << layout;
    EXPECT_TRUE(QRect(10, 0, 220, height).contains(ink.box))
        << "layout " << layout << ": ink at " << ink.box.x() << "," << ink.box.y() << " "
        << ink.box.width() << "x" << ink.box.height();
  }
  Canvas canvas;
  DrawStatusLine(report, canvas.dc(), 10, 30, 230, 38, 12029);
  const Ink ink = FindInk(canvas.Finish(), kPaper);
  EXPECT_GT(ink.count, 50);
  EXPECT_TRUE(QRect(10, 30, 220, 8).contains(ink.box));
}

TEST(QtDrawingContext, SingleLinesAreClippedToTheirRectangle) {
  Canvas canvas;
  canvas.dc().SelectFont(&kLarge);
  canvas.dc().DrawText(L"A long line that cannot fit\nand a second", Rect{20, 10, 60, 18}, 0x30);
  const Ink ink = FindInk(canvas.Finish(), kPaper);
  EXPECT_GT(ink.count, 20);
  EXPECT_TRUE(QRect(20, 10, 40, 8).contains(ink.box));
}

TEST(QtDrawingContext, LeftAlignedUnlessCentred) {
  for (unsigned flags : {0x30u, 0x31u}) {
    Canvas canvas;
    canvas.dc().SelectFont(&kLarge);
    canvas.dc().DrawText(L"Sunny", Rect{0, 0, 300, 40}, flags);
    const Ink ink = FindInk(canvas.Finish(), kPaper);
    if (flags & DT_CENTER) {
      EXPECT_NEAR(ink.box.left(), 300 - 1 - ink.box.right(), 3);
    } else {
      EXPECT_LE(ink.box.left(), 2);
    }
  }
}

TEST(QtDrawingContext, VerticalPlacementOfASingleLine) {
  const int cell = QFontMetrics(RealiseFont(kLarge)).height();
  const struct {
    unsigned flags;
    int top;
    int bottom;  // the band the ink must lie in
  } cases[] = {
      {0x30, 0, cell},                                  // top
      {0x38, 60 - cell, 60},                            // bottom, the status line's flags
      {0x39, 60 - cell, 60},                            // bottom and centred, the page footer's
      {0x24, (60 - cell) / 2, (60 - cell) / 2 + cell},  // centred
      {0x2C, (60 - cell) / 2, (60 - cell) / 2 + cell},  // both: centring wins
  };
  for (const auto& c : cases) {
    Canvas canvas;
    canvas.dc().SelectFont(&kLarge);
    canvas.dc().DrawText(L"Hgjy", Rect{0, 0, 200, 60}, c.flags);
    const Ink ink = FindInk(canvas.Finish(), kPaper);
    EXPECT_GE(ink.box.top(), c.top) << std::hex << c.flags;
    EXPECT_LT(ink.box.bottom(), c.bottom) << std::hex << c.flags;
  }
}

TEST(QtDrawingContext, WordBreakWrapsWithoutSingleLine) {
  Canvas canvas;
  canvas.dc().SelectFont(&kLarge);
  const int height = canvas.dc().DrawText(L"Rain Snow Sleet", Rect{0, 0, 45, 80}, 0x10);
  const int cell = QFontMetrics(RealiseFont(kLarge)).height();
  const Ink ink = FindInk(canvas.Finish(), kPaper);
  EXPECT_GE(height, 2 * cell);
  EXPECT_GT(ink.box.height(), cell);
  EXPECT_LT(ink.box.right(), 45);
}

TEST(QtDrawingContext, OpaqueModePaintsBehindTheText) {
  for (BackgroundMode mode : {BackgroundMode::Opaque, BackgroundMode::Transparent}) {
    Canvas canvas(100, 30, kGrey);
    canvas.dc().SetBkMode(mode);
    canvas.dc().SelectFont(&kLarge);
    canvas.dc().DrawText(L"Fair", Rect{0, 0, 100, 30}, 0x30);
    const QImage& image = canvas.Finish();
    int white = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) white += image.pixel(x, y) == kPaper;
    }
    if (mode == BackgroundMode::Opaque) {
      EXPECT_GT(white, 20);
    } else {
      EXPECT_EQ(white, 0);
    }
  }
}

TEST(QtDrawingContext, TextTakesTheTextColour) {
  Canvas canvas;
  canvas.dc().SetTextColor(Rgb(255, 0, 0));
  canvas.dc().SelectFont(&kLarge);
  canvas.dc().DrawText(L"IIII", Rect{0, 0, 100, 30}, 0x30);
  const QImage& image = canvas.Finish();
  bool sawRed = false;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 100; ++x) sawRed |= image.pixel(x, y) == qRgb(255, 0, 0);
  }
  EXPECT_TRUE(sawRed);
}

class QtBitmapTest : public testing::DeviceTest {};

TEST_F(QtBitmapTest, BlitsArePixelExact) {
  testing::WriteFile(device_.Path(L"\\b\\icon.bmp"), testing::MakeBorderedBmp(32, 32));
  Canvas canvas(60, 60);
  auto dib = canvas.dc().LoadBitmap(L"\\b\\icon.bmp");
  ASSERT_NE(dib, nullptr);
  canvas.dc().BitBlt(5, 7, 28, 28, *dib, 2, 2);
  const QImage& image = canvas.Finish();
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 60; ++x) {
      QRgb want = kPaper;
      if (x >= 5 && x < 33 && y >= 7 && y < 35) {
        const RgbQuad p = dib->PixelFromTop(x - 5 + 2, y - 7 + 2);
        want = qRgb(p.red, p.green, p.blue);
      }
      ASSERT_EQ(image.pixel(x, y), want) << x << "," << y;
    }
  }
}

TEST_F(QtBitmapTest, IndexedBitmapsShowTheirColours) {
  testing::BmpSpec spec;
  spec.width = 3;
  spec.height = 2;
  spec.bitCount = 4;
  spec.colorsUsed = 2;
  spec.table = {RgbQuad{255, 0, 0, 0}, RgbQuad{0, 200, 0, 0}};
  spec.index = [](int x, int y) { return static_cast<uint8_t>((x + y) % 2); };
  testing::WriteFile(device_.Path(L"\\p.bmp"), testing::MakeBmp(spec));
  Canvas canvas(10, 10);
  EXPECT_TRUE(DrawMapBitmap(L"\\p.bmp", canvas.dc(), 1, 1));
  const QImage& image = canvas.Finish();
  EXPECT_EQ(image.pixel(1, 1), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(2, 1), qRgb(0, 200, 0));
  EXPECT_EQ(image.pixel(1, 2), qRgb(0, 200, 0));
  EXPECT_EQ(image.pixel(4, 1), kPaper);
}

TEST(QtDrawingContext, BlitsOutsideTheSourceCopyOnlyWhatExists) {
  DibBitmap dib;
  dib.header.width = 2;
  dib.header.height = 2;
  dib.header.bitCount = 24;
  dib.bits.assign(dib.Stride() * 2, 0);
  Canvas canvas(10, 10);
  canvas.dc().BitBlt(3, 3, 5, 5, dib, -1, -1);
  const Ink ink = FindInk(canvas.Finish(), kPaper);
  EXPECT_EQ(ink.box, QRect(4, 4, 2, 2));
}

TEST(QtDrawingContext, RectanglesCoverLeftToRightMinusOne) {
  Canvas canvas(12, 12, kGrey);
  const Pen pen{Rgb(0, 0, 0), 0};
  const Brush brush{Rgb(255, 255, 255)};
  canvas.dc().SelectPen(&pen);
  canvas.dc().SelectBrush(&brush);
  canvas.dc().Rectangle(Rect{2, 3, 7, 8});
  canvas.dc().FillRect(Rect{9, 9, 11, 11}, Brush{Rgb(0, 0, 255)});
  const QImage& image = canvas.Finish();
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 9; ++x) {
      const bool inside = x >= 2 && x <= 6 && y >= 3 && y <= 7;
      const bool edge = inside && (x == 2 || x == 6 || y == 3 || y == 7);
      const QRgb want = !inside ? kGrey : edge ? qRgb(0, 0, 0) : kPaper;
      EXPECT_EQ(image.pixel(x, y), want) << x << "," << y;
    }
  }
  EXPECT_EQ(FindInk(image.copy(8, 8, 4, 4), kGrey).box, QRect(1, 1, 2, 2));
}

// An outline of the fill's colour covers the pixels that Qt's own outlined and filled rectangle
// covers, shifted and scaled alike, and leaves the painter's pen and brush as they were.
TEST(QtDrawingContext, OneColourRectanglesCoverWhatQtsRectangleCovers) {
  for (double scale : {1.0, 2.0}) {
    SCOPED_TRACE(scale);
    QImage images[2];
    for (int ours = 0; ours < 2; ++ours) {
      Canvas canvas(24, 24, kGrey);
      canvas.painter().translate(1, 2);
      canvas.painter().scale(scale, scale);
      const Pen pen{Rgb(0, 0, 128), 0};
      const Brush brush{Rgb(0, 0, 128)};
      canvas.dc().SelectPen(&pen);
      canvas.dc().SelectBrush(&brush);
      for (Rect r : {Rect{2, 3, 4, 5}, Rect{5, 5, 9, 7}, Rect{1, 9, 2, 10}}) {
        if (ours) {
          canvas.dc().Rectangle(r);
        } else {
          QPainter& p = canvas.painter();
          p.save();
          p.setPen(QPen(QColor(0, 0, 128), 0));
          p.setBrush(QColor(0, 0, 128));
          p.drawRect(QRect(r.left, r.top, r.Width() - 1, r.Height() - 1));
          p.restore();
        }
      }
      EXPECT_EQ(canvas.painter().brush().style(), Qt::NoBrush);
      images[ours] = canvas.Finish();
    }
    EXPECT_EQ(images[0], images[1]);
  }
}

TEST(QtDrawingContext, PolylinesUseTheSelectedPen) {
  Canvas canvas(20, 20);
  const Pen pen{Rgb(0, 0, 255), 0};
  canvas.dc().SelectPen(&pen);
  canvas.dc().Polyline({{2, 2}, {2, 10}, {12, 10}});
  const QImage& image = canvas.Finish();
  EXPECT_EQ(image.pixel(2, 6), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(8, 10), qRgb(0, 0, 255));
  EXPECT_EQ(FindInk(image, kPaper).box, QRect(2, 2, 11, 9));
}

TEST(QtDrawingContext, DeviceIndependentBitsAreBottomUp) {
  // Two rows of two pixels, stored bottom row first: bottom red, top blue.
  BitmapInfoHeader header;
  header.width = 2;
  header.height = 2;
  header.bitCount = 24;
  const uint8_t bits[] = {0,   0, 255, 0,   0, 255, 0, 0,  // bottom row, padded to 8 bytes
                          255, 0, 0,   255, 0, 0,   0, 0};
  Canvas canvas(6, 6);
  canvas.dc().SetDIBitsToDevice(1, 1, 2, 2, bits, header);
  const QImage& image = canvas.Finish();
  EXPECT_EQ(image.pixel(1, 1), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(2, 2), qRgb(255, 0, 0));
}

TEST(QtDrawingContext, ClipBoxIsTheTargetInLogicalCoordinates) {
  Canvas canvas(100, 50);
  EXPECT_EQ(canvas.dc().GetClipBox(), (Rect{0, 0, 100, 50}));
  canvas.painter().translate(-10, 5);
  EXPECT_EQ(canvas.dc().GetClipBox(), (Rect{10, -5, 110, 45}));
  canvas.Finish();
}

TEST(QtFonts, TahomaIsRegisteredFromFontsWine) {
  if (!std::filesystem::exists(kTahomaFile)) GTEST_SKIP() << kTahomaFile << " is not installed";
  EXPECT_EQ(TahomaFamily(), QStringLiteral("Tahoma"));
  EXPECT_EQ(RealiseFont(kSmall).family(), QStringLiteral("Tahoma"));
}

TEST(QtFonts, HeightsAreCellHeights) {
  for (int height : {9, 11, 13}) {
    const QFontMetrics metrics(RealiseFont(FontSpec{L"Tahoma", height, 400, 5}));
    EXPECT_NEAR(metrics.height(), height, 1) << height;
  }
}

}  // namespace
}  // namespace cirrodex::platform

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
