// Moving pictures between ImageBuffer and files on the device.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "imaging/byte_stream.h"
#include "imaging/image_buffer.h"
#include "platform/device.h"
#include "platform/whole_file.h"

namespace cirrodex {

bool ImageBuffer::LoadFile(std::wstring_view path, ImageType type) {
  std::string bytes;
  if (!platform::ReadFileIfPresent(platform::DevicePath(path), bytes,
                                   platform::kPictureFileLimit)) {
    return false;
  }
  return DecodeMemory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), type);
}

namespace {

// Whether `file` (a regular file, not a link) holds exactly `size` bytes equal to `bytes`.
bool HoldsAlready(const std::filesystem::path& file, const uint8_t* bytes, size_t size) {
  std::string held;
  std::string error;
  return platform::ReadWholeFile(file, held, error, size) && held.size() == size &&
         std::memcmp(held.data(), bytes, size) == 0;
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
