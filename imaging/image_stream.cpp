// Moving pictures between ImageBuffer and byte streams, through the codec of each format. Apart
// from the files so that a program without the device (the weather service) can encode.
#include "imaging/bmp_codec.h"
#include "imaging/byte_stream.h"
#include "imaging/image_buffer.h"
#include "imaging/jpeg_codec.h"

namespace cirrodex {

bool ImageBuffer::DecodeMemory(const uint8_t* buffer, size_t size, ImageType type) {
  // The stream only reads; it never writes into or frees the caller's buffer.
  MemoryStream reader(const_cast<uint8_t*>(buffer), buffer != nullptr ? size : 0);
  return DecodeFrom(&reader, type);
}

bool ImageBuffer::DecodeFrom(ByteStream* file, ImageType type) {
  switch (type) {
    case ImageType::Jpeg: {
      JpegCodec codec;
      if (codec.Decode(file)) {
        TakeOver(codec);
        return true;
      }
      SetLastError(codec.LastError());
      return false;
    }
    case ImageType::Bmp: {
      BmpCodec codec;
      if (codec.Decode(file)) {
        TakeOver(codec);
        return true;
      }
      SetLastError(codec.LastError());
      return false;
    }
  }
  SetLastError(kUnsupportedFormatText);
  return false;
}

bool ImageBuffer::EncodeTo(ByteStream* file, ImageType type) {
  switch (type) {
    case ImageType::Jpeg: {
      JpegCodec codec;
      codec.ShareFrom(*this);
      if (codec.Encode(file)) return true;
      SetLastError(codec.LastError());
      return false;
    }
    case ImageType::Bmp: {
      BmpCodec codec;
      codec.ShareFrom(*this);
      if (codec.Encode(file)) return true;
      SetLastError(codec.LastError());
      return false;
    }
  }
  SetLastError(kUnsupportedFormatText);
  return false;
}

}  // namespace cirrodex
