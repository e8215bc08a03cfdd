#include "platform/process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>

#include "platform/device.h"
#include "platform/text.h"

extern char** environ;

namespace cirrodex::platform {

namespace {

class RealProcessStarter : public ProcessStarter {
 public:
  bool Start(std::wstring_view program, std::wstring_view arguments) override {
    const std::string file = DevicePath(program).string();
    if (access(file.c_str(), X_OK) != 0) return false;
    std::string argv0 = file;
    std::string argv1 = ToUtf8(arguments);
    char* argv[3] = {argv0.data(), arguments.empty() ? nullptr : argv1.data(), nullptr};
    pid_t pid = 0;
    // glibc's posix_spawn reports a failed exec as its result, so "created" means running.
    if (posix_spawn(&pid, file.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
    // Nobody waits for the program, so a small thread reaps it to leave no zombie behind.
    std::thread([pid] {
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
    return true;
  }
};

RealProcessStarter g_realStarter;
std::atomic<ProcessStarter*> g_starter{nullptr};

}  // namespace

ProcessStarter& CurrentProcessStarter() {
  ProcessStarter* starter = g_starter.load();
  return starter != nullptr ? *starter : g_realStarter;
}

void SetProcessStarterForTesting(ProcessStarter* starter) { g_starter.store(starter); }

bool CreateProcess(std::wstring_view program, std::wstring_view arguments) {
  return CurrentProcessStarter().Start(program, arguments);
}

}  // namespace cirrodex::platform
