// The local weather service: the feed host and the map host that the system's constant URLs
// name, on 127.0.0.1 only. Started with `faults`, it misbehaves on request so that every failure
// path of a download can be driven end to end.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace cirrodex::service {

// Where the feeds of the shipped cities come from.
enum class Upstream {
  None,       // made-up weather only; the network is never touched
  Auto,       // live weather when the forecast API answers, made-up weather otherwise
  OpenMeteo,  // live weather only; 503 when there is none to serve
};

struct ServiceOptions {
  int port = 8611;                   // 0: any free port
  std::filesystem::path dataDir;     // feeds/CODE.txt and maps/NAME.jpg override; empty: none
  std::filesystem::path regionsDir;  // the region files of city codes
  bool logRequests = false;          // one line per request on stderr
  Upstream upstream = Upstream::Auto;
  std::string upstreamUrl;  // the forecast API; empty: the public Open-Meteo address
  bool faults = false;      // the misbehaviour query parameters work; off, they are ignored
  int listenFd = -1;        // a listening socket to adopt instead of binding `port`
  // A request line and its headers must arrive whole within this, or the connection is closed.
  int requestDeadlineMs = 10000;
  int maxConnections = 4096;  // one more is accepted and closed at once
  int idleExitSeconds = 0;    // stop after this long without a request; 0: never
};

// "none", "auto" or "open-meteo"; false for any other text.
bool ReadUpstream(const std::string& text, Upstream& upstream);

// The line the service prints to say which weather it serves.
std::string ModeLine(const ServiceOptions& options);

// What `--help` prints.
std::string ServiceUsage();

class WeatherService {
 public:
  explicit WeatherService(ServiceOptions options);
  ~WeatherService();
  WeatherService(const WeatherService&) = delete;
  WeatherService& operator=(const WeatherService&) = delete;

  // Locations known from the region files.
  size_t LocationCount() const;
  // Binds and listens on 127.0.0.1, or adopts `listenFd`; returns the port, or -1 (the reason in
  // `error`).
  int Bind(std::string& error);
  // Answers requests until Stop(); false when it could not run.
  bool Serve();
  // Ends Serve(), dropping every open connection. Safe from any thread. Upstream requests under
  // way are not waited for by Serve(), only by the destructor.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace cirrodex::service
