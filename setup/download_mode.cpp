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

// The run is unattended: a store that another process holds is waited for this long in all,
// however many writes wait, rather than the download being thrown away at once.
constexpr std::chrono::seconds kBusyWait{60};

int Failed(std::string what) {
  for (char& c : what) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::fprintf(stderr, "gantrel: %s\n", what.c_str());
  return 1;
}

int Held() {
  return Failed("the registry " + (platform::DeviceRoot() / "registry.db").string() +
                " was held by another program for a minute; the cities stored before stay, "
                "nothing more was written");
}

}  // namespace

int RunDownloadMode() {
  platform::SetRegistryBusyTimeout(kBusyWait);
  platform::SetRegistryBusyBudget(kBusyWait);
  platform::RegistryStore& store = platform::Registry();
  if (store.GaveUpWaiting()) return Held();
  if (!store.IsOpen()) return Failed(store.LastError());
  if (store.IsReadOnly()) {
    return Failed("the registry " + (platform::DeviceRoot() / "registry.db").string() +
                  " is write-protected, so no download could be stored");
  }
  const DownloadRunLock oneRunAtATime;
  if (!oneRunAtATime.planted().empty()) return Failed(oneRunAtATime.planted());
  UpdateAllCities(false);
  if (store.GaveUpWaiting()) return Held();
  WeatherMaps().RefreshMaps(MapFolder());
  if (store.GaveUpWaiting()) return Held();
  const std::string fault = store.FirstFault();
  if (!fault.empty()) return Failed(fault);
  return 0;
}

}  // namespace cirrodex
