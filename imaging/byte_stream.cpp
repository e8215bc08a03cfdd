#include "imaging/byte_stream.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace cirrodex {

namespace {

constexpr size_t kGrowthStep = 4096;

int32_t ToInt32(long value) { return value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value); }

}  // namespace

bool ByteStream::PutC(uint8_t byte) { return Write(&byte, 1, 1) == 1; }

FileStream::~FileStream() { Close(); }

bool FileStream::Open(const char* path, const char* mode) {
  if (stream_ != nullptr || path == nullptr || mode == nullptr) return false;
  stream_ = std::fopen(path, mode);
  if (stream_ == nullptr) return false;
  closeOnClose_ = true;
  return true;
}

bool FileStream::Close() {
  if (stream_ == nullptr) return true;
  int result = 0;
  if (closeOnClose_) result = std::fclose(stream_);
  stream_ = nullptr;
  return result == 0;
}

size_t FileStream::Read(void* buffer, size_t size, size_t count) {
  return stream_ != nullptr && buffer != nullptr ? std::fread(buffer, size, count, stream_) : 0;
}

size_t FileStream::Write(const void* buffer, size_t size, size_t count) {
  return stream_ != nullptr && buffer != nullptr ? std::fwrite(buffer, size, count, stream_) : 0;
}

bool FileStream::Seek(long offset, int origin) {
  return stream_ != nullptr && std::fseek(stream_, offset, origin) == 0;
}

int32_t FileStream::Tell() { return stream_ != nullptr ? ToInt32(std::ftell(stream_)) : 0; }

int32_t FileStream::Size() {
  if (stream_ == nullptr) return -1;
  const long old = std::ftell(stream_);
  if (old < 0 || std::fseek(stream_, 0, SEEK_END) != 0) return -1;
  const long end = std::ftell(stream_);
  std::fseek(stream_, old, SEEK_SET);
  return end < 0 ? -1 : ToInt32(end);
}

bool FileStream::Flush() { return stream_ != nullptr && std::fflush(stream_) == 0; }

bool FileStream::Eof() { return stream_ == nullptr || std::feof(stream_) != 0; }

int32_t FileStream::Error() { return stream_ != nullptr ? std::ferror(stream_) : -1; }

bool FileStream::PutC(uint8_t byte) {
  return stream_ != nullptr && std::fputc(byte, stream_) == byte;
}

int32_t FileStream::GetC() { return stream_ != nullptr ? std::fgetc(stream_) : -1; }

MemoryStream::~MemoryStream() { Close(); }

bool MemoryStream::Open() {
  if (buffer_ != nullptr) return false;
  // One byte so that an empty block is still a block; the capacity counts from 0.
  buffer_ = static_cast<uint8_t*>(std::malloc(1));
  if (buffer_ == nullptr) return false;
  size_ = 0;
  position_ = 0;
  capacity_ = 0;
  freeOnClose_ = true;
  return true;
}

uint8_t* MemoryStream::GetBuffer() {
  freeOnClose_ = false;
  return buffer_;
}

bool MemoryStream::Close() {
  if (buffer_ != nullptr && freeOnClose_) std::free(buffer_);
  buffer_ = nullptr;
  size_ = 0;
  position_ = 0;
  capacity_ = 0;
  return true;
}

size_t MemoryStream::Read(void* buffer, size_t size, size_t count) {
  if (buffer_ == nullptr || buffer == nullptr || position_ > size_ || size == 0 || count == 0) {
    return 0;
  }
  if (count > SIZE_MAX / size) count = SIZE_MAX / size;
  const size_t bytes = std::min(size * count, size_ - position_);
  std::memcpy(buffer, buffer_ + position_, bytes);
  position_ += bytes;
  return bytes / size;
}

bool MemoryStream::Grow(size_t needed) {
  if (needed <= capacity_) return true;
  const size_t difference = needed - capacity_;
  const size_t rounded = (difference + kGrowthStep - 1) / kGrowthStep * kGrowthStep;
  if (rounded < difference || capacity_ > SIZE_MAX - rounded) return false;
  const size_t newCapacity = capacity_ + rounded;
  uint8_t* grown;
  if (freeOnClose_ || buffer_ == nullptr) {
    grown = static_cast<uint8_t*>(std::realloc(freeOnClose_ ? buffer_ : nullptr, newCapacity));
  } else {
    grown = static_cast<uint8_t*>(std::malloc(newCapacity));
    if (grown != nullptr) std::memcpy(grown, buffer_, size_);
  }
  if (grown == nullptr) return false;
  buffer_ = grown;
  capacity_ = newCapacity;
  freeOnClose_ = true;
  return true;
}

size_t MemoryStream::Write(const void* buffer, size_t size, size_t count) {
  if (buffer_ == nullptr || buffer == nullptr || size == 0 || count == 0) return 0;
  if (count > SIZE_MAX / size) return 0;
  const size_t bytes = size * count;
  if (position_ > SIZE_MAX - bytes) return 0;
  const size_t end = position_ + bytes;
  if (end > INT32_MAX || !Grow(end)) return 0;
  // A write after a seek past the end leaves the gap zeroed rather than holding old heap bytes.
  if (position_ > size_) std::memset(buffer_ + size_, 0, position_ - size_);
  std::memcpy(buffer_ + position_, buffer, bytes);
  position_ = end;
  size_ = std::max(size_, position_);
  return count;
}

bool MemoryStream::Seek(long offset, int origin) {
  if (buffer_ == nullptr) return false;
  long long base;
  switch (origin) {
    case SEEK_SET:
      base = 0;
      break;
    case SEEK_CUR:
      base = static_cast<long long>(position_);
      break;
    case SEEK_END:
      base = static_cast<long long>(size_);
      break;
    default:
      return false;
  }
  const long long target = base + offset;
  if (target < 0 || target > INT32_MAX) return false;
  position_ = static_cast<size_t>(target);
  return true;
}

int32_t MemoryStream::Tell() {
  return buffer_ != nullptr ? static_cast<int32_t>(std::min<size_t>(position_, INT32_MAX)) : -1;
}

int32_t MemoryStream::Size() {
  return buffer_ != nullptr ? static_cast<int32_t>(std::min<size_t>(size_, INT32_MAX)) : -1;
}

bool MemoryStream::Flush() { return buffer_ != nullptr; }

bool MemoryStream::Eof() { return buffer_ == nullptr || position_ >= size_; }

int32_t MemoryStream::Error() {
  if (buffer_ == nullptr) return -1;
  return position_ > size_ ? 1 : 0;
}

bool MemoryStream::PutC(uint8_t byte) { return Write(&byte, 1, 1) == 1; }

int32_t MemoryStream::GetC() {
  if (Eof()) return -1;
  return buffer_[position_++];
}

}  // namespace cirrodex
