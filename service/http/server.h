// The local weather service: the feed host and the map host that the system's constant URLs
// name, on 127.0.0.1 only. Started with `faults`, it misbehaves on request so that every failure
// path of a download can be driven end to end.
#pragma once

#include <memory>
#include <string>

#include "service/service_options.h"

namespace cirrodex::service {

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
  // Ends Serve() gracefully: no more connections are accepted (those already queued are served),
  // connections waiting with no request are closed, and the answers under way finish for up to
  // a second before whatever is left is dropped. Safe from any thread, also before Serve().
  // Upstream requests under way are not waited for by Serve(), only by the destructor.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace cirrodex::service
