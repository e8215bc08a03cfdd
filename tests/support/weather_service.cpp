#include "tests/support/weather_service.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "tests/support/temp_device.h"

extern char** environ;

namespace cirrodex::testing {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> Argv(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  return argv;
}

// Waits for `pid` up to `ms`; true with `status` when it ended.
bool WaitFor(pid_t pid, int ms, int& status) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return true;
    if (done < 0 || Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int ExitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

WeatherServiceProcess::WeatherServiceProcess(std::vector<std::string> args,
                                             std::filesystem::path logFile) {
  const std::string program = (BuildDir() / "bin" / "weather-service").string();
  args.insert(args.begin(), {"--port", "0"});
  // Tests never reach past 127.0.0.1: made-up weather unless the test names an upstream.
  if (std::find(args.begin(), args.end(), "--upstream") == args.end()) {
    args.insert(args.end(), {"--upstream", "none"});
  }
  if (!logFile.empty()) args.push_back("--log");

  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  if (!logFile.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  auto argv = Argv(program, args);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    return;
  }
  pid_ = pid;

  // Read the first line: "listening on http://127.0.0.1:PORT".
  std::string line;
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (line.find('\n') == std::string::npos && Clock::now() < deadline) {
    pollfd wait{out[0], POLLIN, 0};
    if (poll(&wait, 1, 100) <= 0) continue;
    char buffer[256];
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    line.append(buffer, static_cast<size_t>(n));
  }
  close(out[0]);  // the service writes nothing more to stdout
  static constexpr std::string_view kPrefix = "listening on http://127.0.0.1:";
  if (line.starts_with(kPrefix)) port_ = std::atoi(line.c_str() + kPrefix.size());
  if (port_ <= 0) Stop(0);
}

WeatherServiceProcess::~WeatherServiceProcess() { Stop(); }

std::string WeatherServiceProcess::Url(std::string_view pathAndQuery) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(pathAndQuery);
}

std::wstring WeatherServiceProcess::WideUrl(std::string_view pathAndQuery) const {
  const std::string url = Url(pathAndQuery);
  return std::wstring(url.begin(), url.end());
}

std::string WeatherServiceProcess::FeedBase() const {
  return Url("/m/chnk/d/weather_d_src.asp?acid=");
}

int WeatherServiceProcess::Stop(int graceMs, int signal) {
  if (pid_ <= 0) return -1;
  const pid_t pid = pid_;
  pid_ = -1;
  int status = 0;
  kill(pid, signal);
  if (WaitFor(pid, graceMs, status)) return ExitStatus(status);
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

int UnusedPort() {
  const int sock = socket(AF_INET, SOCK_STREAM, 0);
  if (sock < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t size = sizeof address;
  int port = -1;
  if (bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(sock, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  close(sock);
  return port;
}

}  // namespace cirrodex::testing
