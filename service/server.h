// The local weather service: the feed host and the map host that the system's constant URLs
// name, on 127.0.0.1 only, able to misbehave on request so that every failure path of a download
// can be driven end to end.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace cirrodex::service {

struct ServiceOptions {
  int port = 8611;                   // 0: any free port
  std::filesystem::path dataDir;     // feeds/CODE.txt and maps/NAME.jpg override; empty: none
  std::filesystem::path regionsDir;  // the region files of city codes
  bool logRequests = false;          // one line per request on stderr
};

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
  // Binds and listens on 127.0.0.1; returns the port, or -1 (the reason in `error`).
  int Bind(std::string& error);
  // Answers requests until Stop(); false when it could not run.
  bool Serve();
  // Ends Serve() and cuts every deliberate stall short. Safe from any thread.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace cirrodex::service
