#include "tests/support/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace cirrodex::testing {

namespace {

using Clock = std::chrono::steady_clock;

// Closes the descriptor when it goes.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
  void Close() {
    if (fd >= 0) close(fd);
    fd = -1;
  }
};

int MillisecondsUntil(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `pid` until `deadline`; true with `status` when it ended.
bool WaitUntil(pid_t pid, Clock::time_point deadline, int& status) {
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return true;
    if (done < 0 || Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// The input as a file in memory, so a program that never reads it cannot block the test.
int InputFile(const std::string& input) {
  const int fd = memfd_create("stdin", MFD_CLOEXEC);
  if (fd < 0) return -1;
  size_t done = 0;
  while (done < input.size()) {
    const ssize_t n = write(fd, input.data() + done, input.size() - done);
    if (n <= 0) {
      close(fd);
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  lseek(fd, 0, SEEK_SET);
  return fd;
}

}  // namespace

ProgramRun RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                      const RunOptions& options) {
  ProgramRun run;
  Fd in{InputFile(options.input)};
  int outPipe[2], errPipe[2] = {-1, -1};
  if (in.fd < 0 || pipe2(outPipe, O_CLOEXEC) != 0) return run;
  Fd out{outPipe[0]}, outWrite{outPipe[1]};
  Fd err, errWrite;
  if (!options.mergeErrors) {
    if (pipe2(errPipe, O_CLOEXEC) != 0) return run;
    err.fd = errPipe[0];
    errWrite.fd = errPipe[1];
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.fd, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, outWrite.fd, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, options.mergeErrors ? outWrite.fd : errWrite.fd,
                                   STDERR_FILENO);
  const std::string path = program.string();
  std::vector<char*> argv{const_cast<char*>(path.c_str())};
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  outWrite.Close();
  errWrite.Close();
  if (spawned != 0) return run;

  const auto deadline = Clock::now() + std::chrono::milliseconds(options.timeoutMs);
  while (out.fd >= 0 || err.fd >= 0) {
    pollfd waits[2] = {{out.fd, POLLIN, 0}, {err.fd, POLLIN, 0}};
    const int remaining = MillisecondsUntil(deadline);
    if (remaining == 0 || poll(waits, 2, remaining) <= 0) break;
    for (int i = 0; i < 2; ++i) {
      if (waits[i].revents == 0) continue;
      Fd& from = i == 0 ? out : err;
      char buffer[4096];
      const ssize_t n = read(from.fd, buffer, sizeof buffer);
      if (n <= 0) {
        from.Close();
      } else {
        (i == 0 ? run.out : run.err).append(buffer, static_cast<size_t>(n));
      }
    }
  }

  int status = 0;
  if (!WaitUntil(pid, deadline, status)) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return run;
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

int RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
               std::string* output, int timeoutMs) {
  RunOptions options;
  options.mergeErrors = true;
  options.timeoutMs = timeoutMs;
  ProgramRun run = RunProgram(program, args, options);
  if (output != nullptr) *output = std::move(run.out);
  return run.status;
}

}  // namespace cirrodex::testing
