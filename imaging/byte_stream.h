// Byte streams the image codecs read from and write to: one abstract interface, a stdio file and
// a growable memory block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace cirrodex {

class ByteStream {
 public:
  virtual ~ByteStream() = default;
  virtual bool Close() = 0;
  // Both return the number of whole elements moved.
  virtual size_t Read(void* buffer, size_t size, size_t count) = 0;
  virtual size_t Write(const void* buffer, size_t size, size_t count) = 0;
  // origin: SEEK_SET (0), SEEK_CUR (1) or SEEK_END (2).
  virtual bool Seek(long offset, int origin) = 0;
  virtual int32_t Tell() = 0;
  virtual int32_t Size() = 0;
  virtual bool Flush() = 0;
  virtual bool Eof() = 0;
  // 0 when no error.
  virtual int32_t Error() = 0;
  virtual bool PutC(uint8_t byte);
  // The byte, or -1.
  virtual int32_t GetC() = 0;
};

// A stdio stream. Made from an open stream it never closes it; made empty, Open() opens one that
// Close() and the destructor close. Every operation on no stream returns a neutral value.
class FileStream : public ByteStream {
 public:
  explicit FileStream(std::FILE* stream = nullptr)
      : stream_(stream), closeOnClose_(stream == nullptr) {}
  ~FileStream() override;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  // False when a stream is already set or fopen fails.
  bool Open(const char* path, const char* mode);

  bool Close() override;
  size_t Read(void* buffer, size_t size, size_t count) override;
  size_t Write(const void* buffer, size_t size, size_t count) override;
  bool Seek(long offset, int origin) override;
  int32_t Tell() override;
  int32_t Size() override;
  bool Flush() override;
  bool Eof() override;
  int32_t Error() override;
  bool PutC(uint8_t byte) override;
  int32_t GetC() override;

 private:
  std::FILE* stream_;
  bool closeOnClose_;
};

// A memory block read and written like a file. Made over a caller's buffer it reads and writes
// that buffer in place and never frees it; made empty, Open() starts an owned block that grows
// as writes need. Owned blocks come from malloc.
class MemoryStream : public ByteStream {
 public:
  explicit MemoryStream(uint8_t* buffer = nullptr, size_t size = 0)
      : buffer_(buffer), size_(size), freeOnClose_(buffer == nullptr), capacity_(size) {}
  ~MemoryStream() override;
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;

  // Starts an empty owned block; false when a buffer is already set or memory runs out.
  bool Open();
  // Hands the block to the caller, who frees it with free(); the stream keeps pointing at it
  // until closed but no longer frees it.
  uint8_t* GetBuffer();
  size_t Capacity() const { return capacity_; }

  bool Close() override;
  size_t Read(void* buffer, size_t size, size_t count) override;
  // Growing a caller's buffer copies it into a new owned block rather than reallocating memory
  // the stream does not own. Returns 0, writing nothing, when the block cannot grow.
  size_t Write(const void* buffer, size_t size, size_t count) override;
  // Positions past the end are allowed; a negative one or one beyond 2^31 - 1 fails.
  bool Seek(long offset, int origin) override;
  int32_t Tell() override;
  int32_t Size() override;
  bool Flush() override;
  bool Eof() override;
  // -1 without a buffer, 1 when the position lies past the end.
  int32_t Error() override;
  bool PutC(uint8_t byte) override;
  int32_t GetC() override;

 private:
  // Makes room for `needed` bytes; false when memory runs out.
  bool Grow(size_t needed);

  uint8_t* buffer_;
  size_t size_;
  bool freeOnClose_;
  size_t position_ = 0;
  size_t capacity_;
};

}  // namespace cirrodex
