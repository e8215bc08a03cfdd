// Moving pictures between ImageBuffer and files on the device.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
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

namespace {

// Whether `file` (not a link) holds exactly `size` bytes equal to `bytes`.
bool HoldsAlready(const std::filesystem::path& file, const uint8_t* bytes, size_t size) {
  const int fd = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool same =
      fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<size_t>(info.st_size) == size;
  std::unique_ptr<uint8_t[]> held;
  if (same) held.reset(new (std::nothrow) uint8_t[std::max<size_t>(size, 1)]);
  size_t got = 0;
  while (same && held && got < size) {
    const ssize_t n = read(fd, held.get() + got, size - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  return same && held && got == size && std::memcmp(held.get(), bytes, size) == 0;
}

}  // namespace

bool ImageBuffer::SaveFile(std::wstring_view path, ImageType type) {
  const std::filesystem::path file = platform::DevicePath(path);
  // Never into a folder reached through a link someone planted.
  std::string problem;
  if (!platform::PrivateDeviceFolder(file.parent_path(), platform::Create::No, problem)) {
    return false;
  }
  // Encoded in memory first: a file that already holds these very bytes (a map that has not
  // changed since the last download) is left as it is, sparing a new file and its rename.
  MemoryStream encoded;
  if (!encoded.Open() || !EncodeTo(&encoded, type)) return false;
  const size_t size = static_cast<size_t>(std::max<int32_t>(encoded.Size(), 0));
  std::unique_ptr<uint8_t, decltype(&std::free)> bytes(encoded.GetBuffer(), &std::free);
  if (HoldsAlready(file, bytes.get(), size)) return true;
  return platform::ReplaceFile(
      file, std::string_view(reinterpret_cast<const char*>(bytes.get()), size), problem);
}

}  // namespace cirrodex
