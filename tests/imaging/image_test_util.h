// Helpers shared by the map tests: patterned pictures, a context that keeps what is drawn, file
// bytes, and hand-made JPEG files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/image_buffer.h"
#include "platform/recording_context.h"

namespace cirrodex::testing {

// A colour unique to each point of pictures up to 256 x 256; y counts from the top.
RgbQuad PatternColor(int x, int y);
// Creates `image` as a 24-bit picture filled with PatternColor.
void FillPattern(ImageBuffer& image, int width, int height);
// A smooth picture that survives JPEG with small differences.
void FillGradient(ImageBuffer& image, int width, int height);
// The colour at (x, y) with y counted from the top.
RgbQuad PixelFromTop(const ImageBuffer& image, int x, int y);

// Largest difference of any channel between two pictures of the same size, and a description of
// where it is, for failure messages.
struct PictureDifference {
  int largest = 0;
  std::string where;
};
PictureDifference ComparePictures(const ImageBuffer& a, const ImageBuffer& b);

// Keeps the bitmap of every SetDIBitsToDevice besides recording the call.
class CaptureContext : public platform::RecordingContext {
 public:
  struct Blit {
    int x, y, width, height;
    BitmapInfoHeader header;
    std::vector<uint8_t> bits;
    // Colour at (column, row from the top) of the bottom-up 24-bit bitmap.
    RgbQuad At(int column, int row) const;
  };
  using RecordingContext::RecordingContext;
  void SetDIBitsToDevice(int x, int y, int width, int height, const uint8_t* bits,
                         const BitmapInfoHeader& header) override;
  std::vector<Blit> blits;
};

std::vector<uint8_t> ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes);
uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at);

// Encodes `image` as JPEG in memory.
std::vector<uint8_t> EncodeJpeg(ImageBuffer& image, ImageType type = ImageType::Jpeg);

// A hand-made one-component JPEG: baseline (SOF0) with one scan, or progressive (SOF2) with
// `scans` DC scans. Every block codes as flat grey, so a valid size decodes quickly.
std::vector<uint8_t> HandMadeJpeg(uint16_t width, uint16_t height, bool progressive, int scans);

// Wide text for failure messages.
std::string ToString(std::wstring_view text);

// Offset just past the first start-of-scan header, or 0 when there is none.
size_t EndOfFirstScanHeader(const std::vector<uint8_t>& jpeg);

}  // namespace cirrodex::testing
