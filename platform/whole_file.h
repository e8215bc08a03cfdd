// Reading a whole file into memory, with a limit, so that a file grown by mistake (or a device
// node) costs an error rather than the machine's memory.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace cirrodex::platform {

// No file the system reads (feeds, maps, region files, stamps) comes near this.
inline constexpr size_t kWholeFileLimit = 64 * 1024 * 1024;
// No picture the system shows (icons, map pictures) comes near this.
inline constexpr size_t kPictureFileLimit = 16 * 1024 * 1024;

// Reads all of `file` into `bytes`, reusing its capacity. The file is opened without following a
// symbolic link in its place and without blocking, and must be a regular file: a link, FIFO,
// socket, device or folder planted there is refused, never waited on. False when the file cannot
// be opened or read, is not a regular file or holds more than `limit` bytes (refused before it is
// read when its size says so): `bytes` is then empty and `error` says what failed and names the
// file.
bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes, std::string& error,
                   size_t limit = kWholeFileLimit);

// The same for a caller that needs only whether it worked.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file,
                                         size_t limit = kWholeFileLimit);

// For files that may well be missing (an icon, a city's feed): a missing file is no error, but
// one that is there and refused (see ReadWholeFile) is reported on stderr in one line naming it,
// once per file and process, so that a planted file shows without flooding the log.
bool ReadFileIfPresent(const std::filesystem::path& file, std::string& bytes,
                       size_t limit = kWholeFileLimit);
std::optional<std::string> ReadFileIfPresent(const std::filesystem::path& file,
                                             size_t limit = kWholeFileLimit);

}  // namespace cirrodex::platform
