// Moving pictures between ImageBuffer and files or streams, through the codec of each format.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "imaging/bmp_codec.h"
#include "imaging/byte_stream.h"
#include "imaging/image_buffer.h"
#include "imaging/jpeg_codec.h"
#include "platform/device.h"

namespace cirrodex {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

bool ImageBuffer::LoadFile(std::wstring_view path, ImageType type) {
  const std::filesystem::path file = platform::DevicePath(path);
  FilePtr stream(std::fopen(file.c_str(), "rb"));
  if (!stream) return false;
  FileStream reader(stream.get());
  return DecodeFrom(&reader, type);
}

bool ImageBuffer::SaveFile(std::wstring_view path, ImageType type) {
  const std::filesystem::path file = platform::DevicePath(path);
  // Never into a folder reached through a link someone planted; the file itself replaces
  // whatever lies at its name, a link included, and is the user's alone (mkstemp's 0600).
  std::string problem;
  if (!platform::PrivateDeviceFolder(file.parent_path(), platform::Create::No, problem)) {
    return false;
  }
  std::string temporary = file.string() + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  fchmod(fd, 0600);
  std::FILE* stream = fdopen(fd, "wb");
  if (stream == nullptr) {
    close(fd);
    unlink(temporary.c_str());
    return false;
  }
  bool written;
  {
    FileStream writer(stream);
    written = EncodeTo(&writer, type);
  }
  // Buffered bytes reach the disk only at fclose, so its failure is a failed save.
  written = (std::fclose(stream) == 0) && written;
  if (written && std::rename(temporary.c_str(), file.c_str()) == 0) return true;
  unlink(temporary.c_str());
  return false;
}

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
