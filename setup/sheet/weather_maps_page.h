// The Radar page: the radar image URL and the radar picture.
#pragma once

#include "setup/sheet/map_url_page.h"

namespace cirrodex {

class CWeatherMaps : public MapUrlPage {
 public:
  explicit CWeatherMaps(WeatherMapSet& maps = WeatherMaps());
};

}  // namespace cirrodex
