// The real weather-service of the build, started for a test on a free port of 127.0.0.1 and
// stopped when the object goes.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/run_program.h"

namespace cirrodex::testing {

class WeatherServiceProcess {
 public:
  // Starts BuildDir()/bin/weather-service --port 0 with `args` and waits (up to 20 s) for its
  // "listening on" line. With `logFile`, it runs with --log and its stderr goes there. Unless
  // `args` hold "--upstream", it runs with "--upstream none", so that no test leaves 127.0.0.1.
  explicit WeatherServiceProcess(std::vector<std::string> args = {},
                                 std::filesystem::path logFile = {});
  ~WeatherServiceProcess();
  WeatherServiceProcess(const WeatherServiceProcess&) = delete;
  WeatherServiceProcess& operator=(const WeatherServiceProcess&) = delete;

  bool running() const { return pid_ > 0 && port_ > 0; }
  int port() const { return port_; }
  // "http://127.0.0.1:PORT" followed by `pathAndQuery`.
  std::string Url(std::string_view pathAndQuery = "") const;
  std::wstring WideUrl(std::string_view pathAndQuery = "") const;
  // The feed URL up to the city code, for $CIRRODEX_FEED_BASE.
  std::string FeedBase() const;

  // Sends `signal` and waits up to `graceMs`; returns the exit status, or -1 when it had to be
  // killed or was not running.
  int Stop(int graceMs = 10000, int signal = SIGTERM);

 private:
  pid_t pid_ = -1;
  int port_ = -1;
};

// A port of 127.0.0.1 on which nothing listens (taken free, then let go).
int UnusedPort();

}  // namespace cirrodex::testing
