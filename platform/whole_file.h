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

// Reads all of `file` into `bytes`, reusing its capacity. False when the file cannot be opened or
// read or holds more than `limit` bytes: `bytes` is then empty and `error` says what failed and
// names the file.
bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes, std::string& error,
                   size_t limit = kWholeFileLimit);

// The same for a caller that needs only whether it worked.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file,
                                         size_t limit = kWholeFileLimit);

}  // namespace cirrodex::platform
