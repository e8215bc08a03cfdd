#include "service/server.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <optional>

#include "service/feed_source.h"
#include "service/live_feed.h"
#include "service/locations.h"
#include "service/map_maker.h"
#include "service/open_meteo.h"
#include "service/upstream_client.h"

namespace cirrodex::service {

namespace {

constexpr char kFeedPath[] = "/m/chnk/d/weather_d_src.asp";
constexpr char kRadarPath[] = "/weather/live/brradar1.jpg";
constexpr char kSatellitePath[] = "/weather/live/brsat1.jpg";
constexpr size_t kMaxCodeLength = 16;
constexpr long kMaxDelaySeconds = 3600;
constexpr long kMaxBodySize = 16 * 1024 * 1024;
constexpr size_t kPiece = 1024;

// Lets every deliberate wait end at once when the service stops.
class Stopper {
 public:
  // False when the service stopped before `duration` passed.
  bool Wait(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, duration, [this] { return stopped_; });
  }
  void Stop() {
    {
      std::lock_guard lock(mutex_);
      stopped_ = true;
    }
    changed_.notify_all();
  }
  bool Stopped() {
    std::lock_guard lock(mutex_);
    return stopped_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopped_ = false;
};

// The misbehaviour a request asks for with its query parameters.
struct Misbehaviour {
  std::optional<int> status;
  std::optional<std::string> redirect;  // empty: a redirect status without "Location"
  std::optional<long> size;
  bool binary = false;
  bool notJpeg = false;
  long stallSeconds = 0;
  long stallBodySeconds = 0;
  long slowMs = 0;
  std::optional<long> truncateAt;
};

std::optional<long> NumberParam(const httplib::Request& request, const char* name, long low,
                                long high) {
  if (!request.has_param(name)) return std::nullopt;
  const std::string text = request.get_param_value(name);
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0') return std::nullopt;
  return std::clamp(value, low, high);
}

Misbehaviour ReadMisbehaviour(const httplib::Request& request) {
  Misbehaviour m;
  if (auto status = NumberParam(request, "status", 200, 599)) m.status = static_cast<int>(*status);
  if (request.has_param("redirect")) m.redirect = request.get_param_value("redirect");
  m.size = NumberParam(request, "size", 0, kMaxBodySize);
  m.binary = request.get_param_value("binary") == "1";
  m.notJpeg = request.get_param_value("notjpeg") == "1";
  m.stallSeconds = NumberParam(request, "stall", 0, kMaxDelaySeconds).value_or(0);
  m.stallBodySeconds = NumberParam(request, "stallbody", 0, kMaxDelaySeconds).value_or(0);
  m.slowMs = NumberParam(request, "slow", 0, kMaxDelaySeconds * 1000).value_or(0);
  m.truncateAt = NumberParam(request, "truncate", 0, kMaxBodySize);
  return m;
}

std::string Pattern(long size, bool binary) {
  std::string body(static_cast<size_t>(size), '\0');
  for (size_t i = 0; i < body.size(); ++i) {
    body[i] = binary ? static_cast<char>(i % 256) : static_cast<char>('A' + i % 26);
  }
  return body;
}

bool IsCityCode(const std::string& code) {
  return !code.empty() && code.size() <= kMaxCodeLength &&
         std::all_of(code.begin(), code.end(),
                     [](unsigned char c) { return std::isalnum(c) != 0; });
}

// Notes of the live source go to stdout beside the mode line, whole lines at a time.
void PrintNote(const std::string& line) {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::optional<std::string> ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

bool ReadUpstream(const std::string& text, Upstream& upstream) {
  if (text == "none") {
    upstream = Upstream::None;
  } else if (text == "auto") {
    upstream = Upstream::Auto;
  } else if (text == "open-meteo") {
    upstream = Upstream::OpenMeteo;
  } else {
    return false;
  }
  return true;
}

namespace {

std::string UpstreamUrlOf(const ServiceOptions& options) {
  return options.upstreamUrl.empty() ? std::string(kOpenMeteoUrl) : options.upstreamUrl;
}

}  // namespace

std::string ModeLine(const ServiceOptions& options) {
  switch (options.upstream) {
    case Upstream::None:
      return "mode none: sample weather only (city names end in \" (sample)\"); no network";
    case Upstream::Auto:
      return "mode auto: live weather from " + UpstreamUrlOf(options) +
             ", sample weather (city names end in \" (sample)\") while it cannot be reached";
    case Upstream::OpenMeteo:
      return "mode open-meteo: live weather from " + UpstreamUrlOf(options) +
             " only; 503 while it cannot be reached and no answer of the last 24 hours is kept";
  }
  return "";
}

std::string ServiceUsage() {
  return R"usage(Usage: weather-service [--port N] [--data DIR] [--regions DIR]
                       [--upstream none|auto|open-meteo] [--upstream-url URL] [--log] [--help]

The feed host and map host of Cirrodex, on 127.0.0.1 only.

  --port N       port to listen on (default 8611; 0 picks a free port)
  --data DIR     DIR/feeds/CODE.txt is sent as it is for that city code;
                 DIR/maps/brradar1.jpg and DIR/maps/brsat1.jpg replace the made-up maps
  --regions DIR  region files of city codes (default: share/cirrodex/citycodes beside bin/)
  --upstream M   where the weather of the region files' cities comes from:
                   auto        live weather from the Open-Meteo forecast API when it answers,
                               else made-up weather (the default)
                   open-meteo  live weather only; 503 when there is none
                   none        made-up weather only; never touches the network
  --upstream-url URL
                 the forecast API (default https://api.open-meteo.com/v1/forecast)
  --log          one line per request on stderr
  --help         this text

Once it accepts connections it prints "listening on http://127.0.0.1:PORT", then one line
saying which weather it serves, and later a line whenever live weather fails or comes back.
Live weather is asked at most once per city per 15 minutes; when the API cannot be reached,
the last good answer of the last 24 hours is served as it was (with its own update time).
Made-up weather is marked: its city name ends in " (sample)". SIGINT or SIGTERM stop it.

Paths:
  GET /m/chnk/d/weather_d_src.asp?acid=CODE
      the feed of CODE: DIR/feeds/CODE.txt when present, else live or made-up weather (by
      --upstream) for every code of the region files; 503 when open-meteo has none; else 404
  GET /weather/live/brradar1.jpg, GET /weather/live/brsat1.jpg
      400 x 300 JPEG map pictures; any other path: 404

Misbehaviour on request, with query parameters on any path (they combine):
  status=N       answer with status N (200-599) and a short text body instead
  redirect=URL   answer 302 (or the 3xx given with status=) with "Location: URL"
  redirect=      the same redirect status without any "Location" header
  size=N         replace the body by N bytes "ABC...Z" repeated (size=0: empty body)
  binary=1       with size=N: byte i is i modulo 256 (bytes above 127 included)
  notjpeg=1      send a text body (still labelled image/jpeg) instead of the document
  stall=S        wait S seconds before answering at all
  stallbody=S    send the headers and the first half of the body, then wait S seconds
  slow=MS        send the body in 1024-byte pieces, MS milliseconds apart
  truncate=N     announce the whole body but close the connection after N bytes
Example: /m/chnk/d/weather_d_src.asp?acid=UKXX0085&size=70000&binary=1
)usage";
}

struct WeatherService::Impl {
  ServiceOptions options;
  LocationIndex locations;
  FeedSources feeds;
  httplib::Server server;
  Stopper stopper;
  std::atomic<bool> bound{false};

  void Answer(const httplib::Request& request, httplib::Response& response);
  // The document of the path: status, body and content type.
  void Document(const httplib::Request& request, httplib::Response& response, std::string& body,
                std::string& type);
  void Send(httplib::Response& response, std::string body, const std::string& type,
            const Misbehaviour& m);
};

void WeatherService::Impl::Answer(const httplib::Request& request, httplib::Response& response) {
  const Misbehaviour m = ReadMisbehaviour(request);
  if (m.stallSeconds > 0 && !stopper.Wait(std::chrono::seconds(m.stallSeconds))) {
    response.status = 503;
    return;
  }
  if (m.redirect) {
    const int status = m.status && *m.status >= 300 && *m.status < 400 ? *m.status : 302;
    response.status = status;
    if (!m.redirect->empty()) response.set_header("Location", *m.redirect);
    response.set_content("redirected\n", "text/plain");
    return;
  }
  if (m.status && *m.status != 200) {
    response.status = *m.status;
    response.set_content("status " + std::to_string(*m.status) + " on request\n", "text/plain");
    return;
  }

  std::string body;
  std::string type = "text/plain";
  Document(request, response, body, type);
  if (response.status == 200) {
    if (m.size) body = Pattern(*m.size, m.binary);
    if (m.notJpeg) body = "This is not a JPEG picture.\n";
  }
  Send(response, std::move(body), type, m);
}

void WeatherService::Impl::Document(const httplib::Request& request, httplib::Response& response,
                                    std::string& body, std::string& type) {
  const std::time_t now = std::time(nullptr);
  response.status = 200;
  if (request.path == kFeedPath) {
    const std::string code = request.get_param_value("acid");
    FeedAnswer feed;
    if (IsCityCode(code)) feed = feeds.Feed(code, now);
    if (feed.status == FeedAnswer::Status::Served) {
      body = std::move(feed.document);
      return;
    }
    if (feed.status == FeedAnswer::Status::Unavailable) {
      response.status = 503;
      body = "live weather is unavailable\n";
      return;
    }
    response.status = 404;
    body = "unknown city code\n";
    return;
  }
  if (request.path == kRadarPath || request.path == kSatellitePath) {
    const bool radar = request.path == kRadarPath;
    std::optional<std::string> picture;
    if (!options.dataDir.empty()) {
      picture = ReadFile(options.dataDir / "maps" / (radar ? "brradar1.jpg" : "brsat1.jpg"));
    }
    if (!picture) {
      std::string made = MakeSampleMap(radar ? MapKind::Radar : MapKind::Satellite, now);
      if (!made.empty()) picture = std::move(made);
    }
    if (picture) {
      body = std::move(*picture);
      type = "image/jpeg";
      return;
    }
    response.status = 500;
    body = "the map picture could not be made\n";
    return;
  }
  response.status = 404;
  body = "not found\n";
}

void WeatherService::Impl::Send(httplib::Response& response, std::string body,
                                const std::string& type, const Misbehaviour& m) {
  const bool paced = m.stallBodySeconds > 0 || m.slowMs > 0 || m.truncateAt;
  if (!paced) {
    response.set_content(body, type);
    return;
  }
  auto shared = std::make_shared<std::string>(std::move(body));
  const size_t size = shared->size();
  response.set_content_provider(
      size, type,
      [this, shared, m, stalled = false](size_t offset, size_t, httplib::DataSink& sink) mutable {
        if (m.truncateAt && offset >= static_cast<size_t>(*m.truncateAt)) return false;
        size_t end = std::min(shared->size(), offset + kPiece);
        if (m.stallBodySeconds > 0 && !stalled) {
          const size_t half = shared->size() / 2;
          if (offset >= half) {
            stalled = true;
            // Keep the connection open, but notice a client that hung up.
            for (long waited = 0; waited < m.stallBodySeconds * 10; ++waited) {
              if (!stopper.Wait(std::chrono::milliseconds(100))) return false;
              if (!sink.is_writable()) return false;
            }
          } else {
            end = std::min(end, half);
          }
        }
        if (m.truncateAt) end = std::min(end, static_cast<size_t>(*m.truncateAt));
        if (end > offset && !sink.write(shared->data() + offset, end - offset)) return false;
        if (m.slowMs > 0 && end < shared->size() &&
            !stopper.Wait(std::chrono::milliseconds(m.slowMs))) {
          return false;
        }
        return true;
      });
}

WeatherService::WeatherService(ServiceOptions options) : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  impl_->locations.LoadFolder(impl_->options.regionsDir);
  if (!impl_->options.dataDir.empty()) {
    impl_->feeds.Add(std::make_unique<FileFeedSource>(impl_->options.dataDir / "feeds"));
  }
  const ServiceOptions& o = impl_->options;
  if (o.upstream != Upstream::None) {
    const bool fallBack = o.upstream == Upstream::Auto;
    UpstreamLimits limits;
    // With made-up weather to fall back on, an offline machine should not keep a download
    // waiting long for a name server or a connection that will never answer.
    if (fallBack) limits.connectMs = 5000;
    impl_->feeds.Add(std::make_unique<LiveFeedSource>(
        impl_->locations, UpstreamUrlOf(o), MakeCurlUpstreamClient(limits),
        fallBack ? WhenNoLiveWeather::AskTheNextSource : WhenNoLiveWeather::Unavailable,
        PrintNote));
  }
  if (o.upstream != Upstream::OpenMeteo) {
    impl_->feeds.Add(std::make_unique<SampleFeedSource>(impl_->locations));
  }

  Impl* impl = impl_.get();
  impl->server.set_keep_alive_timeout(2);
  // Headers and body go out in separate writes; without this a reused connection waits for the
  // client's delayed acknowledgement between them.
  impl->server.set_tcp_nodelay(true);
  // The library's default adds SO_REUSEPORT, which would let a second service share the port
  // and take half of the requests.
  impl->server.set_socket_options([](int sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  impl->server.Get(".*", [impl](const httplib::Request& request, httplib::Response& response) {
    impl->Answer(request, response);
  });
  if (impl->options.logRequests) {
    impl->server.set_logger([](const httplib::Request& request, const httplib::Response& response) {
      std::fprintf(stderr, "%s %s -> %d\n", request.method.c_str(), request.target.c_str(),
                   response.status);
    });
  }
}

WeatherService::~WeatherService() { Stop(); }

size_t WeatherService::LocationCount() const { return impl_->locations.size(); }

int WeatherService::Bind(std::string& error) {
  int port = impl_->options.port;
  if (port < 0 || port > 65535) {
    error = "port " + std::to_string(port) + " is out of range";
    return -1;
  }
  if (port == 0) {
    port = impl_->server.bind_to_any_port("127.0.0.1");
  } else if (!impl_->server.bind_to_port("127.0.0.1", port)) {
    port = -1;
  }
  if (port < 0) {
    error = "cannot listen on 127.0.0.1:" + std::to_string(impl_->options.port) +
            " (is another service running there?)";
    return -1;
  }
  impl_->bound = true;
  return port;
}

bool WeatherService::Serve() {
  if (!impl_->bound || impl_->stopper.Stopped()) return false;
  return impl_->server.listen_after_bind();
}

void WeatherService::Stop() {
  impl_->stopper.Stop();
  impl_->server.stop();
}

}  // namespace cirrodex::service
