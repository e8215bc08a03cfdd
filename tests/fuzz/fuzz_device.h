// A temporary device folder for one fuzzing process: made the process's $CIRRODEX_DEVICE on first
// use and removed when the process exits normally.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace cirrodex::fuzzing {

inline const std::filesystem::path& FuzzDevice() {
  // A plain buffer, not a std::string, so the clean-up at exit never sees a destroyed object.
  static char folder[4096];
  static const std::filesystem::path root = [] {
    const std::string pattern =
        (std::filesystem::temp_directory_path() / "cirrodex-fuzz-XXXXXX").string();
    if (pattern.size() >= sizeof folder) std::abort();
    pattern.copy(folder, pattern.size());
    if (mkdtemp(folder) == nullptr) std::abort();
    setenv("CIRRODEX_DEVICE", folder, 1);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    });
    return std::filesystem::path(folder);
  }();
  return root;
}

// Stops the run with a report the fuzzer counts as a crash.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

}  // namespace cirrodex::fuzzing
