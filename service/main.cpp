// weather-service: reads its options, sets up the process (signals, descriptors, a socket handed
// over by systemd) and runs the server; see ServiceUsage() for what it answers.
#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "service/http/server.h"

namespace {

std::filesystem::path DefaultRegions() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "citycodes";
  return self.parent_path().parent_path() / "share" / "cirrodex" / "citycodes";
}

// The first descriptor systemd hands over (sd_listen_fds); -1 when none is meant for us.
int ActivatedSocket() {
  const char* pid = std::getenv("LISTEN_PID");
  const char* fds = std::getenv("LISTEN_FDS");
  const bool ours =
      pid != nullptr && fds != nullptr && std::atol(pid) == getpid() && std::atoi(fds) >= 1;
  // Not passed on to anything this process might start.
  unsetenv("LISTEN_PID");
  unsetenv("LISTEN_FDS");
  unsetenv("LISTEN_FDNAMES");
  if (!ours) return -1;
  constexpr int kFirst = 3;
  fcntl(kFirst, F_SETFD, FD_CLOEXEC);
  return kFirst;
}

}  // namespace

int main(int argc, char** argv) {
  cirrodex::service::ServiceOptions options;
  options.regionsDir = DefaultRegions();
  const auto commandLine = cirrodex::service::ReadCommandLine(argc, argv, options);
  switch (commandLine.action) {
    case cirrodex::service::CommandLine::Action::Print:
      std::fputs(commandLine.text.c_str(), stdout);
      return 0;
    case cirrodex::service::CommandLine::Action::Refuse:
      std::fprintf(stderr, "weather-service: %s\n%s", commandLine.text.c_str(),
                   cirrodex::service::ServiceUsage().c_str());
      return 2;
    case cirrodex::service::CommandLine::Action::Serve:
      break;
  }

  // The signals are taken by one thread that stops the server; no handler runs in between.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  options.listenFd = ActivatedSocket();
  // Every connection is a descriptor: allow as many as the system lets this process have.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }

  cirrodex::service::WeatherService service(options);
  if (service.LocationCount() == 0) {
    std::fprintf(stderr, "weather-service: no region files in %s; only --data feeds are served\n",
                 options.regionsDir.c_str());
  }
  std::string error;
  const int port = service.Bind(error);
  if (port < 0) {
    std::fprintf(stderr, "weather-service: %s\n", error.c_str());
    return 1;
  }

  std::thread stopper([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    service.Stop();  // also when it comes before the server loop has started
  });

  std::printf("listening on http://127.0.0.1:%d\n", port);
  std::printf("%s\n", cirrodex::service::ModeLine(options).c_str());
  std::fflush(stdout);
  const bool ok = service.Serve();
  std::fflush(stdout);
  std::fflush(stderr);
  // Open connections and upstream requests under way hold nothing worth saving; waiting for a
  // slow forecast API would keep a stopped service alive for its whole time-out.
  std::_Exit(ok ? 0 : 1);
}
