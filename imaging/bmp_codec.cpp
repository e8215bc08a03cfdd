#include "imaging/bmp_codec.h"

#include <cstring>

namespace cirrodex {

namespace {

constexpr uint32_t kFileHeaderBytes = 14;

void PutLe16(uint8_t* out, uint16_t value) {
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
}

void PutLe32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

bool BmpCodec::Decode(ByteStream* /*file*/) {
  SetLastError(kUnsupportedFormatText);
  return false;
}

bool BmpCodec::Encode(ByteStream* file) {
  if (file == nullptr || !IsValid()) return false;
  const BitmapInfoHeader header = Header();
  const uint64_t offset = uint64_t{kFileHeaderBytes} + sizeof(BitmapInfoHeader) + PaletteBytes();
  const uint64_t fileSize = offset + header.sizeImage;
  if (fileSize > UINT32_MAX) {
    SetLastError("Picture too large for a BMP file");
    return false;
  }

  uint8_t fileHeader[kFileHeaderBytes];
  fileHeader[0] = 'B';
  fileHeader[1] = 'M';
  PutLe32(fileHeader + 2, static_cast<uint32_t>(fileSize));
  PutLe16(fileHeader + 6, 0);
  PutLe16(fileHeader + 8, 0);
  PutLe32(fileHeader + 10, static_cast<uint32_t>(offset));

  // The block's header copy may be stale (resolution set after Create); the file gets the
  // current one.
  std::memcpy(Dib(), &header, sizeof header);
  const size_t blockBytes = static_cast<size_t>(fileSize - kFileHeaderBytes);
  if (file->Write(fileHeader, 1, kFileHeaderBytes) != kFileHeaderBytes ||
      file->Write(Dib(), blockBytes, 1) != 1) {
    SetLastError("Cannot write the BMP file");
    return false;
  }
  return true;
}

}  // namespace cirrodex
