// weather-service: see ServiceUsage() for what it answers.
#include <pthread.h>

#include <atomic>
#include <chrono>
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
    } else if (arg == "--log") {
      options.logRequests = true;
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

  std::atomic<bool> serving{true};
  std::thread stopper([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    // Repeated, in case the signal came before the server loop had started.
    while (serving) {
      service.Stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });

  std::printf("listening on http://127.0.0.1:%d\n", port);
  std::printf("%s\n", cirrodex::service::ModeLine(options).c_str());
  std::fflush(stdout);
  const bool ok = service.Serve();
  serving = false;
  pthread_kill(stopper.native_handle(), SIGTERM);  // wakes the waiting thread when nothing came
  stopper.join();
  return ok ? 0 : 1;
}
