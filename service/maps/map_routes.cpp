#include "service/maps/map_routes.h"

#include <algorithm>
#include <cctype>

namespace cirrodex::service {

std::optional<MapRoute> ReadMapRoute(std::string_view path) {
  if (path == kLegacyRadarPath) return MapRoute{MapKind::Radar, kLegacyMapCode, true};
  if (path == kLegacySatellitePath) return MapRoute{MapKind::Satellite, kLegacyMapCode, true};
  constexpr std::string_view kRadar = kRadarMapPrefix;
  constexpr std::string_view kSatellite = kSatelliteMapPrefix;
  constexpr std::string_view kSuffix = kMapSuffix;
  MapRoute route;
  if (path.substr(0, kRadar.size()) == kRadar) {
    path.remove_prefix(kRadar.size());
  } else if (path.substr(0, kSatellite.size()) == kSatellite) {
    route.kind = MapKind::Satellite;
    path.remove_prefix(kSatellite.size());
  } else {
    return std::nullopt;
  }
  if (path.size() <= kSuffix.size() || path.substr(path.size() - kSuffix.size()) != kSuffix) {
    return std::nullopt;
  }
  path.remove_suffix(kSuffix.size());
  if (path.size() > 16 || !std::all_of(path.begin(), path.end(),
                                       [](unsigned char c) { return std::isalnum(c) != 0; })) {
    return std::nullopt;
  }
  route.code = std::string(path);
  return route;
}

}  // namespace cirrodex::service
