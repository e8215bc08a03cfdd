#include "service/maps/live_maps.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <map>
#include <mutex>

#include "service/http/http_target.h"
#include "service/maps/lru_cache.h"
#include "service/maps/map_compositor.h"
#include "service/source_health.h"

namespace cirrodex::service {

namespace {

// How long a request may wait for its turn under a source's rate before the picture gives up
// and the kept one serves.
constexpr double kMaxTurnWaitSeconds = 90;
// The radar tile server answers larger tiles on request; anything bigger is refused unread.
constexpr int kMaxTileSide = 512;
constexpr std::time_t kRadarFrameStep = 10 * 60;
// After a source could not be reached (or answered a server error or "too many requests"), no
// picture asks it again for this long, so that an offline machine waits for a time-out once
// rather than once per picture.
constexpr double kSourcePauseSeconds = 60;

const char* KindName(MapKind kind) { return kind == MapKind::Radar ? "radar" : "satellite"; }

std::string FrameTimeText(std::time_t t, bool dateOnly) {
  return UtcText(t, dateOnly ? "%Y-%m-%d" : "%Y-%m-%d %H:%M UTC");
}

// The city's marker and the credit line on `canvas`, then the JPEG into `picture`; false with
// `error` when it cannot be encoded.
bool Finish(RgbPicture& canvas, std::string credit, const char* kind, LivePicture& picture,
            std::string& error) {
  DrawMarker(canvas, kMapWidth / 2, kMapHeight / 2);
  DrawCredit(canvas, credit);
  picture.credit = std::move(credit);
  picture.jpeg = EncodeMapJpeg(canvas);
  if (picture.jpeg.empty()) error = std::string("the ") + kind + " picture could not be encoded";
  return !picture.jpeg.empty();
}

size_t PictureBytes(const RgbPicture& p) { return p.pixels.size() + 64; }

}  // namespace

class LiveMaps::Impl {
 public:
  Impl(MapSources sources, std::unique_ptr<UpstreamClient> client, MapClock& clock,
       std::function<void(const std::string&)> note);
  LivePicture Picture(MapKind kind, const Location& location);
  void Stop();
  int RetryAfterSeconds(int queued) const;

 private:
  struct Kept {
    std::string jpeg;
    std::time_t frameTime = 0;
    std::time_t madeAt = 0;  // the age of the picture counts from this
    std::string credit;
  };
  // Makes a live picture, or says why not in `error`.
  bool MakeRadar(const Location& location, std::time_t now, LivePicture& picture,
                 std::string& error);
  bool MakeSatellite(const Location& location, std::time_t now, LivePicture& picture,
                     std::string& error);
  // The imagery of `layers` over the whole box (out-of-world parts dark), from the cache or the
  // source.
  std::shared_ptr<const RgbPicture> Imagery(const ImageryLayers& layers, const PictureBox& box,
                                            std::string& error);
  std::shared_ptr<const RgbaPicture> Tile(const RadarIndex& index, const RadarFrame& frame, int x,
                                          int y, std::string& error);
  LivePicture Sample(MapKind kind, std::time_t now);
  void NoteOutcome(MapKind kind, const std::string& error);
  // True, with `error` set to why, while the source is paused.
  bool Paused(const SourceHealth& source, std::string& error) const;
  void PauseSource(SourceHealth& source, const std::string& why);

  const MapSources sources_;
  const std::unique_ptr<UpstreamClient> client_;
  MapClock& clock_;
  const std::function<void(const std::string&)> note_;
  RateGate radarGate_;
  RateGate imageryGate_;
  RadarIndexSource radarIndex_;
  LruCache<RgbaPicture> tiles_;
  LruCache<RgbPicture> imagery_;
  LruCache<LivePicture> pictures_;  // by kind, code and frame time
  LruCache<Kept> kept_;             // by kind and code: the last good picture
  SourceHealth radarSource_;
  SourceHealth imagerySource_;
  SourceHealth pictureHealth_[2];  // by kind: live or failing, for the notes

  // Tiles being fetched: a second picture needing one waits for the first request.
  std::mutex tilesInFlightMutex_;
  std::map<std::string, std::shared_future<std::shared_ptr<const RgbaPicture>>> tilesInFlight_;
};

LiveMaps::LiveMaps(MapSources sources, std::unique_ptr<UpstreamClient> client, MapClock& clock,
                   std::function<void(const std::string&)> note)
    : impl_(std::make_unique<Impl>(std::move(sources), std::move(client), clock, std::move(note))) {
}

LiveMaps::~LiveMaps() = default;

LivePicture LiveMaps::Picture(MapKind kind, const Location& location) {
  return impl_->Picture(kind, location);
}

void LiveMaps::Stop() { impl_->Stop(); }

int LiveMaps::RetryAfterSeconds(int queued) const { return impl_->RetryAfterSeconds(queued); }

LiveMaps::Impl::Impl(MapSources sources, std::unique_ptr<UpstreamClient> client, MapClock& clock,
                     std::function<void(const std::string&)> note)
    : sources_(std::move(sources)),
      client_(std::move(client)),
      clock_(clock),
      note_(std::move(note)),
      radarGate_(sources_.radarPerMinute, clock),
      imageryGate_(sources_.imageryPerMinute, clock),
      radarIndex_(sources_.radarIndexUrl, *client_, radarGate_),
      tiles_(sources_.tileCacheBytes),
      imagery_(sources_.imageryCacheBytes),
      pictures_(sources_.pictureCacheBytes),
      kept_(sources_.keptPictureBytes) {}

bool LiveMaps::Impl::Paused(const SourceHealth& source, std::string& error) const {
  return source.Paused(clock_.Monotonic(), &error);
}

void LiveMaps::Impl::PauseSource(SourceHealth& source, const std::string& why) {
  const double now = clock_.Monotonic();
  source.PauseUntil(now, now + kSourcePauseSeconds, why);
}

void LiveMaps::Impl::Stop() {
  radarGate_.Cancel();
  imageryGate_.Cancel();
}

int LiveMaps::Impl::RetryAfterSeconds(int queued) const {
  const double minutes =
      static_cast<double>(std::max(1, queued)) * kRadarRequestsPerPicture / sources_.radarPerMinute;
  return std::clamp(static_cast<int>(std::ceil(minutes * 60)), 1, 600);
}

LivePicture LiveMaps::Impl::Picture(MapKind kind, const Location& location) {
  const std::time_t now = clock_.Now();
  if (!sources_.live) return Sample(kind, now);
  const std::string area = std::string(KindName(kind)) + " " + location.code;
  LivePicture picture;
  std::string error;
  const bool made = kind == MapKind::Radar ? MakeRadar(location, now, picture, error)
                                           : MakeSatellite(location, now, picture, error);
  if (made) {
    auto kept = std::make_shared<Kept>();
    kept->jpeg = picture.jpeg;
    kept->frameTime = picture.frameTime;
    kept->madeAt = picture.ageFrom;
    kept->credit = picture.credit;
    kept_.Put(area, kept, kept->jpeg.size() + 128);
    NoteOutcome(kind, {});
    return picture;
  }
  NoteOutcome(kind, error.empty() ? "no picture" : error);
  if (auto kept = kept_.Find(area); kept && now - kept->madeAt <= kKeptPictureLifetime &&
                                    now >= kept->madeAt - kKeptPictureLifetime) {
    LivePicture old;
    old.jpeg = kept->jpeg;
    old.frameTime = kept->frameTime;
    old.credit = kept->credit;
    // Asked again soon: the sources may be back.
    old.freshUntil = now + 60;
    return old;
  }
  return Sample(kind, now);
}

void LiveMaps::Impl::NoteOutcome(MapKind kind, const std::string& error) {
  const std::string name = KindName(kind);
  switch (pictureHealth_[kind == MapKind::Radar ? 0 : 1].Record(error)) {
    case SourceHealth::Change::None:
      return;
    case SourceHealth::Change::Live:
      if (note_) note_(name + " pictures are live");
      return;
    case SourceHealth::Change::LiveAgain:
      if (note_) note_(name + " pictures are live again");
      return;
    case SourceHealth::Change::Failing:
      if (note_) {
        note_(name + " pictures fail (" + error +
              "); serving the last good picture of an area up to 3 hours old, then SAMPLE");
      }
      return;
  }
}

LivePicture LiveMaps::Impl::Sample(MapKind kind, std::time_t now) {
  LivePicture picture;
  picture.sample = true;
  picture.frameTime = now - now % 3600;
  picture.credit = "SAMPLE PICTURE, NOT REAL WEATHER";
  picture.jpeg = MakeSampleMap(kind, now);
  // With sources, asked again soon in case they are back; without, the picture lasts the hour.
  picture.freshUntil =
      sources_.live ? std::min(picture.frameTime + 3600, now + 300) : picture.frameTime + 3600;
  return picture;
}

bool LiveMaps::Impl::MakeRadar(const Location& location, std::time_t now, LivePicture& picture,
                               std::string& error) {
  // While the index cannot be read again, the pictures of the frame last known count as failing:
  // the kept ones show it, and their age says how old it is.
  const auto index = radarIndex_.Current(now, kKeptPictureLifetime, error);
  if (!index || !error.empty()) return false;
  const RadarFrame& frame = index->Latest();
  const std::string key = "radar " + location.code + " " + std::to_string(frame.time);
  if (auto cached = pictures_.Find(key)) {
    picture = *cached;
    return true;
  }
  const PictureBox box =
      BoxAround({location.latitude, location.longitude}, kMapZoom, kMapWidth, kMapHeight);
  std::map<std::pair<int, int>, std::shared_ptr<const RgbaPicture>> tiles;
  for (const auto& [x, y] : TilesOf(box)) {
    auto tile = Tile(*index, frame, x, y, error);
    if (!tile) return false;
    tiles[{x, y}] = std::move(tile);
  }
  auto base = Imagery(BaseMapLayers(), box, error);
  if (!base) return false;
  RgbPicture canvas = *base;
  LayTiles(canvas, box, [&tiles](int x, int y) -> const RgbaPicture* {
    const auto found = tiles.find({x, y});
    return found == tiles.end() ? nullptr : found->second.get();
  });
  if (!Finish(canvas, "RAINVIEWER.COM + NASA GIBS  " + FrameTimeText(frame.time, false), "radar",
              picture, error)) {
    return false;
  }
  picture.frameTime = frame.time;
  picture.ageFrom = frame.time;
  picture.sample = false;
  // The next frame is due one step after this one; the index is read again after that.
  picture.freshUntil =
      std::max(now + 60, std::min(frame.time + kRadarFrameStep + 60, now + kRadarIndexInterval));
  pictures_.Put(key, std::make_shared<LivePicture>(picture), picture.jpeg.size() + 256);
  return true;
}

bool LiveMaps::Impl::MakeSatellite(const Location& location, std::time_t now, LivePicture& picture,
                                   std::string& error) {
  const ImageryLayers layers = SatelliteLayers(location.longitude, now);
  const std::string key = "satellite " + location.code + " " + layers.layers + " " + layers.time;
  if (auto cached = pictures_.Find(key)) {
    picture = *cached;
    return true;
  }
  const PictureBox box =
      BoxAround({location.latitude, location.longitude}, kMapZoom, kMapWidth, kMapHeight);
  auto imagery = Imagery(layers, box, error);
  if (!imagery) return false;
  RgbPicture canvas = *imagery;
  if (!Finish(canvas, "NASA GIBS  " + FrameTimeText(layers.frameTime, layers.daily), "satellite",
              picture, error)) {
    return false;
  }
  picture.frameTime = layers.frameTime;
  // A day's mosaic is a day old when it appears; its age counts from when it was fetched.
  picture.ageFrom = layers.daily ? now : layers.frameTime;
  picture.sample = false;
  picture.freshUntil = now + (layers.daily ? 3600 : 600);
  pictures_.Put(key, std::make_shared<LivePicture>(picture), picture.jpeg.size() + 256);
  return true;
}

std::shared_ptr<const RgbPicture> LiveMaps::Impl::Imagery(const ImageryLayers& layers,
                                                          const PictureBox& box,
                                                          std::string& error) {
  char where[64];
  std::snprintf(where, sizeof where, " %.1f %.1f", box.left, box.top);
  const std::string key = layers.layers + " " + layers.time + where;
  if (auto cached = imagery_.Find(key)) return cached;
  auto canvas = std::make_shared<RgbPicture>(BlankPicture(box.width, box.height, 8, 10, 16));
  for (const BoxPiece& piece : PiecesInWorld(box)) {
    if (Paused(imagerySource_, error)) return nullptr;
    if (!imageryGate_.Take(kMaxTurnWaitSeconds)) {
      error = "the imagery source's request budget is spent";
      return nullptr;
    }
    const UpstreamReply reply = client_->Get(GetMapUrl(sources_.imageryUrl, layers, piece));
    if (Overloaded(reply)) {
      PauseSource(imagerySource_,
                  reply.reached
                      ? "the imagery service answered status " + std::to_string(reply.status)
                      : "the imagery service cannot be reached: " + reply.error);
    }
    if (!reply.reached) {
      error = "the imagery service cannot be reached: " + reply.error;
      return nullptr;
    }
    if (reply.status != 200) {
      error = "the imagery service answered status " + std::to_string(reply.status);
      return nullptr;
    }
    RgbPicture part;
    if (!ReadGetMapAnswer(reply.body, piece.width, piece.height, part, error)) return nullptr;
    Paste(*canvas, part, piece.column, piece.row);
  }
  imagery_.Put(key, canvas, PictureBytes(*canvas));
  return canvas;
}

std::shared_ptr<const RgbaPicture> LiveMaps::Impl::Tile(const RadarIndex& index,
                                                        const RadarFrame& frame, int x, int y,
                                                        std::string& error) {
  const std::string key = frame.path + " " + std::to_string(frame.time) + " " +
                          std::to_string(kMapZoom) + "/" + std::to_string(x) + "/" +
                          std::to_string(y);
  if (auto cached = tiles_.Find(key)) return cached;
  std::promise<std::shared_ptr<const RgbaPicture>> promise;
  {
    std::unique_lock lock(tilesInFlightMutex_);
    const auto found = tilesInFlight_.find(key);
    if (found != tilesInFlight_.end()) {
      auto future = found->second;
      lock.unlock();
      auto tile = future.get();
      if (!tile) error = "a radar tile could not be fetched";
      return tile;
    }
    tilesInFlight_.emplace(key, promise.get_future().share());
  }
  std::shared_ptr<const RgbaPicture> tile;
  if (Paused(radarSource_, error)) {
    // The source failed a moment ago; the kept picture serves.
  } else if (!radarGate_.Take(kMaxTurnWaitSeconds)) {
    error = "the radar source's request budget is spent";
  } else {
    const UpstreamReply reply = client_->Get(RadarTileUrl(index, frame, kMapZoom, x, y));
    auto decoded = std::make_shared<RgbaPicture>();
    if (Overloaded(reply)) {
      PauseSource(radarSource_, reply.reached
                                    ? "a radar tile answered status " + std::to_string(reply.status)
                                    : "the radar tiles cannot be reached: " + reply.error);
    }
    if (!reply.reached) {
      error = "the radar tiles cannot be reached: " + reply.error;
    } else if (reply.status != 200) {
      error = "a radar tile answered status " + std::to_string(reply.status);
    } else if (!DecodePng(reply.body.data(), reply.body.size(), kMaxTileSide, *decoded, error)) {
      error = "a radar tile is unreadable: " + error;
    } else {
      tiles_.Put(key, decoded, decoded->pixels.size() + 64);
      tile = std::move(decoded);
    }
  }
  {
    std::lock_guard lock(tilesInFlightMutex_);
    tilesInFlight_.erase(key);
  }
  promise.set_value(tile);
  return tile;
}

}  // namespace cirrodex::service
