#include <gtest/gtest.h>

#include <limits>

#include "platform/drawing_context.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/temp_device.h"

namespace cirrodex::platform {
namespace {

using testing::BmpSpec;
using testing::MakeBmp;

class DibFileTest : public testing::DeviceTest {
 protected:
  std::unique_ptr<DibBitmap> Load(const std::vector<uint8_t>& bytes) {
    testing::WriteFile(device_.Path(L"\\t\\x.bmp"), bytes);
    return LoadDibFile(L"\\t\\x.bmp");
  }
};

RgbQuad Colour(int x, int y) {
  return RgbQuad{static_cast<uint8_t>(x * 11), static_cast<uint8_t>(y * 13),
                 static_cast<uint8_t>(x + y), 0};
}

std::vector<RgbQuad> GreyTable(int entries) {
  std::vector<RgbQuad> table;
  for (int i = 0; i < entries; ++i) {
    const auto v = static_cast<uint8_t>(255 - i);
    table.push_back(RgbQuad{v, static_cast<uint8_t>(i), v, 0});
  }
  return table;
}

TEST_F(DibFileTest, ReadsEveryDepthWithRowPadding) {
  // Widths of 5 and 7 leave padding at the end of every row at every depth.
  for (uint16_t bits : {1, 4, 8, 24, 32}) {
    for (int32_t height : {3, -3}) {
      BmpSpec spec;
      spec.width = bits == 1 ? 13 : 5;
      spec.height = height;
      spec.bitCount = bits;
      spec.pixel = Colour;
      const int levels = bits <= 8 ? 1 << bits : 0;
      spec.index = [levels](int x, int y) { return static_cast<uint8_t>((x * 3 + y) % levels); };
      spec.table = GreyTable(levels);
      auto dib = Load(MakeBmp(spec));
      ASSERT_NE(dib, nullptr) << bits << " bits, height " << height;
      EXPECT_EQ(dib->Width(), spec.width);
      EXPECT_EQ(dib->Height(), 3);
      EXPECT_EQ(dib->header.bitCount, bits);
      EXPECT_EQ(dib->path, L"\\t\\x.bmp");
      EXPECT_EQ(dib->colors.size(), bits <= 8 ? 256u : 0u);
      for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < spec.width; ++x) {
          const RgbQuad want = bits <= 8 ? spec.table[spec.index(x, y)] : Colour(x, y);
          EXPECT_EQ(dib->PixelFromTop(x, y), want) << bits << " bits at " << x << "," << y;
        }
      }
    }
  }
}

TEST_F(DibFileTest, ShortColourTablesAreWidenedTo256) {
  BmpSpec spec;
  spec.bitCount = 8;
  spec.colorsUsed = 3;
  spec.table = GreyTable(3);
  spec.index = [](int x, int) { return static_cast<uint8_t>(x % 3); };
  auto dib = Load(MakeBmp(spec));
  ASSERT_NE(dib, nullptr);
  ASSERT_EQ(dib->colors.size(), 256u);
  EXPECT_EQ(dib->colors[2], spec.table[2]);
  EXPECT_EQ(dib->colors[3], RgbQuad{});
  EXPECT_EQ(dib->PixelFromTop(2, 0), spec.table[2]);
}

TEST_F(DibFileTest, PixelsOutsideAreBlack) {
  auto dib = Load(testing::MakeBorderedBmp(4, 4, 1));
  ASSERT_NE(dib, nullptr);
  for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {4, 0}, {0, 4}, {INT32_MIN, INT32_MAX}}) {
    EXPECT_EQ(dib->PixelFromTop(x, y), RgbQuad{}) << x << "," << y;
  }
  EXPECT_EQ(dib->PixelFromTop(0, 0), (RgbQuad{0, 0, 255, 0}));
}

TEST_F(DibFileTest, EveryTruncationIsRefused) {
  BmpSpec spec;
  spec.width = 3;
  spec.height = 2;
  spec.bitCount = 8;
  spec.colorsUsed = 4;
  spec.table = GreyTable(4);
  spec.index = [](int x, int) { return static_cast<uint8_t>(x); };
  const std::vector<uint8_t> whole = MakeBmp(spec);
  ASSERT_NE(Load(whole), nullptr);
  for (size_t size = 0; size < whole.size(); ++size) {
    EXPECT_EQ(Load({whole.begin(), whole.begin() + static_cast<long>(size)}), nullptr) << size;
  }
}

// Overwrites `bytes` little-endian bytes at `offset` of a valid 24-bit file.
std::vector<uint8_t> Patched(size_t offset, uint32_t value, int bytes) {
  std::vector<uint8_t> file = testing::MakeBorderedBmp(8, 8);
  for (int i = 0; i < bytes; ++i) file[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  return file;
}

TEST_F(DibFileTest, HostileHeadersAreRefused) {
  const struct {
    const char* what;
    size_t offset;
    uint32_t value;
    int bytes;
  } cases[] = {
      {"magic", 0, 'X', 1},
      {"bits offset past the end", 10, 100000, 4},
      {"bits offset inside the header", 10, 20, 4},
      {"bits offset near 4 GB", 10, 0xFFFFFFF0u, 4},
      {"header size 0", 14, 0, 4},
      {"header size huge", 14, 0xFFFFFFFFu, 4},
      {"zero width", 18, 0, 4},
      {"negative width", 18, static_cast<uint32_t>(-8), 4},
      {"huge width", 18, 0x7FFFFFFF, 4},
      {"zero height", 22, 0, 4},
      {"most negative height", 22, 0x80000000u, 4},
      {"height beyond the data", 22, 9, 4},
      {"huge height", 22, 100000, 4},
      {"two planes", 26, 2, 2},
      {"16 bits", 28, 16, 2},
      {"0 bits", 28, 0, 2},
      {"RLE8", 30, 1, 4},
      {"bit fields", 30, 3, 4},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Load(Patched(c.offset, c.value, c.bytes)), nullptr) << c.what;
}

TEST_F(DibFileTest, ColourTableLargerThanTheDepthIsRefused) {
  BmpSpec spec;
  spec.bitCount = 4;
  spec.colorsUsed = 17;
  spec.index = [](int, int) { return uint8_t{0}; };
  EXPECT_EQ(Load(MakeBmp(spec)), nullptr);
  spec.bitCount = 8;
  spec.colorsUsed = 1000;
  EXPECT_EQ(Load(MakeBmp(spec)), nullptr);
}

TEST_F(DibFileTest, MissingFilesAndFoldersAreNull) {
  EXPECT_EQ(LoadDibFile(L"\\nothing\\here.bmp"), nullptr);
  std::filesystem::create_directories(device_.Path(L"\\folder.bmp"));
  EXPECT_EQ(LoadDibFile(L"\\folder.bmp"), nullptr);
  EXPECT_EQ(Load({}), nullptr);
}

TEST_F(DibFileTest, TheDefaultContextLoadGoesToTheFile) {
  struct Bare : DrawingContext {
    const FontSpec* SelectFont(const FontSpec*) override { return nullptr; }
    const Pen* SelectPen(const Pen*) override { return nullptr; }
    const Brush* SelectBrush(const Brush*) override { return nullptr; }
    Color SetTextColor(Color) override { return 0; }
    Color GetTextColor() const override { return 0; }
    BackgroundMode SetBkMode(BackgroundMode m) override { return m; }
    int DrawText(std::wstring_view, const Rect&, unsigned) override { return 0; }
    void BitBlt(int, int, int, int, const DibBitmap&, int, int) override {}
    void Polyline(const std::vector<Point>&) override {}
    void Rectangle(const Rect&) override {}
    void FillRect(const Rect&, const Brush&) override {}
    Rect GetClipBox() const override { return {}; }
    void SetDIBitsToDevice(int, int, int, int, const uint8_t*, const BitmapInfoHeader&) override {}
  } bare;
  testing::WriteFile(device_.Path(L"\\a\\b.bmp"), testing::MakeBorderedBmp(6, 5));
  auto dib = bare.LoadBitmap(L"\\a\\b.bmp");
  ASSERT_NE(dib, nullptr);
  EXPECT_EQ(dib->Height(), 5);
  EXPECT_EQ(bare.LoadBitmap(L"\\a\\c.bmp"), nullptr);
}

}  // namespace
}  // namespace cirrodex::platform
