#include "imaging/image_buffer.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/imaging/image_test_util.h"

namespace cirrodex {
namespace {

using testing::CaptureContext;
using testing::FillPattern;
using testing::PatternColor;
using testing::PixelFromTop;

TEST(ImageBufferCreate, NormalisesBitCountPaletteAndStride) {
  struct Case {
    int width;
    uint32_t bitCountAsked;
    uint16_t bitCount;
    uint32_t paletteEntries;
    uint32_t stride;
  };
  const Case cases[] = {
      {5, 32, 24, 0, 16}, {1, 24, 24, 0, 4},      {3, 9, 24, 0, 12}, {3, 8, 8, 256, 4},
      {5, 5, 8, 256, 8},  {9, 4, 4, 16, 8},       {9, 2, 4, 16, 8},  {33, 1, 1, 2, 8},
      {1, 0, 1, 2, 4},    {400, 24, 24, 0, 1200},
  };
  for (const Case& c : cases) {
    ImageBuffer image;
    ASSERT_NE(image.Create(c.width, 3, c.bitCountAsked, ImageType::Jpeg), nullptr);
    SCOPED_TRACE(::testing::Message() << "width " << c.width << " bits " << c.bitCountAsked);
    EXPECT_EQ(image.BitCount(), c.bitCount);
    EXPECT_EQ(image.PaletteEntries(), c.paletteEntries);
    EXPECT_EQ(image.RowStride(), c.stride);
    EXPECT_EQ(image.Header().sizeImage, c.stride * 3);
    EXPECT_EQ(image.Type(), ImageType::Jpeg);
    EXPECT_EQ(image.Header().xPelsPerMeter, 2835);
    // The block starts with a copy of the header, then a zeroed palette.
    BitmapInfoHeader copy;
    std::memcpy(&copy, image.Dib(), sizeof copy);
    EXPECT_EQ(copy.width, c.width);
    EXPECT_EQ(copy.bitCount, c.bitCount);
    for (uint32_t i = 0; i < image.PaletteEntries(); ++i) {
      EXPECT_EQ(image.Palette()[i], RgbQuad{});
    }
    EXPECT_EQ(image.Pixels(), image.Dib() + 40 + 4 * c.paletteEntries);
  }
}

TEST(ImageBufferCreate, RefusesEmptyNegativeAndHugeSizesAndStaysEmpty) {
  const int sizes[][2] = {{0, 5}, {5, 0}, {-1, 5}, {5, -3}, {16385, 1}, {1, 16385}, {8000, 8000}};
  for (const auto& size : sizes) {
    ImageBuffer image;
    FillPattern(image, 4, 4);
    EXPECT_EQ(image.Create(size[0], size[1], 24, ImageType::Bmp), nullptr)
        << size[0] << "x" << size[1];
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(image.Width(), 0);
  }
  ImageBuffer largest;
  EXPECT_NE(largest.Create(16384, 1, 24, ImageType::Bmp), nullptr);
}

TEST(ImageBufferDpi, PixelsPerMetreFollowTheResolution) {
  const int table[][2] = {{72, 2835}, {96, 3780}, {300, 11811}, {1, 39}, {0, 0}};
  for (const auto& row : table) {
    ImageBuffer image;
    image.SetDpi(DpiAxis::Horizontal, row[0]);
    image.SetDpi(DpiAxis::Vertical, row[0] * 2);
    EXPECT_EQ(image.XDpi(), row[0]);
    EXPECT_EQ(image.Header().xPelsPerMeter, row[1]);
    EXPECT_EQ(image.Header().yPelsPerMeter, DpiToPixelsPerMeter(row[0] * 2));
    // Create keeps the resolution.
    image.Create(2, 2, 24, ImageType::Bmp);
    EXPECT_EQ(image.Header().xPelsPerMeter, row[1]);
  }
}

TEST(ImageBufferCrop, TopLeftCornerOfA100By150Picture) {
  ImageBuffer picture;
  FillPattern(picture, 100, 150);
  ImageBuffer icon;
  ASSERT_TRUE(picture.Crop(0, 0, 30, 30, &icon));
  ASSERT_EQ(icon.Width(), 30);
  ASSERT_EQ(icon.Height(), 30);
  EXPECT_EQ(icon.BitCount(), 24);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 30; ++x) {
      ASSERT_EQ(PixelFromTop(icon, x, y), PatternColor(x, y)) << x << "," << y;
    }
  }
  EXPECT_EQ(picture.Width(), 100) << "the source stays whole";
}

TEST(ImageBufferCrop, SwappedEdgesGiveTheSameCut) {
  ImageBuffer picture;
  FillPattern(picture, 100, 150);
  ImageBuffer straight, swapped, both;
  ASSERT_TRUE(picture.Crop(10, 20, 40, 70, &straight));
  ASSERT_TRUE(picture.Crop(40, 20, 10, 70, &swapped));
  ASSERT_TRUE(picture.Crop(40, 70, 10, 20, &both));
  for (const ImageBuffer* cut : {&swapped, &both}) {
    ASSERT_EQ(cut->Width(), 30);
    ASSERT_EQ(cut->Height(), 50);
    EXPECT_EQ(std::memcmp(cut->Pixels(), straight.Pixels(), straight.Header().sizeImage), 0);
  }
  EXPECT_EQ(PixelFromTop(straight, 0, 0), PatternColor(10, 20));
  EXPECT_EQ(PixelFromTop(straight, 29, 49), PatternColor(39, 69));
}

TEST(ImageBufferCrop, EdgesOutsideArePulledIn) {
  ImageBuffer picture;
  FillPattern(picture, 20, 40);
  ImageBuffer icon;
  ASSERT_TRUE(picture.Crop(-10, 30, 20, 60, &icon));
  EXPECT_EQ(icon.Width(), 20);
  EXPECT_EQ(icon.Height(), 10);
  EXPECT_EQ(PixelFromTop(icon, 0, 0), PatternColor(0, 30));
  EXPECT_EQ(PixelFromTop(icon, 19, 9), PatternColor(19, 39));
}

TEST(ImageBufferCrop, EmptyBoxChangesNothing) {
  ImageBuffer picture;
  FillPattern(picture, 100, 150);
  ImageBuffer icon;
  FillPattern(icon, 7, 9);
  const struct {
    int left, top, right, bottom;
  } boxes[] = {
      {100, 0, 130, 30}, {-20, 0, -5, 30}, {0, 150, 30, 200}, {15, 15, 15, 45}, {0, 10, 30, 10}};
  for (const auto& b : boxes) {
    EXPECT_FALSE(picture.Crop(b.left, b.top, b.right, b.bottom, &icon));
    EXPECT_EQ(icon.Width(), 7);
    EXPECT_EQ(icon.Height(), 9);
    EXPECT_EQ(PixelFromTop(icon, 6, 8), PatternColor(6, 8));
  }
  ImageBuffer empty;
  EXPECT_FALSE(empty.Crop(0, 0, 10, 10, &icon));
  EXPECT_EQ(icon.Width(), 7);
}

TEST(ImageBufferCrop, WithoutDestinationCutsItselfAndRectFormMatches) {
  ImageBuffer picture;
  FillPattern(picture, 50, 50);
  ImageBuffer viaRect;
  ASSERT_TRUE(picture.Crop(platform::Rect{5, 6, 25, 16}, &viaRect));
  ASSERT_TRUE(picture.Crop(5, 6, 25, 16));
  EXPECT_EQ(picture.Width(), 20);
  EXPECT_EQ(picture.Height(), 10);
  EXPECT_EQ(std::memcmp(picture.Pixels(), viaRect.Pixels(), picture.Header().sizeImage), 0);
  EXPECT_EQ(PixelFromTop(picture, 0, 0), PatternColor(5, 6));
}

TEST(ImageBufferCrop, IndexedPicturesKeepPaletteAndIndices) {
  for (uint32_t bits : {1u, 4u, 8u}) {
    ImageBuffer picture(13, 11, bits, ImageType::Bmp);
    ASSERT_TRUE(picture.IsValid());
    picture.SetGreyPalette();
    picture.SetTransparentIndex(1);
    const uint32_t levels = picture.PaletteEntries();
    for (int y = 0; y < 11; ++y) {
      for (int x = 0; x < 13; ++x) picture.WritePixelIndex(x, y, (x * 3 + y) % levels);
    }
    ImageBuffer cut;
    ASSERT_TRUE(picture.Crop(3, 2, 12, 7, &cut));
    SCOPED_TRACE(bits);
    EXPECT_EQ(cut.BitCount(), picture.BitCount());
    EXPECT_EQ(cut.TransparentIndex(), 1);
    EXPECT_EQ(std::memcmp(cut.Palette(), picture.Palette(), picture.PaletteBytes()), 0);
    // Rows from the top 2..6 of 11 are stored rows 8..4; the cut's stored row 0 is row 4.
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 9; ++x) {
        ASSERT_EQ(cut.ReadPixelIndex(x, y), ((x + 3) * 3 + (y + 4)) % levels) << x << "," << y;
      }
    }
  }
}

TEST(ImageBufferPixels, SubBytePixelsLeaveTheirNeighboursAlone) {
  for (uint32_t bits : {1u, 4u}) {
    ImageBuffer image(10, 2, bits, ImageType::Bmp);
    std::memset(image.Pixels(), 0, image.Header().sizeImage);
    const uint8_t top = bits == 1 ? 1 : 15;
    image.WritePixelIndex(3, 1, 0xFF);  // only the low bits count
    EXPECT_EQ(image.ReadPixelIndex(3, 1), top);
    for (int x = 0; x < 10; ++x) {
      if (x != 3) {
        EXPECT_EQ(image.ReadPixelIndex(x, 1), 0) << bits << " bits, x " << x;
      }
      EXPECT_EQ(image.ReadPixelIndex(x, 0), 0);
    }
    image.WritePixelIndex(4, 1, top);
    image.WritePixelIndex(3, 1, 0);
    EXPECT_EQ(image.ReadPixelIndex(3, 1), 0);
    EXPECT_EQ(image.ReadPixelIndex(4, 1), top);
  }
  // The high nibble holds even columns; bit 7 the first of eight columns.
  ImageBuffer four(2, 1, 4, ImageType::Bmp);
  four.WritePixelIndex(0, 0, 0xA);
  four.WritePixelIndex(1, 0, 0x5);
  EXPECT_EQ(four.Pixels()[0], 0xA5);
  ImageBuffer one(8, 1, 1, ImageType::Bmp);
  std::memset(one.Pixels(), 0, 4);
  one.WritePixelIndex(0, 0, 1);
  one.WritePixelIndex(6, 0, 1);
  EXPECT_EQ(one.Pixels()[0], 0x82);
}

TEST(ImageBufferPixels, OutsideThePictureReadsTransparency) {
  ImageBuffer grey(4, 4, 8, ImageType::Bmp);
  grey.SetGreyPalette();
  EXPECT_EQ(grey.ReadPixelIndex(-1, 0), 0);
  grey.SetTransparentIndex(77);
  EXPECT_TRUE(grey.HasTransparentIndex());
  EXPECT_EQ(grey.ReadPixelIndex(4, 0), 77);
  EXPECT_EQ(grey.ReadPixelColor(0, 9), (RgbQuad{77, 77, 77, 0}));
  grey.WritePixelIndex(4, 0, 5);  // ignored, and must not write past the row

  ImageBuffer colour(4, 4, 24, ImageType::Bmp);
  colour.SetTransparentColor(RgbQuad{1, 2, 3, 0});
  EXPECT_EQ(colour.ReadPixelColor(-1, -1), (RgbQuad{1, 2, 3, 0}));
  EXPECT_EQ(colour.ReadPixelIndex(0, 0), 0) << "a 24-bit picture has no indices";
  ImageBuffer empty;
  EXPECT_EQ(empty.ReadPixelIndex(0, 0), 0);
  EXPECT_EQ(empty.NearestIndex(RgbQuad{}), 0);
}

TEST(ImageBufferPixels, ColoursOfIndexedPicturesGoThroughTheNearestEntry) {
  ImageBuffer image(2, 1, 8, ImageType::Bmp);
  RgbQuad palette[4] = {{0, 0, 0, 0}, {0, 0, 200, 0}, {0, 0, 200, 0}, {255, 255, 255, 0}};
  image.SetPaletteEntries(palette, 4);
  EXPECT_EQ(image.NearestIndex(RgbQuad{0, 0, 200, 0}), 1) << "exact match, first of equals";
  EXPECT_EQ(image.NearestIndex(RgbQuad{0, 0, 180, 0}), 1) << "ties keep the earlier entry";
  EXPECT_EQ(image.NearestIndex(RgbQuad{240, 240, 240, 0}), 3);
  EXPECT_EQ(image.NearestIndex(RgbQuad{10, 10, 10, 0}), 0);
  image.WritePixelColor(1, 0, RgbQuad{250, 250, 250, 0});
  EXPECT_EQ(image.ReadPixelIndex(1, 0), 3);
  EXPECT_EQ(image.ReadPixelColor(1, 0), (RgbQuad{255, 255, 255, 0}));
}

TEST(ImageBufferPalette, GreyPalettesSpreadEvenly) {
  const struct {
    uint32_t bits;
    uint32_t entries;
    uint8_t step;
  } cases[] = {{8, 256, 1}, {4, 16, 17}, {1, 2, 255}};
  for (const auto& c : cases) {
    ImageBuffer image(3, 3, c.bits, ImageType::Bmp);
    image.SetGreyPalette();
    ASSERT_EQ(image.PaletteEntries(), c.entries);
    for (uint32_t i = 0; i < c.entries; ++i) {
      const auto level = static_cast<uint8_t>(i * c.step);
      ASSERT_EQ(image.Palette()[i], (RgbQuad{level, level, level, 0})) << c.bits << " bits, " << i;
    }
  }
}

TEST(ImageBufferPalette, GreyScaleMeansEntryIIsI) {
  ImageBuffer grey(3, 3, 8, ImageType::Bmp);
  EXPECT_FALSE(grey.IsGreyScale()) << "a zeroed palette";
  grey.SetGreyPalette();
  EXPECT_TRUE(grey.IsGreyScale());
  RgbQuad tinted{200, 201, 200, 0};
  RgbQuad entries[256];
  std::memcpy(entries, grey.Palette(), sizeof entries);
  entries[200] = tinted;
  grey.SetPaletteEntries(entries, 256);
  EXPECT_FALSE(grey.IsGreyScale());

  ImageBuffer twoTone(3, 3, 1, ImageType::Bmp);
  twoTone.SetGreyPalette();
  EXPECT_FALSE(twoTone.IsGreyScale()) << "entry 1 is white, not (1, 1, 1)";
  ImageBuffer colour(3, 3, 24, ImageType::Bmp);
  EXPECT_FALSE(colour.IsGreyScale());
  ImageBuffer empty;
  EXPECT_FALSE(empty.IsGreyScale());
}

TEST(ImageBufferPalette, SetPaletteEntriesCopiesNoMoreThanThePaletteHolds) {
  ImageBuffer image(2, 2, 4, ImageType::Bmp);
  RgbQuad many[300];
  for (int i = 0; i < 300; ++i) many[i] = RgbQuad{static_cast<uint8_t>(i), 9, 9, 0};
  image.SetPaletteEntries(many, 300);
  EXPECT_EQ(image.Palette()[15].blue, 15);
  // The pixels right after the palette are untouched.
  image.WritePixelIndex(0, 0, 3);
  image.SetPaletteEntries(many, 300);
  EXPECT_EQ(image.ReadPixelIndex(0, 0), 3);
}

TEST(ImageBufferChannels, SplitThenCombineReproducesTheColourPicture) {
  ImageBuffer picture;
  FillPattern(picture, 37, 23);
  ImageBuffer red, green, blue;
  ASSERT_TRUE(picture.SplitChannels(&red, &green, &blue));
  for (ImageBuffer* plane : {&red, &green, &blue}) {
    ASSERT_EQ(plane->BitCount(), 8);
    EXPECT_TRUE(plane->IsGreyScale());
  }
  EXPECT_EQ(red.ReadPixelIndex(5, 22), PatternColor(5, 0).red);
  EXPECT_EQ(blue.ReadPixelIndex(5, 22), PatternColor(5, 0).blue);

  ImageBuffer combined;
  ASSERT_TRUE(combined.CombineChannels(&red, &green, &blue));
  ASSERT_EQ(combined.BitCount(), 24);
  ASSERT_EQ(combined.Width(), 37);
  ASSERT_EQ(combined.Height(), 23);
  for (int y = 0; y < 23; ++y) {
    ASSERT_EQ(std::memcmp(combined.Pixels() + y * combined.RowStride(),
                          picture.Pixels() + y * picture.RowStride(), 37 * 3),
              0)
        << "stored row " << y;
  }
}

TEST(ImageBufferChannels, RefusesMissingPlanes) {
  ImageBuffer picture;
  FillPattern(picture, 4, 4);
  EXPECT_FALSE(picture.SplitChannels(nullptr, nullptr, nullptr));
  ImageBuffer empty, red;
  EXPECT_FALSE(empty.SplitChannels(&red, nullptr, nullptr));
  ASSERT_TRUE(picture.SplitChannels(&red, nullptr, nullptr));
  EXPECT_EQ(red.Width(), 4);

  ImageBuffer combined;
  EXPECT_FALSE(combined.CombineChannels(&red, nullptr, &red));
  EXPECT_FALSE(red.CombineChannels(&red, &red, &red)) << "a plane may not be the target";
  EXPECT_EQ(red.Width(), 4);
  EXPECT_FALSE(combined.CombineChannels(&empty, &empty, &empty));
}

TEST(ImageBufferOwnership, CopyTakeOverAndShare) {
  ImageBuffer source;
  FillPattern(source, 6, 5);
  source.SetJpegQuality(90);
  source.SetDpi(DpiAxis::Horizontal, 150);

  ImageBuffer pixels(source, true, false, false);
  EXPECT_EQ(pixels.JpegQuality(), 90);
  EXPECT_EQ(pixels.XDpi(), 150);
  EXPECT_EQ(pixels.Header().xPelsPerMeter, source.Header().xPelsPerMeter);
  ASSERT_NE(pixels.Dib(), source.Dib());
  EXPECT_EQ(std::memcmp(pixels.Pixels(), source.Pixels(), source.Header().sizeImage), 0);

  ImageBuffer grey(3, 3, 8, ImageType::Bmp);
  grey.SetGreyPalette();
  ImageBuffer shape;
  shape.CopyFrom(grey, false);
  EXPECT_TRUE(shape.IsGreyScale()) << "without pixels the palette still comes along";

  ImageBuffer taker;
  FillPattern(taker, 2, 2);
  const uint8_t* block = pixels.Dib();
  taker.TakeOver(pixels);
  EXPECT_EQ(taker.Dib(), block);
  EXPECT_EQ(taker.Width(), 6);
  EXPECT_EQ(taker.JpegQuality(), 90);
  EXPECT_FALSE(pixels.IsValid());
  EXPECT_EQ(pixels.Width(), 0);
  EXPECT_EQ(pixels.JpegQuality(), 75);

  {
    ImageBuffer borrower;
    borrower.ShareFrom(taker);
    EXPECT_EQ(borrower.Dib(), taker.Dib());
    EXPECT_EQ(borrower.Height(), 5);
  }  // the borrower must not free the block (the sanitizer build would catch it)
  EXPECT_EQ(PixelFromTop(taker, 5, 4), PatternColor(5, 4));
  taker.Destroy();
  EXPECT_FALSE(taker.IsValid());
}

// --- Drawing ---

TEST(ImageBufferDraw, NaturalSizeWhenWidthAndHeightAreZero) {
  ImageBuffer picture;
  FillPattern(picture, 30, 20);
  CaptureContext dc;
  ASSERT_TRUE(picture.Draw(&dc, 5, 7, 0, 0));
  ASSERT_EQ(dc.blits.size(), 1u);
  const auto& blit = dc.blits[0];
  EXPECT_EQ(blit.x, 5);
  EXPECT_EQ(blit.y, 7);
  EXPECT_EQ(blit.width, 30);
  EXPECT_EQ(blit.height, 20);
  EXPECT_EQ(blit.header.bitCount, 24);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 30; ++x) ASSERT_EQ(blit.At(x, y), PatternColor(x, y)) << x << "," << y;
  }
}

TEST(ImageBufferDraw, StretchingRepeatsOrSkipsColumnsAndRows) {
  ImageBuffer picture;
  FillPattern(picture, 100, 100);
  struct Case {
    int size;
    // Source column (or row from the top) for destination column (row) d.
    int (*column)(int d);
    int (*row)(int d);
  };
  const Case cases[] = {
      {200, [](int d) { return d / 2; }, [](int d) { return d / 2; }},
      {50, [](int d) { return 2 * d; }, [](int d) { return 2 * d + 1; }},
      {100, [](int d) { return d; }, [](int d) { return d; }},
  };
  for (const Case& c : cases) {
    CaptureContext dc(platform::Rect{0, 0, 400, 400});
    ASSERT_TRUE(picture.Draw(&dc, 0, 0, c.size, c.size));
    ASSERT_EQ(dc.blits.size(), 1u);
    const auto& blit = dc.blits[0];
    ASSERT_EQ(blit.width, c.size);
    ASSERT_EQ(blit.height, c.size);
    for (int y = 0; y < c.size; ++y) {
      for (int x = 0; x < c.size; ++x) {
        ASSERT_EQ(blit.At(x, y), PatternColor(c.column(x), c.row(y)))
            << "size " << c.size << " at " << x << "," << y;
      }
    }
  }
}

TEST(ImageBufferDraw, OnlyTheVisiblePartIsSentAtItsPlace) {
  ImageBuffer picture;
  FillPattern(picture, 100, 100);
  CaptureContext dc(platform::Rect{30, 40, 120, 90});
  ASSERT_TRUE(picture.Draw(&dc, 20, 10, 200, 200));
  ASSERT_EQ(dc.blits.size(), 1u);
  const auto& blit = dc.blits[0];
  EXPECT_EQ(blit.x, 30);
  EXPECT_EQ(blit.y, 40);
  EXPECT_EQ(blit.width, 90);
  EXPECT_EQ(blit.height, 50);
  EXPECT_EQ(blit.header.width, 90);
  EXPECT_EQ(blit.header.height, 50);
  // Screen (30, 40) is (10, 30) inside the doubled picture.
  EXPECT_EQ(blit.At(0, 0), PatternColor(5, 15));
  EXPECT_EQ(blit.At(89, 49), PatternColor(49, 39));

  CaptureContext away(platform::Rect{0, 0, 50, 50});
  EXPECT_TRUE(picture.Draw(&away, 60, 0, 10, 10));
  EXPECT_TRUE(away.blits.empty()) << "nothing of it is visible";
}

TEST(ImageBufferDraw, IndexedPicturesDrawTheirPaletteColours) {
  ImageBuffer grey(4, 2, 8, ImageType::Bmp);
  grey.SetGreyPalette();
  for (int x = 0; x < 4; ++x) {
    grey.WritePixelIndex(x, 1, static_cast<uint8_t>(x * 50));
    grey.WritePixelIndex(x, 0, 255);
  }
  ImageBuffer nibbles(4, 2, 4, ImageType::Bmp);
  nibbles.SetGreyPalette();
  for (int x = 0; x < 4; ++x) {
    nibbles.WritePixelIndex(x, 1, static_cast<uint8_t>(x));
    nibbles.WritePixelIndex(x, 0, 15);
  }
  for (const ImageBuffer* image : {&grey, &nibbles}) {
    CaptureContext dc;
    ASSERT_TRUE(image->Draw(&dc, platform::Rect{0, 0, 4, 2}));
    ASSERT_EQ(dc.blits.size(), 1u);
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(dc.blits[0].At(x, 0), image->Palette()[image->ReadPixelIndex(x, 1)]);
      EXPECT_EQ(dc.blits[0].At(x, 1), (RgbQuad{255, 255, 255, 0}));
    }
  }
}

TEST(ImageBufferDraw, DrawsNothingWhenEmptyDisabledOrWithoutContext) {
  ImageBuffer picture;
  FillPattern(picture, 10, 10);
  CaptureContext dc;
  EXPECT_FALSE(picture.Draw(nullptr, 0, 0, 10, 10));
  picture.SetEnabled(false);
  EXPECT_FALSE(picture.Draw(&dc, 0, 0, 10, 10));
  ImageBuffer empty;
  EXPECT_FALSE(empty.Draw(&dc, 0, 0, 10, 10));
  EXPECT_TRUE(dc.calls().empty());
}

}  // namespace
}  // namespace cirrodex
