#include "host/own_service.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

namespace cirrodex::host {
namespace {

// The child's status once it has ended, without waiting; -1 while it runs.
int Reap(pid_t pid, bool wait) {
  int status = 0;
  const pid_t done = waitpid(pid, &status, wait ? 0 : WNOHANG);
  return done == pid ? status : -1;
}

}  // namespace

bool SomethingListens(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // On the loopback a connection is refused or accepted at once.
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

bool RunToEnd(const std::filesystem::path& program, const std::string& argument, int waitMs) {
  std::string file = program.string();
  std::string arg = argument;
  char* argv[] = {file.data(), arg.data(), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, file.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  int status = -1;
  while ((status = Reap(pid, false)) == -1) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      Reap(pid, true);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool OwnWeatherService::Start(const std::filesystem::path& program, int port,
                              const std::string& upstream, int waitMs, std::string& problem) {
  Stop();
  std::vector<std::string> args = {program.string(), "--port", std::to_string(port)};
  if (!upstream.empty()) args.insert(args.end(), {"--upstream", upstream});
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    problem = "cannot start " + program.string();
    return false;
  }
  if (pid == 0) {
    // Goes with the screen even when the screen is killed.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    // Its "listening on" lines are for people who start it by hand.
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDOUT_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  pid_ = pid;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  while (!SomethingListens(port)) {
    if (Reap(pid_, false) != -1) {
      pid_ = -1;
      problem = program.string() + " ended without listening on 127.0.0.1:" + std::to_string(port);
      return false;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      Stop();
      problem =
          program.string() + " did not listen on 127.0.0.1:" + std::to_string(port) + " in time";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void OwnWeatherService::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (Reap(pid_, false) == -1) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      Reap(pid_, true);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
}

}  // namespace cirrodex::host
