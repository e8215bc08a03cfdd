#include "service/documents.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <vector>
// clang-format off
#include <boost/asio.hpp>
#include <boost/asio/thread_pool.hpp>
// clang-format on

#include "platform/whole_file.h"
#include "service/feeds/live_feed.h"
#include "service/feeds/locations.h"
#include "service/http/reply.h"
#include "service/maps/live_maps.h"
#include "service/maps/picture_queue.h"
#include "service/log_line.h"
#include "service/upstream_client.h"

namespace cirrodex::service {

namespace {

namespace net = boost::asio;
using net::awaitable;
using net::use_awaitable;

// Workers for the forecast API: each city asks on at most one at a time, so this many slow
// cities at once are needed before a cached city waits.
constexpr int kWorkers = 16;
// Map pictures are made on a pool of their own, so that the maps' rate limits never hold up a
// feed; at most this many different pictures wait or are made at once.
constexpr int kMapWorkers = 4;
constexpr size_t kMaxPictureJobs = 16;

// Notes of the live source go to stdout beside the mode line, whole lines at a time.
void PrintNote(const std::string& line) {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  std::printf("%s\n", LogSafe(line).c_str());
  std::fflush(stdout);
}

// Made-up weather of the start of the current quarter hour, so that one city's document stays
// the same (and can be cached and validated) for as long as it is fresh.
class QuarterHourSampleSource : public FeedSource {
 public:
  explicit QuarterHourSampleSource(const LocationIndex& locations) : sample_(locations) {}
  FeedAnswer Feed(const std::string& code, std::time_t now) override {
    return sample_.Feed(code, now - now % kFreshness);
  }
  FeedAnswer Hourly(const std::string& code, std::time_t now) override {
    return sample_.Hourly(code, now - now % kFreshness);
  }

 private:
  SampleFeedSource sample_;
};

}  // namespace

class Documents::Impl {
 public:
  Impl(const ServiceOptions& options, net::io_context& io);
  ~Impl();
  size_t LocationCount() const { return locations_.size(); }
  awaitable<void> Feed(const std::string& code, FeedAnswer& answer);
  awaitable<void> Hourly(const std::string& code, FeedAnswer& answer);
  awaitable<void> Map(MapKind kind, const std::string& code, bool legacy, MapPicture& picture);

 private:
  // A waiting request's continuation, whatever its type.
  struct Waiter {
    virtual ~Waiter() = default;
    virtual void Done(const FeedAnswer& answer) = 0;
  };
  template <class Handler>
  struct WaiterOf;
  struct SampleMap {
    std::time_t hour = -1;
    std::string jpeg;
  };

  enum class Document { Feed, Hourly };
  awaitable<FeedAnswer> LiveFeed(const std::string& code, Document document);
  // Nothing when the queue of pictures is full.
  awaitable<std::optional<LivePicture>> LiveMap(MapKind kind, const Location& location);

  std::filesystem::path dataDir_;
  LocationIndex locations_;
  FeedSources feeds_;
  bool live_ = false;  // a source may ask the forecast API
  net::io_context& io_;
  net::thread_pool workers_;
  // Touched only on the serving thread.
  std::map<std::string, std::unique_ptr<std::vector<std::unique_ptr<Waiter>>>> pending_;
  SampleMap sampleMaps_[2];
  std::unique_ptr<LiveMaps> maps_;  // null: made-up maps only
  net::thread_pool mapWorkers_;
  PictureQueue<LivePicture> mapQueue_;  // touched only on the serving thread
};

Documents::Documents(const ServiceOptions& options, net::io_context& io)
    : impl_(std::make_unique<Impl>(options, io)) {}

Documents::~Documents() = default;

size_t Documents::LocationCount() const { return impl_->LocationCount(); }

awaitable<void> Documents::Feed(const std::string& code, FeedAnswer& answer) {
  return impl_->Feed(code, answer);
}

awaitable<void> Documents::Hourly(const std::string& code, FeedAnswer& answer) {
  return impl_->Hourly(code, answer);
}

awaitable<void> Documents::Map(MapKind kind, const std::string& code, bool legacy,
                               MapPicture& picture) {
  return impl_->Map(kind, code, legacy, picture);
}

template <class Handler>
struct Documents::Impl::WaiterOf : Waiter {
  explicit WaiterOf(Handler h) : handler(std::move(h)) {}
  void Done(const FeedAnswer& answer) override { std::move(handler)(answer); }
  Handler handler;
};

Documents::Impl::Impl(const ServiceOptions& options, net::io_context& io)
    : dataDir_(options.dataDir),
      io_(io),
      workers_(kWorkers),
      mapWorkers_(kMapWorkers),
      mapQueue_(kMaxPictureJobs) {
  locations_.LoadFolder(options.regionsDir);
  if (!dataDir_.empty()) feeds_.Add(std::make_unique<FileFeedSource>(dataDir_ / "feeds"));
  if (options.upstream != Upstream::None) {
    const bool fallBack = options.upstream == Upstream::Auto;
    UpstreamLimits limits;
    // With made-up weather to fall back on, an offline machine should not keep a download
    // waiting long for a name server or a connection that will never answer.
    if (fallBack) limits.connectMs = 5000;
    feeds_.Add(std::make_unique<LiveFeedSource>(
        locations_, UpstreamUrlOf(options), MakeCurlUpstreamClient(limits),
        fallBack ? WhenNoLiveWeather::AskTheNextSource : WhenNoLiveWeather::Unavailable,
        PrintNote));
    live_ = true;
    MapSources sources;
    if (!options.radarUrl.empty()) sources.radarIndexUrl = options.radarUrl;
    if (!options.imageryUrl.empty()) sources.imageryUrl = options.imageryUrl;
    maps_ = std::make_unique<LiveMaps>(std::move(sources), MakeCurlUpstreamClient(limits),
                                       SystemMapClock(), PrintNote);
  }
  if (options.upstream != Upstream::OpenMeteo) {
    feeds_.Add(std::make_unique<QuarterHourSampleSource>(locations_));
  }
}

Documents::Impl::~Impl() {
  workers_.stop();
  workers_.join();
  // A picture waiting for its turn under a source's rate would hold the join for a minute.
  if (maps_) maps_->Stop();
  mapWorkers_.stop();
  mapWorkers_.join();
  pending_.clear();
}

awaitable<void> Documents::Impl::Feed(const std::string& code, FeedAnswer& answer) {
  if (live_) {
    answer = co_await LiveFeed(code, Document::Feed);
  } else {
    answer = feeds_.Feed(code, std::time(nullptr));
  }
}

awaitable<void> Documents::Impl::Hourly(const std::string& code, FeedAnswer& answer) {
  if (live_) {
    answer = co_await LiveFeed(code, Document::Hourly);
  } else {
    answer = feeds_.Hourly(code, std::time(nullptr));
  }
}

awaitable<FeedAnswer> Documents::Impl::LiveFeed(const std::string& code, Document document) {
  co_return co_await net::async_initiate<decltype(use_awaitable), void(FeedAnswer)>(
      [this, document](auto handler, const std::string& code) {
        const std::string key = (document == Document::Hourly ? "hourly " : "") + code;
        auto& waiters = pending_[key];
        const bool first = !waiters;
        if (first) waiters = std::make_unique<std::vector<std::unique_ptr<Waiter>>>();
        waiters->push_back(std::make_unique<WaiterOf<decltype(handler)>>(std::move(handler)));
        if (!first) return;
        net::post(workers_, [this, code, key, document] {
          FeedAnswer answer;
          try {
            answer = document == Document::Hourly ? feeds_.Hourly(code, std::time(nullptr))
                                                  : feeds_.Feed(code, std::time(nullptr));
          } catch (const std::exception&) {
            // Out of memory on a worker: this answer fails, the service goes on.
            answer.status = FeedAnswer::Status::Unavailable;
          }
          net::post(io_, [this, key, answer = std::move(answer)] {
            auto node = pending_.extract(key);
            if (node.empty() || !node.mapped()) return;
            for (auto& waiter : *node.mapped()) waiter->Done(answer);
          });
        });
      },
      use_awaitable, code);
}

awaitable<std::optional<LivePicture>> Documents::Impl::LiveMap(MapKind kind,
                                                               const Location& location) {
  co_return co_await net::async_initiate<decltype(use_awaitable), void(std::optional<LivePicture>)>(
      [this](auto handler, MapKind kind, const Location& location) {
        auto shared = std::make_shared<decltype(handler)>(std::move(handler));
        const std::string key = (kind == MapKind::Radar ? "radar " : "satellite ") + location.code;
        const auto admission = mapQueue_.Add(key, [shared](const LivePicture& picture) {
          std::move (*shared)(std::optional<LivePicture>(picture));
        });
        if (admission == PictureQueue<LivePicture>::Admission::Full) {
          net::post(io_, [shared] { std::move (*shared)(std::optional<LivePicture>()); });
          return;
        }
        if (admission != PictureQueue<LivePicture>::Admission::Started) return;
        net::post(mapWorkers_, [this, key, kind, location] {
          LivePicture picture;
          try {
            picture = maps_->Picture(kind, location);
          } catch (const std::exception&) {
            // Out of memory on a worker: this picture fails, the service goes on.
          }
          net::post(io_,
                    [this, key, picture = std::move(picture)] { mapQueue_.Finish(key, picture); });
        });
      },
      use_awaitable, kind, location);
}

awaitable<void> Documents::Impl::Map(MapKind kind, const std::string& code, bool legacy,
                                     MapPicture& picture) {
  const bool radar = kind == MapKind::Radar;
  if (legacy && !dataDir_.empty()) {
    if (auto file = platform::ReadFileIfPresent(
            dataDir_ / "maps" / (radar ? "brradar1.jpg" : "brsat1.jpg"), kDataFileLimit)) {
      picture.jpeg = std::move(*file);
      picture.freshUntil = 0;
      co_return;
    }
  }
  std::optional<Location> location = locations_.Resolve(code);
  // The old fixed names answer even without region files, as they always did.
  if (!location && legacy) location = Location{"London", code, "", 51.51, -0.13, ""};
  if (!location) {
    picture.unknownCode = true;
    co_return;
  }
  if (maps_) {
    const std::optional<LivePicture> live = co_await LiveMap(kind, *location);
    if (!live) {
      picture.busySeconds = maps_->RetryAfterSeconds(static_cast<int>(mapQueue_.Jobs()));
    } else {
      picture.jpeg = live->jpeg;
      picture.freshUntil = live->freshUntil;
    }
    co_return;
  }
  // The made-up picture changes with the UTC hour: made once an hour, fresh until the next.
  const std::time_t now = std::time(nullptr);
  SampleMap& made = sampleMaps_[radar ? 0 : 1];
  const std::time_t hour = now - now % 3600;
  if (made.hour != hour || made.jpeg.empty()) {
    std::string jpeg = co_await net::co_spawn(
        workers_, [kind, now]() -> awaitable<std::string> { co_return MakeSampleMap(kind, now); },
        use_awaitable);
    made.jpeg = std::move(jpeg);
    made.hour = hour;
  }
  picture.jpeg = made.jpeg;
  picture.freshUntil = hour + 3600;
}

}  // namespace cirrodex::service
