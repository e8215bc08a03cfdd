// Where the local weather service answers: one port on 127.0.0.1 and the paths of its feeds and
// map pictures. The download run, the map store, the Today host and the service itself all take
// them from here, so that $CIRRODEX_SERVICE_PORT moves every one of them together.
#pragma once

#include <string>

namespace cirrodex {

enum class MapKind { Radar = 0, Satellite = 1 };

inline constexpr int kDefaultServicePort = 8611;
inline constexpr char kServicePortVariable[] = "CIRRODEX_SERVICE_PORT";

// A feed is "<kFeedPath>?<kFeedCodeParam>=CODE".
inline constexpr char kFeedPath[] = "/m/chnk/d/weather_d_src.asp";
inline constexpr char kFeedCodeParam[] = "acid";
// A map picture is "<prefix>CODE<kMapSuffix>".
inline constexpr char kRadarMapPrefix[] = "/weather/live/radar/";
inline constexpr char kSatelliteMapPrefix[] = "/weather/live/satellite/";
inline constexpr char kMapSuffix[] = ".jpg";
// The one fixed picture per kind of earlier versions.
inline constexpr char kLegacyRadarPath[] = "/weather/live/brradar1.jpg";
inline constexpr char kLegacySatellitePath[] = "/weather/live/brsat1.jpg";

inline const char* MapPrefix(MapKind kind) {
  return kind == MapKind::Radar ? kRadarMapPrefix : kSatelliteMapPrefix;
}
inline const char* LegacyMapPath(MapKind kind) {
  return kind == MapKind::Radar ? kLegacyRadarPath : kLegacySatellitePath;
}

// The port $CIRRODEX_SERVICE_PORT names, or kDefaultServicePort when it is unset or empty.
// A value that is no port from 1 to 65535 counts as unset; `ignored` (may be null) then says so.
int ServicePort(std::string* ignored = nullptr);

// "http://127.0.0.1:PORT".
std::string ServiceOrigin(int port);

}  // namespace cirrodex
