// The radar index of RainViewer's public weather-maps API (docs/MAPS.md): which frames exist and
// where their tiles are. The parser is pure; RadarIndexSource adds the asking policy.
#pragma once

#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/maps/rate_gate.h"
#include "service/source_health.h"
#include "service/upstream_client.h"

namespace cirrodex::service {

inline constexpr char kRainViewerIndexUrl[] = "https://api.rainviewer.com/public/weather-maps.json";
// The API serves no radar tiles beyond this zoom.
inline constexpr int kRadarMaxZoom = 7;
// The index is asked for at most once in this time.
inline constexpr std::time_t kRadarIndexInterval = 5 * 60;
// A latest frame further ahead of the service's clock than this is refused.
inline constexpr std::time_t kRadarFrameAhead = 10 * 60;

struct RadarFrame {
  std::time_t time = 0;  // when the frame was made, UTC
  std::string path;      // "/v2/radar/…", used as it stands
};

struct RadarIndex {
  std::string host;                // "https://tilecache.rainviewer.com"
  std::vector<RadarFrame> frames;  // radar.past, oldest first; never empty
  const RadarFrame& Latest() const { return frames.back(); }
};

// Reads the weather-maps.json document. Nothing, with `error` saying why, when it is not JSON of
// that shape, its host is not an http:// or https:// address, or it holds no usable past frame.
// Frames whose path is not a plain absolute path are skipped.
std::optional<RadarIndex> ParseRadarIndex(std::string_view document, std::string& error);

// The 256-pixel PNG tile of `frame` at tile (x, y) of `zoom`, in the colour scheme and options
// the pictures use (docs/MAPS.md).
std::string RadarTileUrl(const RadarIndex& index, const RadarFrame& frame, int zoom, int x, int y);

class RadarIndexSource {
 public:
  // `client` and `gate` are not owned. `url` is the index address.
  RadarIndexSource(std::string url, UpstreamClient& client, RateGate& gate);

  // The index as last read, asking the API first when the last request is at least
  // kRadarIndexInterval old by `now` (either way, so a clock set back does not stop it). Nothing,
  // with `error` set, when no index was ever read or its latest frame is older than `maxAge` or
  // more than kRadarFrameAhead ahead of `now`.
  // A failed request keeps the last good index and leaves `error` saying why until one succeeds.
  std::optional<RadarIndex> Current(std::time_t now, std::time_t maxAge, std::string& error);

 private:
  const std::string url_;
  UpstreamClient& client_;
  RateGate& gate_;
  std::mutex mutex_;  // one request at a time; others wait for its result
  bool asked_ = false;
  std::time_t askedAt_ = 0;
  std::optional<RadarIndex> index_;
  SourceHealth health_;  // why the last request failed, until one succeeds
};

}  // namespace cirrodex::service
