#include "service/maps/live_maps.h"

#include <algorithm>
#include <cmath>

#include "service/http/http_target.h"
#include "service/maps/map_compositor.h"

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

bool Overloaded(const UpstreamReply& reply) {
  return !reply.reached || reply.status == 429 || reply.status >= 500;
}

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

LiveMaps::LiveMaps(MapSources sources, std::unique_ptr<UpstreamClient> client, MapClock& clock,
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

bool LiveMaps::Paused(SourcePause& pause, std::string& error) {
  std::lock_guard lock(pause.mutex);
  if (clock_.Monotonic() >= pause.until) return false;
  error = pause.why;
  return true;
}

void LiveMaps::PauseSource(SourcePause& pause, const std::string& why) {
  std::lock_guard lock(pause.mutex);
  pause.until = clock_.Monotonic() + kSourcePauseSeconds;
  pause.why = why;
}

void LiveMaps::Stop() {
  radarGate_.Cancel();
  imageryGate_.Cancel();
}

int LiveMaps::RetryAfterSeconds(int queued) const {
  const double minutes =
      static_cast<double>(std::max(1, queued)) * kRadarRequestsPerPicture / sources_.radarPerMinute;
  return std::clamp(static_cast<int>(std::ceil(minutes * 60)), 1, 600);
}

LivePicture LiveMaps::Picture(MapKind kind, const Location& location) {
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
    NoteOutcome(kind, true, {});
    return picture;
  }
  NoteOutcome(kind, false, error);
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

void LiveMaps::NoteOutcome(MapKind kind, bool live, const std::string& error) {
  std::string line;
  {
    std::lock_guard lock(stateMutex_);
    State& state = state_[kind == MapKind::Radar ? 0 : 1];
    const State next = live ? State::Live : State::Failing;
    if (state == next) return;
    if (live) {
      line = state == State::Failing ? std::string(KindName(kind)) + " pictures are live again"
                                     : std::string(KindName(kind)) + " pictures are live";
    } else {
      line = std::string(KindName(kind)) + " pictures fail (" + error +
             "); serving the last good picture of an area up to 3 hours old, then SAMPLE";
    }
    state = next;
  }
  if (note_) note_(line);
}

LivePicture LiveMaps::Sample(MapKind kind, std::time_t now) {
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

bool LiveMaps::MakeRadar(const Location& location, std::time_t now, LivePicture& picture,
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

bool LiveMaps::MakeSatellite(const Location& location, std::time_t now, LivePicture& picture,
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

std::shared_ptr<const RgbPicture> LiveMaps::Imagery(const ImageryLayers& layers,
                                                    const PictureBox& box, std::string& error) {
  char where[64];
  std::snprintf(where, sizeof where, " %.1f %.1f", box.left, box.top);
  const std::string key = layers.layers + " " + layers.time + where;
  if (auto cached = imagery_.Find(key)) return cached;
  auto canvas = std::make_shared<RgbPicture>(BlankPicture(box.width, box.height, 8, 10, 16));
  for (const BoxPiece& piece : PiecesInWorld(box)) {
    if (Paused(imageryPause_, error)) return nullptr;
    if (!imageryGate_.Take(kMaxTurnWaitSeconds)) {
      error = "the imagery source's request budget is spent";
      return nullptr;
    }
    const UpstreamReply reply = client_->Get(GetMapUrl(sources_.imageryUrl, layers, piece));
    if (Overloaded(reply)) {
      PauseSource(imageryPause_,
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

std::shared_ptr<const RgbaPicture> LiveMaps::Tile(const RadarIndex& index, const RadarFrame& frame,
                                                  int x, int y, std::string& error) {
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
  if (Paused(radarPause_, error)) {
    // The source failed a moment ago; the kept picture serves.
  } else if (!radarGate_.Take(kMaxTurnWaitSeconds)) {
    error = "the radar source's request budget is spent";
  } else {
    const UpstreamReply reply = client_->Get(RadarTileUrl(index, frame, kMapZoom, x, y));
    auto decoded = std::make_shared<RgbaPicture>();
    if (Overloaded(reply)) {
      PauseSource(radarPause_, reply.reached
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
