// Moving pictures between ImageBuffer and files on the device.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "imaging/byte_stream.h"
#include "imaging/image_buffer.h"
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

}  // namespace cirrodex
