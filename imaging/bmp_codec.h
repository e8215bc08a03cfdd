// BMP writing: the 14-byte file header followed by the picture's DIB block as it is held.
#pragma once

#include "imaging/byte_stream.h"
#include "imaging/image_buffer.h"

namespace cirrodex {

class BmpCodec : public ImageBuffer {
 public:
  BmpCodec() : ImageBuffer(ImageType::Bmp) {}
  ~BmpCodec() override = default;

  // Nothing in the system reads BMP files through this layer: always false.
  bool Decode(ByteStream* file);
  // False when the stream is null, the image is empty, the file would exceed 4 GiB or a write
  // comes up short.
  bool Encode(ByteStream* file);
};

}  // namespace cirrodex
