#include "host/own_service.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>
#include <vector>

#include "service/address.h"

extern char** environ;

namespace cirrodex::host {
namespace {

// The child's status once it has ended, without waiting; -1 while it runs.
int Reap(pid_t pid, bool wait) {
  int status = 0;
  const pid_t done = waitpid(pid, &status, wait ? 0 : WNOHANG);
  return done == pid ? status : -1;
}

}  // namespace

sockaddr_in LoopbackAddress(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool SomethingListens(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const sockaddr_in address = LoopbackAddress(port);
  // On the loopback a connection is refused or accepted at once.
  const bool connected =
      connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
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

namespace {

// A socket listening on 127.0.0.1:`port`, or -1 with `outcome` AlreadyThere (someone else holds
// the port) or Failed (`problem` says why).
int ListenOnLoopback(int port, ServiceStart& outcome, std::string& problem) {
  outcome = ServiceStart::Failed;
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) {
    problem = std::string("no socket: ") + std::strerror(errno);
    return -1;
  }
  // Address reuse lets a port that a stopped service left in TIME_WAIT be taken again; two
  // sockets bound at once still cannot both listen, so bind and listen together decide.
  const int one = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  const sockaddr_in address = LoopbackAddress(port);
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, SOMAXCONN) != 0) {
    const int error = errno;
    close(listener);
    if (error == EADDRINUSE) {
      outcome = ServiceStart::AlreadyThere;
    } else {
      problem = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(error);
    }
    return -1;
  }
  outcome = ServiceStart::Started;
  return listener;
}

// This process's environment as systemd's socket activation hands one socket on, but for
// LISTEN_PID, which only the service's own process can know.
std::vector<std::string> ActivationEnvironment() {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (!std::string_view(*e).starts_with("LISTEN_")) env.emplace_back(*e);
  }
  env.emplace_back("LISTEN_FDS=1");
  return env;
}

// Runs `args` with `env` and LISTEN_PID in a session of its own, `listener` as its descriptor 3
// and /dev/null as its standard streams, as nobody's child: an intermediate process starts it and
// ends at once. True once exec succeeded; otherwise `problem` says why.
bool SpawnDetached(std::vector<std::string> args, std::vector<std::string> env, int listener,
                   std::string& problem) {
  // Everything the child needs is made before the fork: between fork and exec only
  // async-signal-safe calls, since other threads may hold the allocator's lock.
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  constexpr std::string_view kListenPid = "LISTEN_PID=";
  std::string listenPid = std::string(kListenPid) + std::string(24, '\0');
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(listenPid.data());
  envp.push_back(nullptr);
  const std::string cannot = "cannot start " + args.front() + ": ";
  const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  int failed[2] = {-1, -1};  // the errno of a failed exec; closed unread when it succeeded
  if (null < 0 || pipe2(failed, O_CLOEXEC) != 0) {
    problem = cannot + std::strerror(errno);
    if (null >= 0) close(null);
    return false;
  }

  const pid_t middle = fork();
  if (middle == 0) {
    // A session of its own: the terminal's signals and the screen's end do not reach it, and
    // the middle process ends at once, so the service is nobody's child.
    setsid();
    if (fork() != 0) _exit(0);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // Above the standard streams and the socket's place, whatever numbers they had.
    const int report = fcntl(failed[1], F_DUPFD_CLOEXEC, 10);
    const int passed = fcntl(listener, F_DUPFD_CLOEXEC, 10);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    constexpr int kFirstPassed = 3;  // where socket activation hands the first socket
    dup2(passed, kFirstPassed);      // the copy is inherited: dup2 clears close-on-exec
    // Nothing else of the screen's (its display connection, the registry) goes along.
    close_range(kFirstPassed + 1, ~0U, CLOSE_RANGE_CLOEXEC);
    char* digits = listenPid.data() + kListenPid.size();
    *std::to_chars(digits, digits + 23, getpid()).ptr = '\0';
    execve(argv[0], argv.data(), envp.data());
    const int error = errno;
    [[maybe_unused]] ssize_t ignored = write(report, &error, sizeof error);
    _exit(127);
  }
  close(failed[1]);
  close(null);
  if (middle < 0) {
    close(failed[0]);
    problem = cannot + std::strerror(errno);
    return false;
  }
  int status = 0;
  while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t got;
  while ((got = read(failed[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  close(failed[0]);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || got == sizeof error) {
    problem = cannot + std::strerror(got == sizeof error ? error : ECHILD);
    return false;
  }
  return true;
}

int EnvironmentNumber(const char* name, int low, int high, int fallback,
                      std::vector<std::string>& problems) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  const char* end = text + std::strlen(text);
  int value = 0;
  const auto [stop, error] = std::from_chars(text, end, value);
  if (error == std::errc() && stop == end && value >= low && value <= high) return value;
  problems.push_back(std::string(name) + "=" + text + " is no number from " + std::to_string(low) +
                     " to " + std::to_string(high) + "; using " + std::to_string(fallback));
  return fallback;
}

}  // namespace

ServiceStart StartSharedService(const std::filesystem::path& program, int port,
                                const std::string& upstream, int idleExitSeconds,
                                std::string& problem) {
  // The service would refuse it and exit with nothing but its usage on a stream nobody reads.
  if (!upstream.empty() && upstream != "none" && upstream != "auto" && upstream != "open-meteo") {
    problem =
        "$CIRRODEX_SERVICE_UPSTREAM is \"" + upstream + "\"; it takes none, auto or open-meteo";
    return ServiceStart::Failed;
  }
  ServiceStart outcome;
  const int listener = ListenOnLoopback(port, outcome, problem);
  if (listener < 0) return outcome;
  std::vector<std::string> args = {program.string(), "--idle-exit",
                                   std::to_string(idleExitSeconds)};
  if (!upstream.empty()) args.insert(args.end(), {"--upstream", upstream});
  const bool spawned = SpawnDetached(std::move(args), ActivationEnvironment(), listener, problem);
  close(listener);  // the service has its own copy
  return spawned ? ServiceStart::Started : ServiceStart::Failed;
}

bool TouchService(int port, int stopFd) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const sockaddr_in address = LoopbackAddress(port);
  static constexpr char kRequest[] =
      "HEAD / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  // On the loopback a connection is refused or accepted at once and the short request fits the
  // socket's buffer; only the answer is waited for, a second at most.
  bool answered =
      connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      send(fd, kRequest, sizeof kRequest - 1, MSG_NOSIGNAL | MSG_DONTWAIT) == sizeof kRequest - 1;
  if (answered) {
    pollfd waits[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    const int ready = poll(waits, stopFd >= 0 ? 2 : 1, 1000);
    char answer[16];
    answered = ready > 0 && (waits[0].revents & POLLIN) != 0 &&
               recv(fd, answer, sizeof answer, MSG_DONTWAIT) > 0;
  }
  close(fd);
  return answered;
}

SharedServiceSettings SharedServiceSettings::FromEnvironment(std::filesystem::path program,
                                                             std::vector<std::string>& problems) {
  SharedServiceSettings settings;
  settings.program = std::move(program);
  const char* port = std::getenv(kServicePortVariable);
  const char* feed = std::getenv("CIRRODEX_FEED_BASE");
  // With only the feed address set, the downloads go to a service the screen does not know.
  if ((port != nullptr && *port != '\0') || feed == nullptr || *feed == '\0') {
    std::string ignored;
    settings.port = ServicePort(&ignored);
    if (!ignored.empty()) problems.push_back(ignored);
  }
  // As systemd's unit has it.
  settings.idleExitSeconds =
      EnvironmentNumber("CIRRODEX_SERVICE_IDLE_EXIT", 1, 86400, 600, problems);
  if (const char* upstream = std::getenv("CIRRODEX_SERVICE_UPSTREAM")) settings.upstream = upstream;
  return settings;
}

SharedService::SharedService(SharedServiceSettings settings) : settings_(std::move(settings)) {}

SharedService::~SharedService() {
  if (checks_.joinable()) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = write(stop_, &one, sizeof one);
    checks_.join();
  }
  if (stop_ >= 0) close(stop_);
}

void SharedService::StartWhereNoneListens() {
  if (settings_.port == 0) return;
  std::string problem;
  if (StartSharedService(settings_.program, settings_.port, settings_.upstream,
                         settings_.idleExitSeconds, problem) == ServiceStart::Failed) {
    std::fprintf(stderr, "today-host: no weather service: %s\n", problem.c_str());
  }
}

int SharedService::CheckIntervalMs() const {
  return std::min(60000, settings_.idleExitSeconds * 1000 / 3);
}

void SharedService::KeepWhileRunning() {
  if (settings_.port == 0 || checks_.joinable()) return;
  stop_ = eventfd(0, EFD_CLOEXEC);
  if (stop_ < 0) return;
  checks_ = std::thread([this] { Keep(); });
}

void SharedService::Keep() {
  // Signals are the screen thread's business (its stop pipe); none interrupts a wait here.
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
  pollfd stop = {stop_, POLLIN, 0};
  while (poll(&stop, 1, CheckIntervalMs()) == 0) {
    if (!TouchService(settings_.port, stop_)) {
      if (poll(&stop, 1, 0) != 0) break;
      StartWhereNoneListens();
    }
  }
}

}  // namespace cirrodex::host
