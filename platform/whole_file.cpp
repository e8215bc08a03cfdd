#include "platform/whole_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

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

bool Refuse(std::string why, std::string& bytes, std::string& error) {
  error = std::move(why);
  bytes.clear();
  return false;
}

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a regular file";
}

std::string TooLarge(const std::filesystem::path& file, size_t limit) {
  return file.string() + " is larger than " + std::to_string(limit) + " bytes";
}

// Whether opening failed only because nothing is there.
bool Missing(const std::filesystem::path& file) {
  struct stat info {};
  return lstat(file.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

}  // namespace

bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes, std::string& error,
                   size_t limit) {
  // O_NONBLOCK: a FIFO's open would otherwise wait for a writer, for ever.
  const Descriptor in{open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
  if (in.fd < 0) {
    if (errno == ELOOP) {
      return Refuse(file.string() + " is a symbolic link, which is not followed", bytes, error);
    }
    return Fail(file, "opening", bytes, error);
  }
  struct stat info {};
  if (fstat(in.fd, &info) != 0) return Fail(file, "reading", bytes, error);
  if (!S_ISREG(info.st_mode)) {
    return Refuse(file.string() + " is " + KindOf(info.st_mode) + ", not a regular file", bytes,
                  error);
  }
  if (static_cast<uintmax_t>(info.st_size) > limit)
    return Refuse(TooLarge(file, limit), bytes, error);
  // The size is a first guess only: a file may grow while it is read, and /proc says 0.
  bytes.resize(std::min(static_cast<size_t>(info.st_size), limit) + 1);
  size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      if (filled > limit) return Refuse(TooLarge(file, limit), bytes, error);
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

bool ReadFileIfPresent(const std::filesystem::path& file, std::string& bytes, size_t limit) {
  std::string error;
  if (ReadWholeFile(file, bytes, error, limit)) return true;
  if (Missing(file)) return false;
  static std::mutex mutex;
  static std::set<std::string> reported;
  std::lock_guard lock(mutex);
  if (reported.insert(file.string()).second) {
    std::fprintf(stderr, "%s: %s; it is left unread\n", program_invocation_short_name,
                 error.c_str());
  }
  return false;
}

std::optional<std::string> ReadFileIfPresent(const std::filesystem::path& file, size_t limit) {
  std::string bytes;
  if (!ReadFileIfPresent(file, bytes, limit)) return std::nullopt;
  return bytes;
}

}  // namespace cirrodex::platform
