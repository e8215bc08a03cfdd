// The Satellite page: the satellite image URL and the satellite picture.
#pragma once

#include "setup/sheet/map_url_page.h"

namespace cirrodex {

class CSatelliteMap : public MapUrlPage {
 public:
  explicit CSatelliteMap(WeatherMapSet& maps = WeatherMaps());
};

}  // namespace cirrodex
