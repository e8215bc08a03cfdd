// The weather service of the Today screen's own install, for systems where nothing provides one
// (no systemd user session: containers, other init systems). One service serves every screen and
// download: it is nobody's child, outlives the screen that started it, and exits by itself once
// no request came for its idle time.
#pragma once

#include <netinet/in.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace cirrodex::host {

// 127.0.0.1:`port`.
sockaddr_in LoopbackAddress(int port);

// Whether something accepts connections on 127.0.0.1:`port` (a socket systemd listens on counts).
bool SomethingListens(int port);

// Runs `program` with `argument` and waits up to `waitMs` for it (then kills it). True when it
// ended by itself with status 0.
bool RunToEnd(const std::filesystem::path& program, const std::string& argument, int waitMs);

enum class ServiceStart {
  AlreadyThere,  // something else holds the port: a service another screen started, or systemd's
  Started,
  Failed,
};

// Makes sure a weather service listens on 127.0.0.1:`port`. The port is the arbiter: this process
// binds and listens on it and hands the socket to `program` as systemd's socket activation would
// (with --idle-exit `idleExitSeconds`, and --upstream `upstream` when not empty), so of screens
// started together exactly one starts a service and the others find the port taken. Connections
// wait in the socket's queue until the service takes them, so nobody waits for it to come up.
// The service runs in a session of its own and is not this process's child. Failed: `problem`
// (also for an `upstream` the service would refuse, before anything is started).
ServiceStart StartSharedService(const std::filesystem::path& program, int port,
                                const std::string& upstream, int idleExitSeconds,
                                std::string& problem);

// One request to the service on `port` (HEAD /), so that its idle time starts over while this
// screen runs. False when nothing answered within a second, or as soon as `stopFd` (when not -1)
// becomes readable.
bool TouchService(int port, int stopFd = -1);

// How a screen shares the service: where it listens and how it is started.
struct SharedServiceSettings {
  int port = 0;  // 0: the service is none of the screen's business
  int idleExitSeconds = 600;
  std::string upstream;  // the service's --upstream; empty: its default
  std::filesystem::path program;

  // From $CIRRODEX_SERVICE_PORT (else 8611, or 0 when $CIRRODEX_FEED_BASE sends the downloads
  // elsewhere), $CIRRODEX_SERVICE_IDLE_EXIT and $CIRRODEX_SERVICE_UPSTREAM. A value that cannot
  // be used is said in `problems`, one line each, and its default taken.
  static SharedServiceSettings FromEnvironment(std::filesystem::path program,
                                               std::vector<std::string>& problems);
};

// The screen's side of the shared service: start one where none listens, and while the screen
// runs, one request well within each idle time on a thread of its own, starting the service again
// when it went (killed, or idle before this screen started). A service that accepts and never
// answers costs the screen's thread nothing; the checks end at once with this object.
class SharedService {
 public:
  explicit SharedService(SharedServiceSettings settings);
  ~SharedService();
  SharedService(const SharedService&) = delete;
  SharedService& operator=(const SharedService&) = delete;

  // Starts the service unless something listens on its port; a failure is said on stderr.
  void StartWhereNoneListens();
  // Starts the checks; they run until this object goes.
  void KeepWhileRunning();
  // The time between two checks.
  int CheckIntervalMs() const;

 private:
  void Keep();

  const SharedServiceSettings settings_;
  int stop_ = -1;  // an eventfd, readable once the checks are to end
  std::thread checks_;
};

}  // namespace cirrodex::host
