// One thread serves every socket (Boost.Beast on Boost.Asio, one coroutine per connection), so a
// slow or idle client costs a socket and a few kilobytes, never a thread. Whatever may block for
// long (the forecast API) runs on a small worker pool and hands its answer back to that thread.
#include "service/server.h"

#include <sys/socket.h>

#include <algorithm>
#include <utility>  // Boost 1.74's awaitable.hpp uses std::exchange without including it
// clang-format off
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
// clang-format on
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
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

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;
using net::awaitable;
using net::use_awaitable;

constexpr char kFeedPath[] = "/m/chnk/d/weather_d_src.asp";
constexpr char kRadarPath[] = "/weather/live/brradar1.jpg";
constexpr char kSatellitePath[] = "/weather/live/brsat1.jpg";
constexpr size_t kMaxCodeLength = 16;
constexpr long kMaxDelaySeconds = 3600;
constexpr long kMaxBodySize = 16 * 1024 * 1024;
constexpr size_t kPiece = 1024;
// Request line and headers together; a longer head is refused.
constexpr size_t kHeadLimit = 8 * 1024;
// A GET carries no body; this much is read and dropped rather than refused.
constexpr size_t kRequestBodyLimit = 8 * 1024;
// A client that does not take an answer within this is dropped.
constexpr auto kWriteDeadline = std::chrono::seconds(30);
// How long a city's weather is fresh: the live source asks the API at most this often.
constexpr std::time_t kFreshness = 15 * 60;
// Workers for the forecast API: each city asks on at most one at a time, so this many slow
// cities at once are needed before a cached city waits.
constexpr int kWorkers = 16;

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

  bool ChangesBody() const { return size || notJpeg; }
  bool Paced() const { return stallBodySeconds > 0 || slowMs > 0 || truncateAt; }
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Decode(std::string_view text, bool plusIsSpace) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else if (c == '+' && plusIsSpace) {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

// A request target split into its decoded path and query parameters (the first of a name wins).
struct Target {
  std::string path;
  std::map<std::string, std::string> params;

  explicit Target(std::string_view target) {
    const size_t question = target.find('?');
    path = Decode(target.substr(0, question), false);
    if (question == std::string_view::npos) return;
    std::string_view query = target.substr(question + 1);
    while (!query.empty()) {
      const size_t amp = query.find('&');
      const std::string_view pair = query.substr(0, amp);
      const size_t equals = pair.find('=');
      std::string name = Decode(pair.substr(0, equals), true);
      std::string value =
          equals == std::string_view::npos ? "" : Decode(pair.substr(equals + 1), true);
      if (!name.empty()) params.emplace(std::move(name), std::move(value));
      if (amp == std::string_view::npos) break;
      query.remove_prefix(amp + 1);
    }
  }
  bool Has(const char* name) const { return params.count(name) != 0; }
  std::string Param(const char* name) const {
    const auto found = params.find(name);
    return found == params.end() ? "" : found->second;
  }
};

std::optional<long> NumberParam(const Target& target, const char* name, long low, long high) {
  if (!target.Has(name)) return std::nullopt;
  const std::string text = target.Param(name);
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0') return std::nullopt;
  return std::clamp(value, low, high);
}

Misbehaviour ReadMisbehaviour(const Target& target) {
  Misbehaviour m;
  if (auto status = NumberParam(target, "status", 200, 599)) m.status = static_cast<int>(*status);
  if (target.Has("redirect")) m.redirect = target.Param("redirect");
  m.size = NumberParam(target, "size", 0, kMaxBodySize);
  m.binary = target.Param("binary") == "1";
  m.notJpeg = target.Param("notjpeg") == "1";
  m.stallSeconds = NumberParam(target, "stall", 0, kMaxDelaySeconds).value_or(0);
  m.stallBodySeconds = NumberParam(target, "stallbody", 0, kMaxDelaySeconds).value_or(0);
  m.slowMs = NumberParam(target, "slow", 0, kMaxDelaySeconds * 1000).value_or(0);
  m.truncateAt = NumberParam(target, "truncate", 0, kMaxBodySize);
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

std::string HttpDate(std::time_t t) {
  std::tm gmt{};
  gmtime_r(&t, &gmt);
  char text[40];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &gmt);
  return text;
}

std::optional<std::time_t> ReadHttpDate(const std::string& text) {
  std::tm gmt{};
  const char* end = strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &gmt);
  if (end == nullptr || *end != '\0') return std::nullopt;
  return timegm(&gmt);
}

// Made-up weather of the start of the current quarter hour, so that one city's document stays
// the same (and can be cached and validated) for as long as it is fresh.
class QuarterHourSampleSource : public FeedSource {
 public:
  explicit QuarterHourSampleSource(const LocationIndex& locations) : sample_(locations) {}
  FeedAnswer Feed(const std::string& code, std::time_t now) override {
    return sample_.Feed(code, now - now % kFreshness);
  }

 private:
  SampleFeedSource sample_;
};

// What the service answers to one request, before it is written.
struct Reply {
  int status = 200;
  std::string body;
  std::string type = "text/plain";
  std::string location;  // for a redirect; sent when `hasLocation`
  bool hasLocation = false;
  bool cacheable = false;  // carries validators and a freshness lifetime
  std::string etag;
  std::time_t since = 0;       // Last-Modified
  std::time_t freshUntil = 0;  // max-age counts down to this
};

Reply Text(int status, std::string body) {
  Reply reply;
  reply.status = status;
  reply.body = std::move(body);
  return reply;
}

// A waiting request's continuation, whatever its type.
struct Waiter {
  virtual ~Waiter() = default;
  virtual void Done(const FeedAnswer& answer) = 0;
};
template <class Handler>
struct WaiterOf : Waiter {
  explicit WaiterOf(Handler h) : handler(std::move(h)) {}
  void Done(const FeedAnswer& answer) override { std::move(handler)(answer); }
  Handler handler;
};

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
                       [--upstream none|auto|open-meteo] [--upstream-url URL] [--faults]
                       [--idle-exit SECONDS] [--request-deadline MS] [--max-connections N]
                       [--log] [--help] [--version]

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
  --faults       make the misbehaviour query parameters below work (for tests; without it
                 they are ignored and the document is served as usual)
  --idle-exit SECONDS
                 exit after SECONDS without a request (0, the default: never)
  --request-deadline MS
                 a client must send its request line and headers within MS milliseconds
                 (default 10000), or its connection is closed
  --max-connections N
                 connections open at once (default 4096); one more is closed at once
  --log          one line per request on stderr
  --help         this text
  --version      the version

Once it accepts connections it prints "listening on http://127.0.0.1:PORT", then one line
saying which weather it serves, and later a line whenever live weather fails or comes back.
Live weather is asked at most once per city per 15 minutes; when the API cannot be reached,
the last good answer of the last 24 hours is served as it was (with its own update time).
Made-up weather is marked: its city name ends in " (sample)". SIGINT or SIGTERM stop it.
Started by systemd socket activation (LISTEN_FDS, LISTEN_PID), it serves the socket handed
to it and ignores --port, e.g. systemd-socket-activate -l 127.0.0.1:8611 weather-service.

A request line and headers over 8 KB get 414 or 431 and the connection is closed. Feeds and
maps carry Cache-Control: max-age (what is left of the 15 minutes a city's weather is fresh;
a made-up map: until the hour changes), Last-Modified and ETag; If-None-Match and
If-Modified-Since are answered with 304, so a standard HTTP cache can stand in front.

Paths:
  GET /m/chnk/d/weather_d_src.asp?acid=CODE
      the feed of CODE: DIR/feeds/CODE.txt when present, else live or made-up weather (by
      --upstream) for every code of the region files; 503 when open-meteo has none; else 404
  GET /weather/live/brradar1.jpg, GET /weather/live/brsat1.jpg
      400 x 300 JPEG map pictures; any other path: 404

Misbehaviour on request, only with --faults, by query parameters on any path (they combine):
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
  bool live = false;  // a source may ask the forecast API

  // Touched only on the serving thread.
  int connections = 0;
  std::map<std::string, std::unique_ptr<std::vector<std::unique_ptr<Waiter>>>> pending;
  struct Edition {
    uint64_t fingerprint = 0;
    std::time_t since = 0;
  };
  std::map<std::string, Edition> editions;
  struct SampleMap {
    std::time_t hour = -1;
    std::string jpeg;
  };
  SampleMap sampleMaps[2];
  std::chrono::steady_clock::time_point lastRequest = std::chrono::steady_clock::now();

  net::thread_pool workers{kWorkers};
  net::io_context io{1};
  tcp::acceptor acceptor{io};

  ~Impl() {
    io.stop();
    workers.stop();
    workers.join();
    pending.clear();
  }

  awaitable<void> Accept();
  awaitable<void> Session(tcp::socket socket);
  awaitable<void> WatchIdle();
  // GCC 12 mishandles objects passed by value into coroutines and temporaries in co_await
  // expressions, so answers are filled in through references.
  awaitable<void> Answer(const http::request<http::empty_body>& request, const Target& target,
                         const Misbehaviour& m, Reply& reply);
  awaitable<void> Document(const Target& target, Reply& reply);
  awaitable<FeedAnswer> LiveFeed(const std::string& code);
  void Stamp(const std::string& key, Reply& reply, std::time_t now, std::time_t freshUntil = 0);
  static bool NotModified(const http::request<http::empty_body>& request, const Reply& reply);
  awaitable<bool> Write(beast::tcp_stream& stream, const Reply& reply, bool head, bool keepAlive,
                        const Misbehaviour& m);
};

awaitable<void> WeatherService::Impl::Accept() {
  net::steady_timer pause(io);
  for (;;) {
    beast::error_code ec;
    tcp::socket socket = co_await acceptor.async_accept(net::redirect_error(use_awaitable, ec));
    if (ec) {
      if (!acceptor.is_open() || ec == net::error::operation_aborted) co_return;
      // Out of descriptors or memory: let the open connections finish before trying again.
      pause.expires_after(std::chrono::milliseconds(50));
      co_await pause.async_wait(net::redirect_error(use_awaitable, ec));
      continue;
    }
    if (connections >= options.maxConnections) {
      socket.close(ec);
      continue;
    }
    ++connections;
    net::co_spawn(io, Session(std::move(socket)), net::detached);
  }
}

awaitable<void> WeatherService::Impl::WatchIdle() {
  const auto idle = std::chrono::seconds(options.idleExitSeconds);
  net::steady_timer timer(io);
  for (;;) {
    timer.expires_at(lastRequest + idle);
    beast::error_code ec;
    co_await timer.async_wait(net::redirect_error(use_awaitable, ec));
    if (std::chrono::steady_clock::now() - lastRequest >= idle) {
      io.stop();
      co_return;
    }
  }
}

awaitable<void> WeatherService::Impl::Session(tcp::socket socket) {
  struct Count {
    int& connections;
    ~Count() { --connections; }
  } count{connections};
  beast::error_code ec;
  socket.set_option(tcp::no_delay(true), ec);
  beast::tcp_stream stream(std::move(socket));
  beast::flat_buffer buffer(kHeadLimit + kRequestBodyLimit);
  const Misbehaviour none;
  Reply refusal;
  try {
    for (;;) {
      http::request_parser<http::empty_body> parser;
      parser.header_limit(kHeadLimit);
      parser.body_limit(kRequestBodyLimit);
      stream.expires_after(std::chrono::milliseconds(options.requestDeadlineMs));
      co_await http::async_read(stream, buffer, parser, net::redirect_error(use_awaitable, ec));
      if (ec == http::error::header_limit || ec == net::error::message_size ||
          ec == http::error::buffer_overflow) {
        // The parser has taken the request line when it holds a target; a line that does not end
        // within the limit is a target too long to read.
        const bool lineEnded = !parser.get().target().empty();
        refusal = lineEnded ? Text(431, "request headers too large\n")
                            : Text(414, "request target too long\n");
        co_await Write(stream, refusal, false, false, none);
        break;
      }
      if (ec == http::error::body_limit || ec == http::error::unexpected_body) {
        refusal = Text(413, "a request body is not accepted here\n");
        co_await Write(stream, refusal, false, false, none);
        break;
      }
      if (ec == http::error::bad_target || ec == http::error::bad_method ||
          ec == http::error::bad_version || ec == http::error::bad_field ||
          ec == http::error::bad_value || ec == http::error::bad_line_ending ||
          ec == http::error::bad_content_length || ec == http::error::bad_transfer_encoding ||
          ec == http::error::bad_chunk || ec == http::error::bad_obs_fold) {
        refusal = Text(400, "bad request\n");
        co_await Write(stream, refusal, false, false, none);
        break;
      }
      if (ec) break;  // gone, or too slow to send its request

      lastRequest = std::chrono::steady_clock::now();
      const http::request<http::empty_body> request = parser.release();
      const Target target(std::string_view(request.target().data(), request.target().size()));
      const bool head = request.method() == http::verb::head;
      Reply reply;
      Misbehaviour m;
      if (request.method() != http::verb::get && !head) {
        reply = Text(405, "only GET and HEAD are answered\n");
      } else {
        if (options.faults) m = ReadMisbehaviour(target);
        co_await Answer(request, target, m, reply);
      }
      if (options.logRequests) {
        std::fprintf(stderr, "%s %s -> %d\n", std::string(request.method_string()).c_str(),
                     std::string(request.target()).c_str(), reply.status);
      }
      const bool keepAlive = request.keep_alive() && !m.truncateAt;
      const bool written = co_await Write(stream, reply, head, keepAlive, m);
      if (!written || !keepAlive) break;
    }
  } catch (const std::exception&) {
    // A failed allocation or write ends this connection only.
  }
  stream.socket().shutdown(tcp::socket::shutdown_send, ec);
}

awaitable<void> WeatherService::Impl::Answer(const http::request<http::empty_body>& request,
                                             const Target& target, const Misbehaviour& m,
                                             Reply& reply) {
  if (m.stallSeconds > 0) {
    net::steady_timer stall(io, std::chrono::seconds(m.stallSeconds));
    co_await stall.async_wait(use_awaitable);
  }
  if (m.redirect) {
    reply = Text(m.status && *m.status >= 300 && *m.status < 400 ? *m.status : 302, "redirected\n");
    reply.hasLocation = !m.redirect->empty();
    reply.location = *m.redirect;
    co_return;
  }
  if (m.status && *m.status != 200) {
    reply = Text(*m.status, "status " + std::to_string(*m.status) + " on request\n");
    co_return;
  }
  co_await Document(target, reply);
  if (reply.status == 200 && m.ChangesBody()) {
    if (m.size) reply.body = Pattern(*m.size, m.binary);
    if (m.notJpeg) reply.body = "This is not a JPEG picture.\n";
    reply.cacheable = false;
  }
  if (reply.cacheable && NotModified(request, reply)) {
    reply.status = 304;
    reply.body.clear();
  }
}

awaitable<FeedAnswer> WeatherService::Impl::LiveFeed(const std::string& code) {
  // Requests for one city share one lookup, so a slow API holds at most one worker per city.
  co_return co_await net::async_initiate<decltype(use_awaitable), void(FeedAnswer)>(
      [this](auto handler, const std::string& code) {
        auto& waiters = pending[code];
        const bool first = !waiters;
        if (first) waiters = std::make_unique<std::vector<std::unique_ptr<Waiter>>>();
        waiters->push_back(std::make_unique<WaiterOf<decltype(handler)>>(std::move(handler)));
        if (!first) return;
        net::post(workers, [this, code] {
          FeedAnswer answer;
          try {
            answer = feeds.Feed(code, std::time(nullptr));
          } catch (const std::exception&) {
            // Out of memory on a worker: this answer fails, the service goes on.
            answer.status = FeedAnswer::Status::Unavailable;
          }
          net::post(io, [this, code, answer = std::move(answer)] {
            auto node = pending.extract(code);
            if (node.empty() || !node.mapped()) return;
            for (auto& waiter : *node.mapped()) waiter->Done(answer);
          });
        });
      },
      use_awaitable, code);
}

awaitable<void> WeatherService::Impl::Document(const Target& target, Reply& reply) {
  const std::time_t now = std::time(nullptr);
  if (target.path == kFeedPath) {
    const std::string code = target.Param("acid");
    FeedAnswer feed;
    if (IsCityCode(code)) {
      if (live) {
        feed = co_await LiveFeed(code);
      } else {
        feed = feeds.Feed(code, now);
      }
    }
    if (feed.status == FeedAnswer::Status::Served) {
      reply = Reply{};
      reply.body = std::move(feed.document);
      Stamp("feed " + code, reply, std::time(nullptr));
    } else if (feed.status == FeedAnswer::Status::Unavailable) {
      reply = Text(503, "live weather is unavailable\n");
    } else {
      reply = Text(404, "unknown city code\n");
    }
    co_return;
  }
  if (target.path == kRadarPath || target.path == kSatellitePath) {
    const bool radar = target.path == kRadarPath;
    reply = Reply{};
    reply.type = "image/jpeg";
    if (!options.dataDir.empty()) {
      if (auto picture =
              ReadFile(options.dataDir / "maps" / (radar ? "brradar1.jpg" : "brsat1.jpg"))) {
        reply.body = std::move(*picture);
        Stamp(target.path, reply, now);
        co_return;
      }
    }
    // The made-up picture changes with the UTC hour: made once an hour, fresh until the next.
    SampleMap& made = sampleMaps[radar ? 0 : 1];
    const std::time_t hour = now - now % 3600;
    if (made.hour != hour || made.jpeg.empty()) {
      const MapKind kind = radar ? MapKind::Radar : MapKind::Satellite;
      std::string jpeg = co_await net::co_spawn(
          workers, [kind, now]() -> awaitable<std::string> { co_return MakeSampleMap(kind, now); },
          use_awaitable);
      made.jpeg = std::move(jpeg);
      made.hour = hour;
    }
    if (made.jpeg.empty()) {
      reply = Text(500, "the map picture could not be made\n");
      co_return;
    }
    reply.body = made.jpeg;
    Stamp(target.path, reply, now, hour + 3600);
    co_return;
  }
  reply = Text(404, "not found\n");
}

void WeatherService::Impl::Stamp(const std::string& key, Reply& reply, std::time_t now,
                                 std::time_t freshUntil) {
  // A document is as old as the first answer that carried it; its fingerprint is the tag.
  const uint64_t fingerprint = Fnv1a(reply.body);
  Edition& edition = editions[key];
  if (edition.since == 0 || edition.fingerprint != fingerprint) edition = {fingerprint, now};
  char tag[24];
  std::snprintf(tag, sizeof tag, "\"%016llx\"", static_cast<unsigned long long>(fingerprint));
  reply.cacheable = true;
  reply.etag = tag;
  reply.since = edition.since;
  reply.freshUntil = freshUntil != 0 ? freshUntil : edition.since + kFreshness;
}

bool WeatherService::Impl::NotModified(const http::request<http::empty_body>& request,
                                       const Reply& reply) {
  const auto match = request.find(http::field::if_none_match);
  if (match != request.end()) {
    // A list of tags, or "*"; a weak tag matches by its opaque part.
    const std::string_view tags(match->value().data(), match->value().size());
    if (tags.find('*') != std::string_view::npos) return true;
    return tags.find(reply.etag) != std::string_view::npos;
  }
  const auto modified = request.find(http::field::if_modified_since);
  if (modified == request.end()) return false;
  const auto since = ReadHttpDate(std::string(modified->value()));
  return since && reply.since <= *since;
}

awaitable<bool> WeatherService::Impl::Write(beast::tcp_stream& stream, const Reply& reply,
                                            bool head, bool keepAlive, const Misbehaviour& m) {
  const std::time_t now = std::time(nullptr);
  http::response<http::empty_body> header{static_cast<http::status>(reply.status), 11};
  header.set(http::field::date, HttpDate(now));
  header.set(http::field::content_type, reply.type);
  if (reply.hasLocation) header.set(http::field::location, reply.location);
  if (reply.cacheable) {
    const std::time_t left = std::max<std::time_t>(0, reply.freshUntil - now);
    header.set(http::field::cache_control, "max-age=" + std::to_string(left));
    header.set(http::field::last_modified, HttpDate(reply.since));
    header.set(http::field::etag, reply.etag);
  }
  if (reply.status != 304) header.content_length(reply.body.size());
  header.keep_alive(keepAlive);

  beast::error_code ec;
  stream.expires_after(kWriteDeadline);
  http::response_serializer<http::empty_body> serializer{header};
  co_await http::async_write_header(stream, serializer, net::redirect_error(use_awaitable, ec));
  if (ec || head || reply.status == 304) co_return !ec;

  const std::string& body = reply.body;
  if (!m.Paced()) {
    co_await net::async_write(stream, net::buffer(body), net::redirect_error(use_awaitable, ec));
    co_return !ec;
  }
  const size_t end =
      m.truncateAt ? std::min(body.size(), static_cast<size_t>(*m.truncateAt)) : body.size();
  const size_t half = body.size() / 2;
  bool stalled = m.stallBodySeconds == 0;
  net::steady_timer pause(io);
  for (size_t offset = 0; offset < end || !stalled;) {
    if (!stalled && offset >= half) {
      stalled = true;
      pause.expires_after(std::chrono::seconds(m.stallBodySeconds));
      co_await pause.async_wait(net::redirect_error(use_awaitable, ec));
      continue;
    }
    size_t next = m.slowMs > 0 ? std::min(end, offset + kPiece) : end;
    if (!stalled) next = std::min(next, half);
    stream.expires_after(kWriteDeadline);
    co_await net::async_write(stream, net::buffer(body.data() + offset, next - offset),
                              net::redirect_error(use_awaitable, ec));
    if (ec) co_return false;
    offset = next;
    if (m.slowMs > 0 && offset < end) {
      pause.expires_after(std::chrono::milliseconds(m.slowMs));
      co_await pause.async_wait(net::redirect_error(use_awaitable, ec));
    }
  }
  co_return true;
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
    impl_->live = true;
  }
  if (o.upstream != Upstream::OpenMeteo) {
    impl_->feeds.Add(std::make_unique<QuarterHourSampleSource>(impl_->locations));
  }
}

WeatherService::~WeatherService() { Stop(); }

size_t WeatherService::LocationCount() const { return impl_->locations.size(); }

int WeatherService::Bind(std::string& error) {
  tcp::acceptor& acceptor = impl_->acceptor;
  beast::error_code ec;
  if (impl_->options.listenFd >= 0) {
    const int fd = impl_->options.listenFd;
    int listening = 0;
    socklen_t size = sizeof listening;
    if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || listening == 0) {
      error = "the socket handed over (descriptor " + std::to_string(fd) + ") is not listening";
      return -1;
    }
    int family = AF_INET;
    size = sizeof family;
    getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &family, &size);
    acceptor.assign(family == AF_INET6 ? tcp::v6() : tcp::v4(), fd, ec);
    const auto local = ec ? tcp::endpoint() : acceptor.local_endpoint(ec);
    if (ec) {
      error = "the socket handed over cannot be used: " + ec.message();
      return -1;
    }
    return local.port();
  }
  const int port = impl_->options.port;
  if (port < 0 || port > 65535) {
    error = "port " + std::to_string(port) + " is out of range";
    return -1;
  }
  // Address reuse only, so that a second service cannot share the port and take half the
  // requests.
  const tcp::endpoint where(net::ip::address_v4::loopback(), static_cast<unsigned short>(port));
  acceptor.open(where.protocol(), ec);
  if (!ec) acceptor.set_option(net::socket_base::reuse_address(true), ec);
  if (!ec) acceptor.bind(where, ec);
  if (!ec) acceptor.listen(net::socket_base::max_listen_connections, ec);
  const auto local = ec ? tcp::endpoint() : acceptor.local_endpoint(ec);
  if (ec) {
    acceptor.close(ec);
    error = "cannot listen on 127.0.0.1:" + std::to_string(port) +
            " (is another service running there?)";
    return -1;
  }
  return local.port();
}

bool WeatherService::Serve() {
  Impl& impl = *impl_;
  if (!impl.acceptor.is_open() || impl.io.stopped()) return false;
  net::co_spawn(impl.io, impl.Accept(), net::detached);
  if (impl.options.idleExitSeconds > 0) net::co_spawn(impl.io, impl.WatchIdle(), net::detached);
  impl.io.run();
  return true;
}

void WeatherService::Stop() { impl_->io.stop(); }

}  // namespace cirrodex::service
