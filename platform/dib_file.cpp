// Reading BMP files into device-independent bitmaps: the part of SHLoadDIBitmap the drawings use.
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "platform/device.h"
#include "platform/drawing_context.h"
#include "platform/whole_file.h"

namespace cirrodex::platform {

namespace {

constexpr int32_t kMaxSide = 16384;
constexpr uint32_t kFileHeaderBytes = 14;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
int32_t I32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }

// Every size and offset of the headers is checked against the bytes actually present before it is
// used, so a truncated or hostile file is refused rather than read past its end.
std::unique_ptr<DibBitmap> ParseBmp(std::string_view file) {
  const auto* data = reinterpret_cast<const uint8_t*>(file.data());
  const size_t size = file.size();
  if (size < kFileHeaderBytes + 12 || data[0] != 'B' || data[1] != 'M') return nullptr;
  const uint32_t bitsOffset = U32(&data[10]);
  const uint8_t* info = &data[kFileHeaderBytes];
  const uint32_t infoSize = U32(info);

  auto dib = std::make_unique<DibBitmap>();
  BitmapInfoHeader& h = dib->header;
  size_t colorEntryBytes = 4;
  if (infoSize == 12) {
    // The old OS/2 core header: 16-bit sizes and three-byte colour entries.
    h.width = U16(info + 4);
    h.height = static_cast<int16_t>(U16(info + 6));
    h.planes = U16(info + 8);
    h.bitCount = U16(info + 10);
    colorEntryBytes = 3;
  } else {
    if (infoSize < 40 || infoSize > 1024 || size < kFileHeaderBytes + infoSize) return nullptr;
    h.width = I32(info + 4);
    h.height = I32(info + 8);
    h.planes = U16(info + 12);
    h.bitCount = U16(info + 14);
    h.compression = U32(info + 16);
    h.xPelsPerMeter = I32(info + 24);
    h.yPelsPerMeter = I32(info + 28);
    h.clrUsed = U32(info + 32);
    h.clrImportant = U32(info + 36);
  }
  h.size = 40;

  const bool topDown = h.height < 0;
  if (h.height == std::numeric_limits<int32_t>::min()) return nullptr;
  if (topDown) h.height = -h.height;
  if (h.width <= 0 || h.height <= 0 || h.width > kMaxSide || h.height > kMaxSide) return nullptr;
  if (h.planes != 1 || h.compression != 0) return nullptr;
  const uint16_t bits = h.bitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return nullptr;

  // Colour table: clrUsed entries (all 2^bits when 0), widened to 256 as the platform hands out.
  size_t tableStart = kFileHeaderBytes + infoSize;
  if (bits <= 8) {
    const uint32_t maxColors = 1u << bits;
    const uint32_t count = h.clrUsed == 0 ? maxColors : h.clrUsed;
    if (count > maxColors) return nullptr;
    if (tableStart + count * colorEntryBytes > size) return nullptr;
    dib->colors.assign(256, RgbQuad{});
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* entry = &data[tableStart + i * colorEntryBytes];
      dib->colors[i] = RgbQuad{entry[0], entry[1], entry[2], 0};
    }
    h.clrUsed = count;
    tableStart += count * colorEntryBytes;
  } else {
    h.clrUsed = 0;
  }

  const uint64_t stride = dib->Stride();
  const uint64_t imageBytes = stride * static_cast<uint64_t>(h.height);
  if (bitsOffset < tableStart || bitsOffset > size || size - bitsOffset < imageBytes) {
    return nullptr;
  }
  h.sizeImage = static_cast<uint32_t>(imageBytes);
  dib->bits.resize(static_cast<size_t>(imageBytes));
  if (!topDown) {
    std::memcpy(dib->bits.data(), &data[bitsOffset], dib->bits.size());
  } else {
    for (int32_t row = 0; row < h.height; ++row) {
      std::memcpy(&dib->bits[static_cast<size_t>(stride * (h.height - 1 - row))],
                  &data[bitsOffset + static_cast<size_t>(stride * row)],
                  static_cast<size_t>(stride));
    }
  }
  return dib;
}

}  // namespace

RgbQuad DibBitmap::PixelFromTop(int x, int y) const {
  if (x < 0 || y < 0 || x >= Width() || y >= Height()) return RgbQuad{};
  const size_t row = static_cast<size_t>(Height() - 1 - y) * Stride();
  if (bits.size() < row + Stride()) return RgbQuad{};
  const uint8_t* line = &bits[row];
  auto indexed = [this](uint32_t index) {
    return index < colors.size() ? colors[index] : RgbQuad{};
  };
  switch (header.bitCount) {
    case 32:
      return RgbQuad{line[x * 4], line[x * 4 + 1], line[x * 4 + 2], 0};
    case 24:
      return RgbQuad{line[x * 3], line[x * 3 + 1], line[x * 3 + 2], 0};
    case 8:
      return indexed(line[x]);
    case 4:
      return indexed((line[x / 2] >> ((x % 2 == 0) ? 4 : 0)) & 0x0F);
    case 1:
      return indexed((line[x / 8] >> (7 - x % 8)) & 0x01);
    default:
      return RgbQuad{};
  }
}

std::unique_ptr<DibBitmap> LoadDibFile(std::wstring_view handheldPath) {
  std::string data;
  if (!ReadFileIfPresent(DevicePath(handheldPath), data, kPictureFileLimit)) return nullptr;
  std::unique_ptr<DibBitmap> dib = ParseBmp(data);
  if (dib) dib->path = std::wstring(handheldPath);
  return dib;
}

std::unique_ptr<DibBitmap> DrawingContext::LoadBitmap(std::wstring_view handheldPath) {
  return LoadDibFile(handheldPath);
}

}  // namespace cirrodex::platform
