// weather-service: see ServiceUsage() for what it answers.
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

#include "service/server.h"

namespace {

std::filesystem::path DefaultRegions() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "citycodes";
  return self.parent_path().parent_path() / "share" / "cirrodex" / "citycodes";
}

#ifndef CIRRODEX_VERSION
#define CIRRODEX_VERSION "0"
#endif

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

bool ReadCount(const char* text, long low, long high, int& value) {
  char* end = nullptr;
  const long number = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || number < low || number > high) return false;
  value = static_cast<int>(number);
  return true;
}

int Usage(const char* problem) {
  std::fprintf(stderr, "weather-service: %s\n%s", problem,
               cirrodex::service::ServiceUsage().c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  cirrodex::service::ServiceOptions options;
  options.regionsDir = DefaultRegions();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::fputs(cirrodex::service::ServiceUsage().c_str(), stdout);
      return 0;
    } else if (arg == "--version") {
      std::printf("weather-service %s\n", CIRRODEX_VERSION);
      return 0;
    } else if (arg == "--log") {
      options.logRequests = true;
    } else if (arg == "--faults") {
      options.faults = true;
    } else if (arg == "--idle-exit" && hasValue) {
      if (!ReadCount(argv[++i], 0, 86400 * 365, options.idleExitSeconds)) {
        return Usage("--idle-exit takes a number of seconds");
      }
    } else if (arg == "--request-deadline" && hasValue) {
      if (!ReadCount(argv[++i], 1, 3600000, options.requestDeadlineMs)) {
        return Usage("--request-deadline takes a number of milliseconds from 1");
      }
    } else if (arg == "--max-connections" && hasValue) {
      if (!ReadCount(argv[++i], 1, 1000000, options.maxConnections)) {
        return Usage("--max-connections takes a number from 1");
      }
    } else if (arg == "--port" && hasValue) {
      char* end = nullptr;
      const long port = std::strtol(argv[++i], &end, 10);
      if (*argv[i] == '\0' || *end != '\0' || port < 0 || port > 65535) {
        return Usage("--port takes a number from 0 to 65535");
      }
      options.port = static_cast<int>(port);
    } else if (arg == "--data" && hasValue) {
      options.dataDir = argv[++i];
    } else if (arg == "--regions" && hasValue) {
      options.regionsDir = argv[++i];
    } else if (arg == "--upstream" && hasValue) {
      if (!cirrodex::service::ReadUpstream(argv[++i], options.upstream)) {
        return Usage("--upstream takes none, auto or open-meteo");
      }
    } else if (arg == "--upstream-url" && hasValue) {
      options.upstreamUrl = argv[++i];
      if (!options.upstreamUrl.starts_with("http://") &&
          !options.upstreamUrl.starts_with("https://")) {
        return Usage("--upstream-url takes an http:// or https:// URL");
      }
    } else {
      return Usage(("unknown or incomplete argument: " + arg).c_str());
    }
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
