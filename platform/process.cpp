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

// Set by the thread that reaps the process.
class ReapedProcess : public StartedProcess {
 public:
  bool Running() const override { return running_.load(); }
  void Ended() { running_.store(false); }

 private:
  std::atomic<bool> running_{true};
};

class EndedProcess : public StartedProcess {
 public:
  bool Running() const override { return false; }
};

class RealProcessStarter : public ProcessStarter {
 public:
  bool Start(std::wstring_view program, std::wstring_view arguments) override {
    return StartWatched(program, arguments) != nullptr;
  }

  std::shared_ptr<StartedProcess> StartWatched(std::wstring_view program,
                                               std::wstring_view arguments) override {
    const std::string file = DevicePath(program).string();
    if (access(file.c_str(), X_OK) != 0) return nullptr;
    std::string argv0 = file;
    std::string argv1 = ToUtf8(arguments);
    char* argv[3] = {argv0.data(), arguments.empty() ? nullptr : argv1.data(), nullptr};
    pid_t pid = 0;
    // glibc's posix_spawn reports a failed exec as its result, so "created" means running.
    if (posix_spawn(&pid, file.c_str(), nullptr, nullptr, argv, environ) != 0) return nullptr;
    // Nobody waits for the program, so a small thread reaps it to leave no zombie behind, and
    // notes when it has ended.
    auto process = std::make_shared<ReapedProcess>();
    std::thread([pid, process] {
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      process->Ended();
    }).detach();
    return process;
  }
};

RealProcessStarter g_realStarter;
std::atomic<ProcessStarter*> g_starter{nullptr};

}  // namespace

std::shared_ptr<StartedProcess> ProcessStarter::StartWatched(std::wstring_view program,
                                                             std::wstring_view arguments) {
  if (!Start(program, arguments)) return nullptr;
  return std::make_shared<EndedProcess>();
}

ProcessStarter& CurrentProcessStarter() {
  ProcessStarter* starter = g_starter.load();
  return starter != nullptr ? *starter : g_realStarter;
}

void SetProcessStarterForTesting(ProcessStarter* starter) { g_starter.store(starter); }

bool CreateProcess(std::wstring_view program, std::wstring_view arguments) {
  return CurrentProcessStarter().Start(program, arguments);
}

std::shared_ptr<StartedProcess> CreateWatchedProcess(std::wstring_view program,
                                                     std::wstring_view arguments) {
  return CurrentProcessStarter().StartWatched(program, arguments);
}

}  // namespace cirrodex::platform
