// The weather service of the Today screen's own install, for systems where nothing provides one
// (no systemd user session: containers, other init systems).
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace cirrodex::host {

// Whether something accepts connections on 127.0.0.1:`port` (a socket systemd listens on counts).
bool SomethingListens(int port);

// Runs `program` with `argument` and waits up to `waitMs` for it (then kills it). True when it
// ended by itself with status 0.
bool RunToEnd(const std::filesystem::path& program, const std::string& argument, int waitMs);

class OwnWeatherService {
 public:
  OwnWeatherService() = default;
  ~OwnWeatherService() { Stop(); }
  OwnWeatherService(const OwnWeatherService&) = delete;
  OwnWeatherService& operator=(const OwnWeatherService&) = delete;

  // Starts `program` --port `port` (with --upstream `upstream` when not empty) and waits up to
  // `waitMs` until it accepts connections, so the first download of the items finds it. False
  // with `problem` when it could not start or did not come up; it is then stopped.
  bool Start(const std::filesystem::path& program, int port, const std::string& upstream,
             int waitMs, std::string& problem);
  // SIGTERM, then SIGKILL when it has not ended within 3 seconds.
  void Stop();
  bool running() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

}  // namespace cirrodex::host
