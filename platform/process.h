// Starting another program of the system, given as a handheld path, without waiting for it.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace cirrodex::platform {

// A process that was started: whether it still runs.
class StartedProcess {
 public:
  virtual ~StartedProcess() = default;
  virtual bool Running() const = 0;
};

class ProcessStarter {
 public:
  virtual ~ProcessStarter() = default;
  // Starts `program` (a handheld path) with `arguments` as its command line and returns at once;
  // false when the process could not be created.
  virtual bool Start(std::wstring_view program, std::wstring_view arguments) = 0;
  // Starts as Start does and keeps watch on the process; null when it could not be created. The
  // default knows no more than that the process started, and reports it ended.
  virtual std::shared_ptr<StartedProcess> StartWatched(std::wstring_view program,
                                                       std::wstring_view arguments);
};

// The starter in force: the real one unless a test installed another.
ProcessStarter& CurrentProcessStarter();
// Installs `starter` (not owned; null restores the real one).
void SetProcessStarterForTesting(ProcessStarter* starter);

// The platform's CreateProcess as the system uses it: the program file under the device folder is
// run with its file path as argv[0] and, when `arguments` is not empty, the whole arguments text
// as argv[1]. The child inherits the environment and the working folder; it is reaped when
// it ends, and nobody waits for it. False when the file is missing or cannot be executed.
bool CreateProcess(std::wstring_view program, std::wstring_view arguments);
// CreateProcess with a watch on the process; null when it could not be created.
std::shared_ptr<StartedProcess> CreateWatchedProcess(std::wstring_view program,
                                                     std::wstring_view arguments);

}  // namespace cirrodex::platform
