#include "setup/download_mode.h"

#include "core/weather_report.h"
#include "maps/weather_map_set.h"
#include "update/update_run.h"

namespace cirrodex {

void RunDownloadMode() {
  UpdateAllCities(false);
  // The maps go into the install folder of the first slot's report, as the icons do.
  WeatherMaps().RefreshMaps(InstallFolder(CityReports()[0]));
}

}  // namespace cirrodex
