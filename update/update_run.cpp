#include "update/update_run.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "core/registry_ops.h"
#include "core/weather_cache.h"
#include "platform/device.h"
#include "platform/registry_store.h"
#include "service/address.h"
#include "update/hourly_download.h"
#include "update/http_fetch.h"

namespace cirrodex {

namespace {

constexpr wchar_t kDownloadResult[] = L"DownloadResult";
constexpr wchar_t kCityName[] = L"CityName";

std::unique_ptr<std::array<WeatherReport, kCitySlots>>& ReportStore() {
  static std::unique_ptr<std::array<WeatherReport, kCitySlots>> reports;
  return reports;
}

}  // namespace

std::wstring FeedBaseUrl() {
  const char* base = std::getenv("CIRRODEX_FEED_BASE");
  if (base == nullptr || *base == '\0') {
    const std::string url = ServiceOrigin(ServicePort()) + kFeedPath + "?" + kFeedCodeParam + "=";
    return std::wstring(url.begin(), url.end());
  }
  // A URL is ASCII; any other byte is kept as its own character and left to the URL splitter.
  std::wstring url;
  for (const char* p = base; *p != '\0'; ++p)
    url += static_cast<wchar_t>(static_cast<unsigned char>(*p));
  return url;
}

std::array<WeatherReport, kCitySlots>& CityReports() {
  auto& reports = ReportStore();
  if (!reports) reports = std::make_unique<std::array<WeatherReport, kCitySlots>>();
  return *reports;
}

void ResetCityReportsForTesting() { ReportStore().reset(); }

bool UpdateCity(WeatherReport& report, const wchar_t* code, bool& changed, uint32_t& result) {
  std::wstring url = FeedBaseUrl();
  std::wstring key;
  if (code != nullptr) {
    url += code;
    key = CityKey(code);
  } else {
    const std::wstring selected = SelectedCityCode();
    url += selected.empty() ? std::wstring(kFallbackCityCode) : selected;
    key = SelectedCityKey();
  }

  std::unique_ptr<wchar_t[]> body;
  uint32_t length = 0;
  const bool ok = HttpFetch(url.c_str(), body, length, &result);
  // A 200 without weather (an error page, an empty answer) would replace the stored weather with
  // nothing: it is stored as an answer not understood, and the weather and history are kept.
  const bool weather = ok && body && HoldsWeather(body.get());
  if (ok && body && !weather) result = kResultNoWeather;
  report.downloadResult = result;
  if (!weather) {
    StoreDword(HKEY_CURRENT_USER, key, kDownloadResult, result);
    return false;
  }

  // Taken before the parse, so it names the city of the previous feed.
  const std::wstring previousCity = report.city;
  ParseFeed(report, body.get(), changed);
  // The city's values land together or not at all, so a store that another program holds until
  // the run gives up leaves no city half-updated. The stored feed is compared again inside the
  // transaction that adds the record: another run may have stored this very feed since this one
  // primed its report.
  InOneTransaction([&] {
    StoreDword(HKEY_CURRENT_USER, key, kDownloadResult, result);
    StoreString(HKEY_CURRENT_USER, key, kCityName, previousCity);
    if (changed) RecordHistoryIfChanged(report, code);
    return true;
  });
  return true;
}

void UpdateAllCities(bool onlyUntried) {
  if (!onlyUntried) LoadCityList();
  auto& reports = CityReports();
  CityList& cities = Cities();
  for (int i = 0; i < kCitySlots; ++i) {
    // Once the store was held past the run's wait, nothing more is fetched or written.
    if (platform::Registry().GaveUpWaiting()) return;
    const wchar_t* code = cities.slots[i].code;
    WeatherReport& report = reports[static_cast<size_t>(i)];
    if (code[0] == L'\0') continue;
    if (onlyUntried && report.downloadResult != 0) continue;

    uint32_t result = 0;
    bool changed = false;
    std::wstring stored;
    if (LoadStoredFeed(report, code, stored, result)) ParseFeed(report, stored.c_str(), changed);
    // A service that gave no feed would give no hours either: no second wait for it.
    if (UpdateCity(report, code, changed, result)) UpdateCityHours(code);
  }
}

}  // namespace cirrodex

namespace cirrodex {

DownloadRunLock::DownloadRunLock() {
  const std::string file = (platform::DeviceRoot() / kDownloadLockFile).string();
  // O_NOFOLLOW: a link planted as the lock file would have it made or opened elsewhere;
  // O_NONBLOCK: a FIFO's open would wait for a writer.
  fd_ = open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  struct stat info {};
  const bool opened = fd_ >= 0;
  if (opened ? fstat(fd_, &info) != 0 : lstat(file.c_str(), &info) != 0) return;
  if (!S_ISREG(info.st_mode)) {
    const char* kind = S_ISLNK(info.st_mode)    ? "a symbolic link"
                       : S_ISDIR(info.st_mode)  ? "a folder"
                       : S_ISFIFO(info.st_mode) ? "a FIFO"
                                                : "not a regular file";
    planted_ = "the lock file " + file + " is " + kind +
               ", which no download run locks through; remove it";
    return;
  }
  if (!opened) return;
  int rc;
  while ((rc = flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
  }
  held_ = rc == 0;
}

DownloadRunLock::~DownloadRunLock() {
  // Closing releases the lock.
  if (fd_ >= 0) close(fd_);
}

}  // namespace cirrodex
