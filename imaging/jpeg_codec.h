// JPEG reading and writing on libjpeg (library version 62). Each codec object serves one decode
// or one encode and is then destroyed; libjpeg's errors end in a false result with libjpeg's
// message in LastError(), never in a jump or exception out of the codec.
#pragma once

#include "imaging/byte_stream.h"
#include "imaging/image_buffer.h"

namespace cirrodex {

// A progressive JPEG may hold any number of scans, each a pass over the whole picture; beyond
// this many the file is refused rather than keeping the decoder busy for minutes.
inline constexpr int kMaxJpegScans = 500;

class JpegCodec : public ImageBuffer {
 public:
  JpegCodec() : ImageBuffer(ImageType::Jpeg) {}
  ~JpegCodec() override = default;

  // Reads one JPEG from the stream's position into this image: 8-bit with a grey palette for
  // one-component files, 24-bit otherwise (CMYK converted to RGB). Refuses pictures beyond
  // kMaxImageSide / kMaxImagePixels before allocating them, and files of more than
  // kMaxJpegScans scans. A file cut short decodes with its missing part filled as libjpeg does;
  // LastError() then holds libjpeg's warning.
  bool Decode(ByteStream* file);
  // Writes this image (24-bit, or 8-bit greyscale) at JpegQuality() as a baseline JFIF file
  // with its resolution in dots per inch.
  bool Encode(ByteStream* file);
};

}  // namespace cirrodex
