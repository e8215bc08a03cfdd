// Runs a program to its end for a test: the test's environment (its device folder and empty
// HOME), stdin from a text, stdout and stderr apart or together, and a time limit.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace cirrodex::testing {

struct RunOptions {
  std::string input;         // the program's whole stdin
  bool mergeErrors = false;  // stderr into `out` rather than `err`
  int timeoutMs = 60000;     // then the program is killed
};

struct ProgramRun {
  int status = -1;  // the exit status; -1 when it could not run, or ended by a signal or the limit
  std::string out;
  std::string err;
};

ProgramRun RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                      const RunOptions& options);

// The same with stdout and stderr together in `output` (may be null); the exit status.
int RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
               std::string* output = nullptr, int timeoutMs = 60000);

}  // namespace cirrodex::testing
