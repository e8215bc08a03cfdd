#include "setup/download_mode.h"

#include "maps/weather_map_set.h"
#include "update/update_run.h"

namespace cirrodex {

void RunDownloadMode() {
  UpdateAllCities(false);
  WeatherMaps().RefreshMaps(MapFolder());
}

}  // namespace cirrodex
