// Bringing the configured cities up to date: fetch each city's feed, store the result, parse it
// into the city's report and, when it changed, store it with a history record.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/settings.h"
#include "core/weather_report.h"

namespace cirrodex {

// The feed host's URL up to the city code, which is appended as it is: the whole of
// $CIRRODEX_FEED_BASE when that is set and not empty, otherwise the weather service's feed path
// on its port ($CIRRODEX_SERVICE_PORT, else 8611).
std::wstring FeedBaseUrl();

// The program-wide reports of the six city slots, indexed like the city list. Built at first
// use (each reads "InstallPath") and kept until the process ends.
std::array<WeatherReport, kCitySlots>& CityReports();
// Builds fresh reports, as a new run of the program would have.
void ResetCityReportsForTesting();

// Downloads one city's feed (`code` null: the selected city, "UKXX0260" when it has no code) into
// `report`. Stores "DownloadResult" always and "CityName" (the city text of the feed parsed before
// this one) after a completed download; `changed` is the parse's flag, untouched when nothing was
// parsed. `result` receives the fetch's code, or kResultNoWeather for a 200 whose body holds no
// weather (nothing else is stored then). True when the fetch completed with weather.
bool UpdateCity(WeatherReport& report, const wchar_t* code, bool& changed, uint32_t& result);

// Updates every slot that has a code, in slot order, with its hours after a completed feed, each
// report primed first with its stored feed so that an unchanged download adds no history record.
// With `onlyUntried` false the city list is loaded first; with true, slots already tried in this
// run are skipped and the list is taken as it stands.
void UpdateAllCities(bool onlyUntried);

// The lock file in the device folder that download runs take in turn.
inline constexpr char kDownloadLockFile[] = "download.lock";

// Held for a whole download run, so that at most one run works on a device folder at a time: a
// second run waits here until the first ends (the lock goes with its process, however it ends)
// and then finds the feeds that the first stored.
class DownloadRunLock {
 public:
  DownloadRunLock();
  ~DownloadRunLock();
  DownloadRunLock(const DownloadRunLock&) = delete;
  DownloadRunLock& operator=(const DownloadRunLock&) = delete;
  // False when the lock file could not be made (a read-only folder): the run goes on unlocked and
  // the store reports what it cannot write.
  bool held() const { return held_; }
  // Not empty when something else than a regular file (a symbolic link, a FIFO, a folder) was
  // planted as the lock file: one line naming it. The lock is not held then, and the run must
  // not go on, or two runs could work at once.
  const std::string& planted() const { return planted_; }

 private:
  int fd_ = -1;
  bool held_ = false;
  std::string planted_;
};

}  // namespace cirrodex
