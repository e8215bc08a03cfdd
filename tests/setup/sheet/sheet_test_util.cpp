#include "tests/setup/sheet/sheet_test_util.h"

#include <QApplication>
#include <QCoreApplication>
#include <cstdlib>
#include <fstream>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/weather_report.h"
#include "maps/weather_map_set.h"
#include "platform/device.h"
#include "update/update_run.h"

namespace cirrodex::testing {

namespace fs = std::filesystem;

const std::vector<std::pair<std::wstring, std::wstring>> kSixCities = {
    {L"UKXX0085", L"London"}, {L"FRXX0076", L"Paris"},     {L"SZXX0013", L"Geneva"},
    {L"GMXX0007", L"Berlin"}, {L"NLXX0002", L"Amsterdam"}, {L"GRXX0004", L"Athens"},
};

fs::path InstallFolderPath() { return platform::DevicePath(kDefaultInstallFolder); }

void WriteRegionFile(const std::string& fileName, const std::string& content) {
  const fs::path folder = InstallFolderPath() / "citycodes";
  fs::create_directories(folder);
  std::ofstream(folder / fileName, std::ios::binary) << content;
}

void InstallIcons() {
  const fs::path from = BuildDir() / "share" / "cirrodex" / "bmp";
  const fs::path to = InstallFolderPath() / "bmp";
  fs::create_directories(to);
  std::error_code error;
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing, error);
}

void StoreCities(const std::vector<std::pair<std::wstring, std::wstring>>& slots,
                 uint32_t selected) {
  for (size_t i = 0; i < slots.size() && i < kCitySlots; ++i) {
    if (slots[i].first.empty()) continue;
    const std::wstring n = std::to_wstring(i + 1);
    StoreString(HKEY_CURRENT_USER, kSettingsKey, L"CityCode" + n, slots[i].first);
    StoreString(HKEY_CURRENT_USER, kSettingsKey, L"CityName" + n, slots[i].second);
  }
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kCitySelected, selected);
}

bool AnyCityTried() {
  for (const WeatherReport& report : CityReports()) {
    if (report.downloadResult != 0) return true;
  }
  return false;
}

std::unique_ptr<WeatherServiceProcess> SheetTest::service_;

void SheetTest::SetUpTestSuite() {
  if (service_ == nullptr) service_ = std::make_unique<WeatherServiceProcess>();
}

void SheetTest::TearDownTestSuite() {}

void SheetTest::SetUp() {
  ASSERT_TRUE(service_->running()) << "the weather service did not start";
  setenv("CIRRODEX_FEED_BASE", service_->FeedBase().c_str(), 1);
  Cities() = CityList{};
  ResetCityReportsForTesting();
  // The map pages fetch from the same service, never from the default host.
  ResetWeatherMapsForTesting();
  WeatherMaps().SetMapUrl(MapKind::Radar, service_->WideUrl("/weather/live/brradar1.jpg"));
  WeatherMaps().SetMapUrl(MapKind::Satellite, service_->WideUrl("/weather/live/brsat1.jpg"));
}

void SheetTest::TearDown() {
  unsetenv("CIRRODEX_FEED_BASE");
  Cities() = CityList{};
  ResetCityReportsForTesting();
  ResetWeatherMapsForTesting();
}

}  // namespace cirrodex::testing
