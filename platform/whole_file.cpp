#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace cirrodex::platform {

namespace {

struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

bool Fail(const std::filesystem::path& file, const char* doing, std::string& bytes,
          std::string& error) {
  error = std::string(doing) + " " + file.string() + ": " + std::strerror(errno);
  bytes.clear();
  return false;
}

}  // namespace

bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes, std::string& error,
                   size_t limit) {
  const Descriptor in{open(file.c_str(), O_RDONLY | O_CLOEXEC)};
  if (in.fd < 0) return Fail(file, "opening", bytes, error);
  struct stat info {};
  if (fstat(in.fd, &info) != 0) return Fail(file, "reading", bytes, error);
  // The size is a first guess only: a file may grow while it is read, and /proc says 0.
  const size_t guess = S_ISREG(info.st_mode) ? static_cast<size_t>(info.st_size) : 0;
  bytes.resize(std::min(guess, limit) + 1);
  size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      if (filled > limit) {
        error = file.string() + " is larger than " + std::to_string(limit) + " bytes";
        bytes.clear();
        return false;
      }
      bytes.resize(std::min(limit + 1, std::max<size_t>(bytes.size() * 2, 4096)));
    }
    const ssize_t got = read(in.fd, bytes.data() + filled, bytes.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      return Fail(file, "reading", bytes, error);
    }
    if (got == 0) break;
    filled += static_cast<size_t>(got);
  }
  bytes.resize(filled);
  return true;
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& file, size_t limit) {
  std::string bytes;
  std::string error;
  if (!ReadWholeFile(file, bytes, error, limit)) return std::nullopt;
  return bytes;
}

}  // namespace cirrodex::platform
