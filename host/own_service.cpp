#include "host/own_service.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>
#include <thread>
#include <vector>

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

ServiceStart StartSharedService(const std::filesystem::path& program, int port,
                                const std::string& upstream, int idleExitSeconds,
                                std::string& problem) {
  // The service would refuse it and exit with nothing but its usage on a stream nobody reads.
  if (!upstream.empty() && upstream != "none" && upstream != "auto" && upstream != "open-meteo") {
    problem =
        "$CIRRODEX_SERVICE_UPSTREAM is \"" + upstream + "\"; it takes none, auto or open-meteo";
    return ServiceStart::Failed;
  }
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) {
    problem = std::string("no socket: ") + std::strerror(errno);
    return ServiceStart::Failed;
  }
  // Address reuse lets a port that a stopped service left in TIME_WAIT be taken again; two
  // sockets bound at once still cannot both listen, so bind and listen together decide.
  const int one = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, SOMAXCONN) != 0) {
    const int error = errno;
    close(listener);
    if (error == EADDRINUSE) return ServiceStart::AlreadyThere;
    problem = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(error);
    return ServiceStart::Failed;
  }

  // Everything the child needs is made before the fork: between fork and exec only
  // async-signal-safe calls, since other threads may hold the allocator's lock.
  std::vector<std::string> args = {program.string(), "--idle-exit",
                                   std::to_string(idleExitSeconds)};
  if (!upstream.empty()) args.insert(args.end(), {"--upstream", upstream});
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (!std::string_view(*e).starts_with("LISTEN_")) env.emplace_back(*e);
  }
  env.emplace_back("LISTEN_FDS=1");
  std::string listenPid = "LISTEN_PID=" + std::string(20, '\0');
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(listenPid.data());
  envp.push_back(nullptr);
  const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  int failed[2] = {-1, -1};  // the errno of a failed exec; closed unread when it succeeded
  if (null < 0 || pipe2(failed, O_CLOEXEC) != 0) {
    problem = std::string("cannot start ") + program.string() + ": " + std::strerror(errno);
    if (null >= 0) close(null);
    close(listener);
    return ServiceStart::Failed;
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
    char* digits = listenPid.data() + std::strlen("LISTEN_PID=");
    char reversed[20];
    int count = 0;
    for (pid_t pid = getpid(); pid > 0 && count < 20; pid /= 10) {
      reversed[count++] = static_cast<char>('0' + pid % 10);
    }
    for (int i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
    digits[count] = '\0';
    execve(argv[0], argv.data(), envp.data());
    const int error = errno;
    [[maybe_unused]] ssize_t ignored = write(report, &error, sizeof error);
    _exit(127);
  }
  close(failed[1]);
  close(null);
  close(listener);  // the service has its own copy
  if (middle < 0) {
    close(failed[0]);
    problem = std::string("cannot start ") + program.string() + ": " + std::strerror(errno);
    return ServiceStart::Failed;
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
    problem = "cannot start " + program.string() + ": " +
              std::strerror(got == sizeof error ? error : ECHILD);
    return ServiceStart::Failed;
  }
  return ServiceStart::Started;
}

bool TouchService(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  // On the loopback the service answers at once; a stuck one costs the screen at most a second.
  timeval limit{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  static constexpr char kRequest[] =
      "HEAD / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  char answer[16];
  const bool answered =
      connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      send(fd, kRequest, sizeof kRequest - 1, MSG_NOSIGNAL) == sizeof kRequest - 1 &&
      recv(fd, answer, sizeof answer, 0) > 0;
  close(fd);
  return answered;
}

}  // namespace cirrodex::host
