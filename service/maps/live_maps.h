// The radar and satellite pictures of any place: 400 x 300 JPEG in Web Mercator at zoom 6,
// centred on the place, made from RainViewer's radar frames over a NASA GIBS base map, and from
// GIBS satellite imagery of exactly the same box. When the sources fail, the last good picture
// of the area serves for up to kKeptPictureLifetime; after that, or with no sources at all, a
// made-up picture with "SAMPLE" written across it.
#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "service/feeds/locations.h"
#include "service/maps/gibs_wms.h"
#include "service/maps/map_maker.h"
#include "service/maps/radar_index.h"
#include "service/maps/rate_gate.h"
#include "service/upstream_client.h"

namespace cirrodex::service {

inline constexpr int kMapZoom = 6;
inline constexpr std::time_t kKeptPictureLifetime = 3 * 3600;
// Published or self-imposed limits per source (docs/MAPS.md).
inline constexpr int kRadarRequestsPerMinute = 100;
inline constexpr int kImageryRequestsPerMinute = 60;
// Upstream requests one cold picture needs at most: radar tiles (up to 3 x 3 at zoom 6 over
// 400 x 300) and two WMS pieces at the antimeridian.
inline constexpr int kRadarRequestsPerPicture = 9;

struct MapSources {
  bool live = true;  // false: made-up pictures only; the network is never touched
  std::string radarIndexUrl = kRainViewerIndexUrl;
  std::string imageryUrl = kGibsWmsUrl;
  int radarPerMinute = kRadarRequestsPerMinute;
  int imageryPerMinute = kImageryRequestsPerMinute;
  // Memory bounds of the caches, in bytes of decoded pixels or JPEG files.
  size_t tileCacheBytes = 24u << 20;
  size_t imageryCacheBytes = 16u << 20;
  size_t pictureCacheBytes = 12u << 20;
  size_t keptPictureBytes = 12u << 20;
};

struct LivePicture {
  std::string jpeg;            // empty only when encoding failed
  std::time_t frameTime = 0;   // UTC time of the frame shown; for a made-up picture its hour
  std::time_t ageFrom = 0;     // what its age is counted from: the frame, or a daily one's fetch
  std::time_t freshUntil = 0;  // when a newer picture may exist
  bool sample = false;         // made up
  std::string credit;          // the credit line written on it
};

class LiveMaps {
 public:
  // `clock` is not owned and must outlive this. `note` (may be empty) receives one line when a
  // kind of picture turns live, fails, or comes back.
  LiveMaps(MapSources sources, std::unique_ptr<UpstreamClient> client, MapClock& clock,
           std::function<void(const std::string&)> note = {});
  ~LiveMaps();
  LiveMaps(const LiveMaps&) = delete;
  LiveMaps& operator=(const LiveMaps&) = delete;

  // The picture of `kind` centred on `location` (its code keys the kept pictures). Blocks while
  // it asks the sources, waiting its turn under their rates; safe from several threads.
  LivePicture Picture(MapKind kind, const Location& location);

  // Ends every wait for a source's turn at once; pictures under way then fail. For shutting down.
  void Stop();

  // Seconds a caller turned away should wait before asking again, by the radar rate.
  int RetryAfterSeconds(int queued) const;

 private:
  class Impl;
  const std::unique_ptr<Impl> impl_;
};

}  // namespace cirrodex::service
