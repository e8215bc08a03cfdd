#include <algorithm>
#include <cctype>

#include "service/upstream_client.h"
#include "update/curl_get.h"

#ifndef CIRRODEX_VERSION
#define CIRRODEX_VERSION "0"
#endif

namespace cirrodex::service {

namespace {

// One request: the body is collected up to the limit; a longer one ends the transfer.
class Collect : public CurlGet {
 public:
  Collect(std::string& body, size_t limit) : body_(body), limit_(limit) {}
  bool tooLong() const { return tooLong_; }
  const std::string& retryAfter() const { return retryAfter_; }

 private:
  bool OnHeaderLine(std::string_view line) override {
    constexpr std::string_view kName = "retry-after:";
    if (line.starts_with("HTTP/")) retryAfter_.clear();  // a new answer's headers begin
    if (line.size() < kName.size() ||
        !std::equal(kName.begin(), kName.end(), line.begin(), [](char a, char b) {
          return a == std::tolower(static_cast<unsigned char>(b));
        })) {
      return true;
    }
    std::string_view value = line.substr(kName.size());
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
      value.remove_prefix(1);
    while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) {
      value.remove_suffix(1);
    }
    retryAfter_.assign(value.substr(0, 64));
    return true;
  }

  bool OnBody(std::string_view data) override {
    if (body_.size() + data.size() > limit_) {
      tooLong_ = true;
      return false;
    }
    body_.append(data);
    return true;
  }

  std::string& body_;
  size_t limit_;
  bool tooLong_ = false;
  std::string retryAfter_;
};

class CurlUpstreamClient : public UpstreamClient {
 public:
  explicit CurlUpstreamClient(UpstreamLimits limits) : limits_(limits) {}

  UpstreamReply Get(const std::string& url) override {
    UpstreamReply reply;
    CurlRequest request;
    request.url = url;
    request.protocols = "http,https";
    request.userAgent = UpstreamUserAgent();
    request.anyEncoding = true;
    request.connectTimeoutMs = limits_.connectMs;
    request.totalTimeoutMs = limits_.totalMs;
    Collect collect(reply.body, limits_.maxBody);
    const CurlOutcome outcome = collect.Run(request);
    if (collect.tooLong()) {
      reply.error = "the answer is longer than " + std::to_string(limits_.maxBody) + " bytes";
      reply.body.clear();
      return reply;
    }
    if (outcome != CurlOutcome::Done) {
      reply.error = collect.error();
      reply.body.clear();
      return reply;
    }
    reply.status = collect.Status();
    reply.retryAfter = collect.retryAfter();
    reply.reached = true;
    return reply;
  }

 private:
  UpstreamLimits limits_;
};

}  // namespace

std::string UpstreamUserAgent() {
  return "Cirrodex-weather-service/" CIRRODEX_VERSION
         " (Cirrodex local weather feed gateway; one request per city per 15 minutes)";
}

std::unique_ptr<UpstreamClient> MakeCurlUpstreamClient(UpstreamLimits limits) {
  return std::make_unique<CurlUpstreamClient>(limits);
}

}  // namespace cirrodex::service
