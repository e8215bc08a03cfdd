#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/bmp_codec.h"
#include "imaging/byte_stream.h"
#include "imaging/image_buffer.h"
#include "imaging/jpeg_codec.h"
#include "tests/imaging/image_test_util.h"
#include "tests/support/temp_device.h"

namespace cirrodex {
namespace {

using testing::ComparePictures;
using testing::EncodeJpeg;
using testing::FillGradient;
using testing::FillPattern;
using testing::HandMadeJpeg;
using testing::Le32;
using testing::PatternColor;
using testing::PixelFromTop;
using testing::ReadBytes;

class ImageFileTest : public testing::DeviceTest {};

// The number of components in the frame header of a JPEG file, or -1.
int FrameComponents(const std::vector<uint8_t>& jpeg) {
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) return jpeg[i + 9];
  }
  return -1;
}

// Files in `folder` whose names start with `prefix` (a save's temporary files do).
int FilesNamed(const std::filesystem::path& folder, const std::string& prefix) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string().rfind(prefix, 0) == 0) ++count;
  }
  return count;
}

TEST_F(ImageFileTest, BmpFilesHoldHeaderPaletteAndRows) {
  struct Case {
    uint32_t bits;
    uint32_t offset;
  };
  for (const Case& c : {Case{24, 54}, Case{8, 1078}}) {
    ImageBuffer image(7, 5, c.bits, ImageType::Bmp);
    ASSERT_TRUE(image.IsValid());
    if (c.bits == 8) image.SetGreyPalette();
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 7; ++x) image.WritePixelColor(x, y, PatternColor(x * 20, y * 30));
    }
    image.SetDpi(DpiAxis::Horizontal, 96);
    ASSERT_TRUE(image.SaveFile(L"\\icon.bmp", ImageType::Bmp)) << image.LastError();

    const std::vector<uint8_t> file = ReadBytes(device_.Path(L"\\icon.bmp"));
    SCOPED_TRACE(c.bits);
    ASSERT_EQ(file.size(), c.offset + image.RowStride() * 5);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Le32(file, 2), file.size());
    EXPECT_EQ(Le32(file, 6), 0u);
    EXPECT_EQ(Le32(file, 10), c.offset);
    EXPECT_EQ(Le32(file, 14), 40u);
    EXPECT_EQ(Le32(file, 18), 7u);
    EXPECT_EQ(Le32(file, 22), 5u);
    EXPECT_EQ(file[28], c.bits);
    EXPECT_EQ(Le32(file, 34), image.RowStride() * 5);
    EXPECT_EQ(Le32(file, 38), 3780u) << "the resolution set after Create is written";
    EXPECT_EQ(Le32(file, 46), c.bits == 8 ? 256u : 0u);
    EXPECT_EQ(std::memcmp(file.data() + c.offset, image.Pixels(), image.Header().sizeImage), 0);
    if (c.bits == 8) {
      EXPECT_EQ(std::memcmp(file.data() + 54, image.Palette(), 1024), 0);
    }
  }
}

TEST_F(ImageFileTest, UnsupportedTypesAreRefusedWithoutWritingAFile) {
  ImageBuffer image;
  FillPattern(image, 4, 4);
  const auto five = static_cast<ImageType>(5);
  EXPECT_FALSE(image.SaveFile(L"\\five.img", five));
  EXPECT_STREQ(image.LastError(), "Unsupported operation for this format");
  EXPECT_EQ(FilesNamed(device_.root(), "five.img"), 0) << "not even a temporary file";

  ImageBuffer loaded;
  FillPattern(loaded, 3, 3);
  const std::vector<uint8_t> jpeg = EncodeJpeg(image);
  EXPECT_FALSE(loaded.DecodeMemory(jpeg.data(), jpeg.size(), five));
  EXPECT_STREQ(loaded.LastError(), "Unsupported operation for this format");
  EXPECT_FALSE(loaded.DecodeMemory(jpeg.data(), jpeg.size(), ImageType::Bmp))
      << "nothing reads BMP files";
  EXPECT_EQ(loaded.Width(), 3);
}

TEST_F(ImageFileTest, FailedSaveLeavesTheOldFileWhole) {
  ImageBuffer image;
  FillPattern(image, 9, 9);
  ASSERT_TRUE(image.SaveFile(L"\\keep.bmp", ImageType::Bmp));
  const std::vector<uint8_t> before = ReadBytes(device_.Path(L"\\keep.bmp"));

  ImageBuffer empty;
  EXPECT_FALSE(empty.SaveFile(L"\\keep.bmp", ImageType::Bmp));
  EXPECT_FALSE(empty.SaveFile(L"\\never.bmp", ImageType::Bmp));
  ImageBuffer tinted(4, 4, 8, ImageType::Bmp);
  EXPECT_FALSE(tinted.SaveFile(L"\\keep.bmp", ImageType::Jpeg));
  EXPECT_STREQ(tinted.LastError(), "JPEG can save only RGB or GreyScale images");

  EXPECT_EQ(ReadBytes(device_.Path(L"\\keep.bmp")), before);
  EXPECT_FALSE(std::filesystem::exists(device_.Path(L"\\never.bmp")));
  EXPECT_EQ(FilesNamed(device_.root(), "keep.bmp"), 1) << "no temporary file is left behind";
  EXPECT_EQ(FilesNamed(device_.root(), "never.bmp"), 0);
  EXPECT_FALSE(image.SaveFile(L"\\no such folder\\x.bmp", ImageType::Bmp));
}

TEST_F(ImageFileTest, ColourJpegRoundTripStaysClose) {
  for (int quality : {100, 75}) {
    ImageBuffer picture;
    FillGradient(picture, 64, 48);
    picture.SetJpegQuality(static_cast<uint8_t>(quality));
    ASSERT_TRUE(picture.SaveFile(L"\\map.jpg", ImageType::Jpeg)) << picture.LastError();
    EXPECT_EQ(FrameComponents(ReadBytes(device_.Path(L"\\map.jpg"))), 3);

    ImageBuffer loaded;
    ASSERT_TRUE(loaded.LoadFile(L"\\map.jpg", ImageType::Jpeg)) << loaded.LastError();
    EXPECT_EQ(loaded.BitCount(), 24);
    EXPECT_EQ(loaded.Type(), ImageType::Jpeg);
    EXPECT_FALSE(loaded.IsIndexed());
    const auto difference = ComparePictures(picture, loaded);
    EXPECT_LE(difference.largest, quality == 100 ? 4 : 12)
        << "quality " << quality << ", largest difference " << difference.where;
  }
}

TEST_F(ImageFileTest, GreyJpegRoundTripGivesAGreyPaletteAndOneComponent) {
  ImageBuffer grey(40, 30, 8, ImageType::Bmp);
  grey.SetGreyPalette();
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) grey.WritePixelIndex(x, y, static_cast<uint8_t>(x * 5 + y));
  }
  grey.SetJpegQuality(100);
  const std::vector<uint8_t> jpeg = EncodeJpeg(grey);
  EXPECT_EQ(FrameComponents(jpeg), 1);

  ImageBuffer loaded;
  ASSERT_TRUE(loaded.DecodeMemory(jpeg.data(), jpeg.size(), ImageType::Jpeg)) << loaded.LastError();
  EXPECT_EQ(loaded.BitCount(), 8);
  EXPECT_EQ(loaded.PaletteEntries(), 256u);
  EXPECT_TRUE(loaded.IsGreyScale());
  const auto difference = ComparePictures(grey, loaded);
  EXPECT_LE(difference.largest, 2) << difference.where;
}

TEST_F(ImageFileTest, ResolutionTravelsThroughJpeg) {
  ImageBuffer picture;
  FillGradient(picture, 16, 16);
  picture.SetDpi(DpiAxis::Horizontal, 96);
  picture.SetDpi(DpiAxis::Vertical, 144);
  const std::vector<uint8_t> jpeg = EncodeJpeg(picture);
  ImageBuffer loaded;
  ASSERT_TRUE(loaded.DecodeMemory(jpeg.data(), jpeg.size(), ImageType::Jpeg));
  EXPECT_EQ(loaded.XDpi(), 96);
  EXPECT_EQ(loaded.YDpi(), 144);
  EXPECT_EQ(loaded.Header().yPelsPerMeter, DpiToPixelsPerMeter(144));

  // Dots per centimetre (unit 2 in the JFIF header) come back as dots per inch.
  std::vector<uint8_t> metric = jpeg;
  ASSERT_EQ(std::memcmp(metric.data() + 6, "JFIF", 5), 0);
  metric[13] = 2;
  metric[14] = 0;
  metric[15] = 40;  // 40 dots/cm
  metric[16] = 0;
  metric[17] = 100;
  ASSERT_TRUE(loaded.DecodeMemory(metric.data(), metric.size(), ImageType::Jpeg));
  EXPECT_EQ(loaded.XDpi(), 101);
  EXPECT_EQ(loaded.YDpi(), 254);
}

TEST_F(ImageFileTest, BadInputFailsWithLibjpegsTextAndKeepsThePicture) {
  const std::vector<uint8_t> notJpeg = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0};
  const std::vector<uint8_t> handMade = HandMadeJpeg(8, 8, false, 1);
  const struct {
    const char* name;
    const uint8_t* data;
    size_t size;
    const char* text;
  } cases[] = {
      {"not a JPEG", notJpeg.data(), notJpeg.size(), "Not a JPEG file: starts with 0x47 0x49"},
      {"empty", notJpeg.data(), 0, "Empty input file"},
      {"null", nullptr, 0, "Empty input file"},
      {"only the start marker", handMade.data(), 2, nullptr},
  };
  for (const auto& c : cases) {
    ImageBuffer image;
    FillPattern(image, 5, 6);
    EXPECT_FALSE(image.DecodeMemory(c.data, c.size, ImageType::Jpeg)) << c.name;
    if (c.text != nullptr) {
      EXPECT_STREQ(image.LastError(), c.text) << c.name;
    }
    EXPECT_NE(image.LastError()[0], '\0') << c.name;
    EXPECT_EQ(image.Width(), 5) << c.name;
    EXPECT_EQ(PixelFromTop(image, 4, 5), PatternColor(4, 5)) << c.name;
  }
}

TEST_F(ImageFileTest, JpegCutAfterItsHeaderStillDecodes) {
  ImageBuffer picture;
  FillPattern(picture, 64, 32);
  std::vector<uint8_t> jpeg = EncodeJpeg(picture);
  const size_t cut = testing::EndOfFirstScanHeader(jpeg);
  ASSERT_GT(cut, 0u);
  ASSERT_LT(cut, jpeg.size() - 100);
  jpeg.resize(cut);

  ImageBuffer loaded;
  ASSERT_TRUE(loaded.DecodeMemory(jpeg.data(), jpeg.size(), ImageType::Jpeg)) << loaded.LastError();
  EXPECT_EQ(loaded.Width(), 64);
  EXPECT_EQ(loaded.Height(), 32);
  EXPECT_STREQ(loaded.LastError(), "Premature end of JPEG file");
  // libjpeg makes the first 16 x 16 unit out of the end marker it was handed and fills every
  // later one with mid-grey.
  for (int y = 0; y < 32; ++y) {
    for (int x = 16; x < 64; ++x) {
      ASSERT_EQ(PixelFromTop(loaded, x, y), (RgbQuad{128, 128, 128, 0})) << x << "," << y;
    }
  }
}

TEST_F(ImageFileTest, HandMadeJpegsDecode) {
  for (bool progressive : {false, true}) {
    const std::vector<uint8_t> jpeg = HandMadeJpeg(24, 16, progressive, progressive ? 3 : 1);
    ImageBuffer image;
    ASSERT_TRUE(image.DecodeMemory(jpeg.data(), jpeg.size(), ImageType::Jpeg)) << image.LastError();
    EXPECT_EQ(image.Width(), 24);
    EXPECT_EQ(image.Height(), 16);
    EXPECT_EQ(image.BitCount(), 8);
    EXPECT_STREQ(image.LastError(), "") << "the hand-made file is well formed";
  }
}

TEST_F(ImageFileTest, PicturesTooLargeAreRefusedBeforeDecoding) {
  const struct {
    uint16_t width, height;
    bool refused;
  } cases[] = {
      {16385, 8, true},     {8, 16385, true},  {7072, 7072, true},
      {60000, 60000, true}, {16384, 8, false}, {8, 16384, false},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> jpeg = HandMadeJpeg(c.width, c.height, false, 1);
    // The coded data are irrelevant to the size check; keep the file small.
    jpeg.resize(std::min(jpeg.size(), testing::EndOfFirstScanHeader(jpeg) + 64));
    ImageBuffer image;
    FillPattern(image, 2, 2);
    const bool decoded = image.DecodeMemory(jpeg.data(), jpeg.size(), ImageType::Jpeg);
    EXPECT_EQ(decoded, !c.refused) << c.width << "x" << c.height << ": " << image.LastError();
    if (c.refused) {
      EXPECT_NE(std::string(image.LastError()).find("too large"), std::string::npos)
          << image.LastError();
      EXPECT_EQ(image.Width(), 2);
    } else {
      EXPECT_EQ(image.Width(), c.width);
    }
  }
}

TEST_F(ImageFileTest, ProgressiveFilesOfTooManyScansAreRefused) {
  for (int scans : {kMaxJpegScans, kMaxJpegScans + 1, 20000}) {
    const std::vector<uint8_t> jpeg = HandMadeJpeg(64, 64, true, scans);
    ImageBuffer image;
    const bool decoded = image.DecodeMemory(jpeg.data(), jpeg.size(), ImageType::Jpeg);
    EXPECT_EQ(decoded, scans <= kMaxJpegScans) << scans << " scans: " << image.LastError();
    if (!decoded) {
      EXPECT_STREQ(image.LastError(), "JPEG file has more than 500 scans");
    }
  }
}

TEST_F(ImageFileTest, LoadingAMissingFileFailsWithoutText) {
  ImageBuffer image;
  FillPattern(image, 3, 3);
  EXPECT_FALSE(image.LoadFile(L"\\missing.jpg", ImageType::Jpeg));
  EXPECT_STREQ(image.LastError(), "");
  EXPECT_TRUE(image.IsValid());
}

TEST_F(ImageFileTest, EncodingIntoAFailingStreamReportsTheWriteError) {
  // A stream that accepts nothing, like a full disk.
  class FullStream : public MemoryStream {
   public:
    size_t Write(const void*, size_t, size_t) override { return 0; }
  };
  ImageBuffer picture;
  FillGradient(picture, 128, 128);
  FullStream full;
  ASSERT_TRUE(full.Open());
  EXPECT_FALSE(picture.EncodeTo(&full, ImageType::Jpeg));
  EXPECT_STREQ(picture.LastError(), "Output file write error --- out of disk space?");
  EXPECT_FALSE(picture.EncodeTo(&full, ImageType::Bmp));
  EXPECT_FALSE(picture.EncodeTo(nullptr, ImageType::Bmp));
  EXPECT_TRUE(picture.IsValid());
}

TEST_F(ImageFileTest, CodecsOnlyBorrowThePictureTheyWrite) {
  ImageBuffer picture;
  FillPattern(picture, 10, 10);
  const uint8_t* block = picture.Dib();
  for (int i = 0; i < 3; ++i) {
    MemoryStream out;
    ASSERT_TRUE(out.Open());
    ASSERT_TRUE(picture.EncodeTo(&out, i == 1 ? ImageType::Bmp : ImageType::Jpeg));
  }
  EXPECT_EQ(picture.Dib(), block);
  EXPECT_EQ(PixelFromTop(picture, 9, 9), PatternColor(9, 9));
}

}  // namespace
}  // namespace cirrodex
