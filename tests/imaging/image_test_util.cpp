#include "tests/imaging/image_test_util.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "imaging/byte_stream.h"
#include "platform/text.h"
#include "tests/support/temp_device.h"

namespace cirrodex::testing {

RgbQuad PatternColor(int x, int y) {
  return RgbQuad{static_cast<uint8_t>(x), static_cast<uint8_t>(y),
                 static_cast<uint8_t>(x * 31 + y * 17), 0};
}

void FillPattern(ImageBuffer& image, int width, int height) {
  ASSERT_NE(image.Create(width, height, 24, ImageType::Bmp), nullptr);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.WritePixelColor(x, height - 1 - y, PatternColor(x, y));
  }
}

void FillGradient(ImageBuffer& image, int width, int height) {
  ASSERT_NE(image.Create(width, height, 24, ImageType::Bmp), nullptr);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.WritePixelColor(x, height - 1 - y,
                            RgbQuad{static_cast<uint8_t>(96 + (x + y) * 64 / (width + height)),
                                    static_cast<uint8_t>(y * 255 / std::max(1, height - 1)),
                                    static_cast<uint8_t>(x * 255 / std::max(1, width - 1)), 0});
    }
  }
}

RgbQuad PixelFromTop(const ImageBuffer& image, int x, int y) {
  return image.ReadPixelColor(x, image.Height() - 1 - y);
}

PictureDifference ComparePictures(const ImageBuffer& a, const ImageBuffer& b) {
  PictureDifference result;
  if (a.Width() != b.Width() || a.Height() != b.Height()) {
    result.largest = 256;
    std::ostringstream out;
    out << "sizes differ: " << a.Width() << "x" << a.Height() << " and " << b.Width() << "x"
        << b.Height();
    result.where = out.str();
    return result;
  }
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      const RgbQuad p = PixelFromTop(a, x, y);
      const RgbQuad q = PixelFromTop(b, x, y);
      const int d = std::max(
          {std::abs(p.red - q.red), std::abs(p.green - q.green), std::abs(p.blue - q.blue)});
      if (d > result.largest) {
        result.largest = d;
        std::ostringstream out;
        out << "at (" << x << ", " << y << " from top): rgb(" << int{p.red} << "," << int{p.green}
            << "," << int{p.blue} << ") vs rgb(" << int{q.red} << "," << int{q.green} << ","
            << int{q.blue} << ")";
        result.where = out.str();
      }
    }
  }
  return result;
}

RgbQuad CaptureContext::Blit::At(int column, int row) const {
  const size_t stride = ((static_cast<size_t>(header.width) * 24 + 31) / 32) * 4;
  const uint8_t* p = bits.data() + (header.height - 1 - row) * stride + column * 3;
  return RgbQuad{p[0], p[1], p[2], 0};
}

void CaptureContext::SetDIBitsToDevice(int x, int y, int width, int height, const uint8_t* bits,
                                       const BitmapInfoHeader& header) {
  RecordingContext::SetDIBitsToDevice(x, y, width, height, bits, header);
  const size_t stride = ((static_cast<size_t>(header.width) * header.bitCount + 31) / 32) * 4;
  blits.push_back(
      Blit{x, y, width, height, header, std::vector<uint8_t>(bits, bits + stride * header.height)});
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& file) {
  const std::string bytes = ReadFile(file);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void WriteBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
         (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

std::vector<uint8_t> EncodeJpeg(ImageBuffer& image, ImageType type) {
  MemoryStream out;
  EXPECT_TRUE(out.Open());
  EXPECT_TRUE(image.EncodeTo(&out, type)) << image.LastError();
  const auto size = static_cast<size_t>(out.Size());
  uint8_t* data = out.GetBuffer();
  std::vector<uint8_t> bytes(data, data + size);
  std::free(data);
  return bytes;
}

namespace {

void Marker(std::vector<uint8_t>& out, uint8_t code, const std::vector<uint8_t>& body) {
  const size_t length = body.size() + 2;
  out.insert(out.end(),
             {0xFF, code, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
  out.insert(out.end(), body.begin(), body.end());
}

}  // namespace

std::vector<uint8_t> HandMadeJpeg(uint16_t width, uint16_t height, bool progressive, int scans) {
  std::vector<uint8_t> out = {0xFF, 0xD8};
  std::vector<uint8_t> table(65, 1);
  table[0] = 0;  // 8-bit table 0
  Marker(out, 0xDB, table);
  Marker(out, progressive ? 0xC2 : 0xC0,
         {8, static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height),
          static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width), 1, 1, 0x11, 0});
  // DC table 0: the usual luminance table, where "00" codes a difference of 0.
  std::vector<uint8_t> dc = {0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
  for (uint8_t v = 0; v < 12; ++v) dc.push_back(v);
  Marker(out, 0xC4, dc);
  // AC table 0 with a single one-bit code "0" for end-of-block.
  Marker(out, 0xC4, {0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00});
  const size_t blocks = ((width + 7) / 8) * static_cast<size_t>((height + 7) / 8);
  for (int s = 0; s < scans; ++s) {
    // Ss = Se = 0 in a progressive DC scan, 0..63 in the baseline one.
    Marker(out, 0xDA, {1, 1, 0x00, 0, static_cast<uint8_t>(progressive ? 0 : 63), 0});
    // All-zero bits: each block's DC difference is 0 (and its AC run ends at once).
    const size_t bits = blocks * (progressive ? 2 : 3);
    out.insert(out.end(), (bits + 7) / 8, 0x00);
  }
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

std::string ToString(std::wstring_view text) { return platform::ToUtf8(text); }

size_t EndOfFirstScanHeader(const std::vector<uint8_t>& jpeg) {
  for (size_t i = 2; i + 3 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) {
      return i + 2 + ((jpeg[i + 2] << 8) | jpeg[i + 3]);
    }
  }
  return 0;
}

}  // namespace cirrodex::testing
