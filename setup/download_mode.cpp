#include "setup/download_mode.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "maps/weather_map_set.h"
#include "platform/device.h"
#include "platform/registry_store.h"
#include "update/update_run.h"

namespace cirrodex {

namespace {

// The run is unattended: a store that another process holds is waited for this long rather than
// the download being thrown away.
constexpr std::chrono::seconds kBusyWait{60};

int Failed(std::string what) {
  for (char& c : what) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::fprintf(stderr, "gantrel: %s\n", what.c_str());
  return 1;
}

}  // namespace

int RunDownloadMode() {
  platform::SetRegistryBusyTimeout(kBusyWait);
  platform::RegistryStore& store = platform::Registry();
  if (!store.IsOpen()) return Failed(store.LastError());
  if (store.IsReadOnly()) {
    return Failed("the registry " + (platform::DeviceRoot() / "registry.db").string() +
                  " is write-protected, so no download could be stored");
  }
  const DownloadRunLock oneRunAtATime;
  UpdateAllCities(false);
  WeatherMaps().RefreshMaps(MapFolder());
  const std::string fault = store.FirstFault();
  if (!fault.empty()) return Failed(fault);
  return 0;
}

}  // namespace cirrodex
