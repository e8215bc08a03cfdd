#include <curl/curl.h>

#include <memory>
#include <mutex>

#include "service/upstream_client.h"

#ifndef CIRRODEX_VERSION
#define CIRRODEX_VERSION "0"
#endif

namespace cirrodex::service {

namespace {

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;

struct Sink {
  std::string* body;
  size_t limit;
  bool tooLong = false;
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const size_t bytes = size * count;
  if (sink->body->size() + bytes > sink->limit) {
    sink->tooLong = true;
    return 0;  // ends the transfer
  }
  sink->body->append(data, bytes);
  return bytes;
}

class CurlUpstreamClient : public UpstreamClient {
 public:
  explicit CurlUpstreamClient(UpstreamLimits limits) : limits_(limits) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  }

  UpstreamReply Get(const std::string& url) override {
    UpstreamReply reply;
    Easy easy(curl_easy_init());
    if (!easy) {
      reply.error = "the HTTP client could not start";
      return reply;
    }
    CURL* h = easy.get();
    char error[CURL_ERROR_SIZE] = {};
    Sink sink{&reply.body, limits_.maxBody};
    const std::string agent = UpstreamUserAgent();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);  // time-outs without signals, from any thread
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, limits_.connectMs);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limits_.totalMs);
    curl_easy_setopt(h, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");  // whatever this libcurl can decode
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);

    const CURLcode code = curl_easy_perform(h);
    if (sink.tooLong) {
      reply.error = "the answer is longer than " + std::to_string(limits_.maxBody) + " bytes";
      reply.body.clear();
      return reply;
    }
    if (code != CURLE_OK) {
      reply.error = error[0] != '\0' ? error : curl_easy_strerror(code);
      reply.body.clear();
      return reply;
    }
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &reply.status);
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
