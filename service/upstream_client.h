// The service's one way out to the network: a GET of an http:// or https:// URL. libcurl stays in
// curl_upstream.cpp.
#pragma once

#include <memory>
#include <string>

namespace cirrodex::service {

struct UpstreamReply {
  bool reached = false;  // a whole HTTP answer arrived; false: name, connection, TLS or time-out
  long status = 0;       // the HTTP status when reached
  std::string body;
  std::string retryAfter;  // the value of a Retry-After header; empty: none
  std::string error;       // what went wrong when not reached
};

class UpstreamClient {
 public:
  virtual ~UpstreamClient() = default;
  // Fetches `url`. Never throws; safe to call from several threads at once.
  virtual UpstreamReply Get(const std::string& url) = 0;
};

struct UpstreamLimits {
  long connectMs = 10000;
  long totalMs = 20000;
  size_t maxBody = 1 << 20;  // a longer answer counts as not reached
};

// "Cirrodex-weather-service/VERSION (...)": what the API's operators see.
std::string UpstreamUserAgent();

// A client over libcurl that follows no redirects and speaks only HTTP and HTTPS.
std::unique_ptr<UpstreamClient> MakeCurlUpstreamClient(UpstreamLimits limits = {});

}  // namespace cirrodex::service
