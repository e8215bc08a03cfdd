// The JPEG decode from memory, as the map fetch decodes a downloaded picture. A picture that
// decodes must have sane dimensions and a whole pixel buffer; a small one is also encoded again
// and the result must decode to the same size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "imaging/byte_stream.h"
#include "imaging/image_buffer.h"
#include "tests/fuzz/fuzz_device.h"

namespace {

using cirrodex::ImageBuffer;
using cirrodex::ImageType;
using cirrodex::fuzzing::Fail;

constexpr int64_t kRoundTripPixels = 256 * 256;

void CheckPicture(const ImageBuffer& image) {
  const int64_t width = image.Width();
  const int64_t height = image.Height();
  if (width <= 0 || height <= 0) Fail("decoded an empty picture");
  if (width > cirrodex::kMaxImageSide || height > cirrodex::kMaxImageSide ||
      width * height > cirrodex::kMaxImagePixels) {
    Fail("decoded a picture beyond the limits");
  }
  if (image.BitCount() != 8 && image.BitCount() != 24) Fail("unexpected bit count");
  if (image.Pixels() == nullptr || image.RowStride() < width * image.BitCount() / 8) {
    Fail("pixel rows too short");
  }
  // Touch both ends of the pixel block so the address sanitizer checks its size.
  const uint8_t* pixels = image.Pixels();
  volatile uint8_t ends = pixels[0] ^ pixels[image.RowStride() * height - 1];
  (void)ends;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  cirrodex::fuzzing::FuzzDevice();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ImageBuffer image;
  if (!image.DecodeMemory(data, size, ImageType::Jpeg)) {
    if (image.IsValid()) Fail("a failed decode left a picture in an empty image");
    return 0;
  }
  CheckPicture(image);
  if (int64_t{image.Width()} * image.Height() > kRoundTripPixels) return 0;

  cirrodex::MemoryStream encoded;
  if (!encoded.Open()) Fail("cannot open a memory stream");
  if (!image.EncodeTo(&encoded, ImageType::Jpeg)) Fail("cannot encode a decoded picture");
  const int32_t length = encoded.Size();
  const std::unique_ptr<uint8_t, decltype(&std::free)> block(encoded.GetBuffer(), &std::free);
  ImageBuffer again;
  if (!again.DecodeMemory(block.get(), static_cast<size_t>(length), ImageType::Jpeg)) {
    Fail("cannot decode a picture just encoded");
  }
  if (again.Width() != image.Width() || again.Height() != image.Height() ||
      again.BitCount() != image.BitCount()) {
    Fail("round trip changed the picture's size");
  }
  return 0;
}
