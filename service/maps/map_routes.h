// The paths of the map pictures: "/weather/live/radar/CODE.jpg",
// "/weather/live/satellite/CODE.jpg", and the two old fixed names, which show London's area.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "service/address.h"

namespace cirrodex::service {

// The area the old fixed names show.
inline constexpr char kLegacyMapCode[] = "UKXX0085";

struct MapRoute {
  MapKind kind = MapKind::Radar;
  std::string code;     // a city code or coordinate code, not yet checked against the locations
  bool legacy = false;  // one of the old fixed names
};

// The route of a decoded request path; nothing for any other path, or for a code that is empty,
// longer than 16 characters, or holds anything but letters and digits.
std::optional<MapRoute> ReadMapRoute(std::string_view path);

}  // namespace cirrodex::service
