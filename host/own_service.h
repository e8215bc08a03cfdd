// The weather service of the Today screen's own install, for systems where nothing provides one
// (no systemd user session: containers, other init systems). One service serves every screen and
// download: it is nobody's child, outlives the screen that started it, and exits by itself once
// no request came for its idle time.
#pragma once

#include <filesystem>
#include <string>

namespace cirrodex::host {

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
// screen runs. False when nothing answered.
bool TouchService(int port);

}  // namespace cirrodex::host
