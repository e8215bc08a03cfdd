#include "bench/map_pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>

#include "imaging/byte_stream.h"

namespace cirrodex::bench {

std::vector<uint8_t> SampleMapJpeg(int width, int height) {
  ImageBuffer map(width, height, 24, ImageType::Bmp);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double land = std::sin(x * 0.021) * std::cos(y * 0.017) + std::sin((x + y) * 0.005);
      RgbQuad colour = land > 0.1 ? RgbQuad{70, 150, 110, 0} : RgbQuad{160, 110, 60, 0};
      if (std::fabs(land - 0.1) < 0.02) colour = RgbQuad{40, 40, 40, 0};
      // Two rain areas with rings of rising intensity.
      for (const auto& [cx, cy, r] : {std::tuple{120, 90, 60}, std::tuple{290, 200, 80}}) {
        const double d = std::hypot(x - cx, y - cy) + 6 * std::sin(x * 0.3 + y * 0.2);
        if (d < r) {
          colour = d < r / 3 ? RgbQuad{0, 0, 220, 0}
                             : (d < 2 * r / 3 ? RgbQuad{0, 220, 240, 0} : RgbQuad{40, 200, 40, 0});
        }
      }
      // Speckle, as scanned terrain has, so the JPEG is not unusually small.
      const uint32_t hash =
          (static_cast<uint32_t>(x) * 73856093u) ^ (static_cast<uint32_t>(y) * 19349663u);
      const int speckle = static_cast<int>((hash >> 7) % 25) - 12;
      const auto shade = [speckle](uint8_t c) {
        return static_cast<uint8_t>(std::clamp(c + speckle, 0, 255));
      };
      map.WritePixelColor(x, y,
                          RgbQuad{shade(colour.blue), shade(colour.green), shade(colour.red), 0});
    }
  }
  MemoryStream out;
  std::vector<uint8_t> bytes;
  if (!out.Open() || !map.EncodeTo(&out, ImageType::Jpeg)) return bytes;
  const auto size = static_cast<size_t>(out.Size());
  uint8_t* data = out.GetBuffer();
  bytes.assign(data, data + size);
  std::free(data);
  return bytes;
}

bool RunMapPipeline(const uint8_t* jpeg, size_t size) {
  ImageBuffer picture;
  if (!picture.DecodeMemory(jpeg, size, ImageType::Jpeg)) return false;
  picture.SetJpegQuality(100);
  if (!picture.SaveFile(L"\\radar.jpg", ImageType::Jpeg)) return false;
  ImageBuffer icon;
  const int cx = picture.Width() / 2;
  const int cy = picture.Height() / 2;
  if (!picture.Crop(cx - 15, cy - 15, cx + 15, cy + 15, &icon)) return false;
  return icon.SaveFile(L"\\iconradar.bmp", ImageType::Bmp);
}

}  // namespace cirrodex::bench
