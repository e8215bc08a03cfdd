// How the weather service is started: its options, the command line that sets them, and the
// texts that describe them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "service/address.h"

namespace cirrodex::service {

// Where the feeds of the shipped cities come from.
enum class Upstream {
  None,       // made-up weather only; the network is never touched
  Auto,       // live weather when the forecast API answers, made-up weather otherwise
  OpenMeteo,  // live weather only; 503 when there is none to serve
};

struct ServiceOptions {
  int port = kDefaultServicePort;    // 0: any free port
  std::filesystem::path dataDir;     // feeds/CODE.txt and maps/NAME.jpg override; empty: none
  std::filesystem::path regionsDir;  // the region files of city codes
  bool logRequests = false;          // one line per request on stderr
  Upstream upstream = Upstream::Auto;
  std::string upstreamUrl;  // the forecast API; empty: the public Open-Meteo address
  std::string radarUrl;     // the radar index; empty: RainViewer's public one
  std::string imageryUrl;   // the imagery WMS; empty: NASA GIBS
  bool faults = false;      // the misbehaviour query parameters work; off, they are ignored
  int listenFd = -1;        // a listening socket to adopt instead of binding `port`
  // A request line and its headers must arrive whole within this, or the connection is closed.
  int requestDeadlineMs = 10000;
  int maxConnections = 4096;  // one more is accepted and closed at once
  int idleExitSeconds = 0;    // stop after this long without a request; 0: never
  // Host names answered besides 127.0.0.1, localhost and [::1] (a cache in front, say).
  std::vector<std::string> allowedHosts;
};

// "none", "auto" or "open-meteo"; false for any other text.
bool ReadUpstream(const std::string& text, Upstream& upstream);

// The forecast API the options name.
std::string UpstreamUrlOf(const ServiceOptions& options);

// The line the service prints to say which weather it serves.
std::string ModeLine(const ServiceOptions& options);

// What `--help` prints.
std::string ServiceUsage();

// What a command line asks the program to do.
struct CommandLine {
  enum class Action {
    Serve,   // the options are set
    Print,   // print `text` on stdout and exit with 0 (--help, --version)
    Refuse,  // `text` says what is wrong with an argument; exit with 2
  };
  Action action = Action::Serve;
  std::string text;
};

// Reads the arguments after the program name into `options`, over what it holds already.
CommandLine ReadCommandLine(int argc, const char* const* argv, ServiceOptions& options);

}  // namespace cirrodex::service
