// The update run against the real weather-service, which serves the feeds each test writes.
#include "update/update_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>

#include "core/hourly_store.h"
#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/weather_cache.h"
#include "platform/text.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"
#include "update/http_fetch.h"

namespace cirrodex {
namespace {

using platform::HKEY_CURRENT_USER;
using testing::WeatherServiceProcess;

std::string Feed(const std::string& city, int temperature) {
  return "var swCity = \"" + city + "\";\nvar swTemp = \"" + std::to_string(temperature) +
         "\";\nvar swBaro = \"30.00\";\nvar swLastUp = \"5/10/2024 6:00:00\";\n"
         "var swFore = \"6|5/10/2024|30|4|" +
         std::to_string(temperature + 5) + "|20|29|4|" + std::to_string(temperature - 10) + "\";\n";
}

class UpdateRunTest : public testing::DeviceTest {
 protected:
  void SetUp() override {
    data_ = device_.root() / "service";
    std::filesystem::create_directories(data_ / "feeds");
    log_ = device_.root() / "service.log";
    service_ = std::make_unique<WeatherServiceProcess>(
        std::vector<std::string>{"--data", data_.string()}, log_);
    ASSERT_TRUE(service_->running());
    setenv("CIRRODEX_FEED_BASE", service_->FeedBase().c_str(), 1);
    Fresh();
  }
  void TearDown() override {
    unsetenv("CIRRODEX_FEED_BASE");
    Fresh();
  }

  // As at the start of a new run of the program.
  static void Fresh() {
    ResetCityReportsForTesting();
    Cities() = CityList{};
  }

  void WriteFeed(const std::string& code, const std::string& text) {
    std::ofstream(data_ / "feeds" / (code + ".txt"), std::ios::binary) << text;
  }
  static void Configure(int slot, const std::wstring& code) {
    StoreString(HKEY_CURRENT_USER, kSettingsKey, L"CityCode" + std::to_wstring(slot), code);
  }

  // The city codes the service was asked for, in order; waits a little for the log to catch up.
  std::vector<std::string> Requested(size_t expected) {
    // The service writes its request log after answering; give a loaded machine up to 10 s.
    std::vector<std::string> codes;
    for (int attempt = 0; attempt < 1000; ++attempt) {
      codes.clear();
      std::ifstream in(log_);
      std::string line;
      while (std::getline(in, line)) {
        const size_t at = line.find("acid=");
        if (at == std::string::npos) continue;
        const size_t end = line.find_first_of("& ", at);
        codes.push_back(line.substr(at + 5, end - at - 5));
      }
      if (codes.size() >= expected) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return codes;
  }

  static uint32_t Dword(const std::wstring& code, const wchar_t* name, uint32_t fallback = 0xDEAD) {
    return ReadDwordOr(HKEY_CURRENT_USER, CityKey(code), name, fallback);
  }
  static std::optional<std::wstring> String(const std::wstring& code, const wchar_t* name) {
    std::wstring text;
    if (!ReadString(HKEY_CURRENT_USER, CityKey(code), name, text)) return std::nullopt;
    return text;
  }
  static bool HasRecord(const std::wstring& code, int slot) {
    wchar_t name[8];
    std::swprintf(name, 8, L"Log%03d", slot);
    return platform::Registry().KeyExists(HKEY_CURRENT_USER, CityKey(code) + L"\\" + name);
  }

  std::filesystem::path data_;
  std::filesystem::path log_;
  std::unique_ptr<WeatherServiceProcess> service_;
};

TEST_F(UpdateRunTest, FirstDownloadStoresFeedResultAndFirstRecord) {
  WriteFeed("TEST0001", Feed("Alpha", 60));
  WeatherReport report;
  bool changed = false;
  uint32_t result = 0;
  EXPECT_TRUE(UpdateCity(report, L"TEST0001", changed, result));
  EXPECT_TRUE(changed);
  EXPECT_EQ(result, kResultOk);
  EXPECT_EQ(report.downloadResult, kResultOk);
  EXPECT_STREQ(report.city, L"Alpha");
  EXPECT_EQ(Dword(L"TEST0001", L"DownloadResult"), kResultOk);
  EXPECT_EQ(String(L"TEST0001", L"WeatherPreviousData"), std::wstring(report.feedText));
  EXPECT_EQ(Dword(L"TEST0001", L"Latest"), 0u);
  EXPECT_TRUE(HasRecord(L"TEST0001", 0));
}

TEST_F(UpdateRunTest, TheSameFeedTwiceAddsNoRecord) {
  WriteFeed("TEST0001", Feed("Alpha", 60));
  WeatherReport report;
  bool changed = false;
  uint32_t result = 0;
  ASSERT_TRUE(UpdateCity(report, L"TEST0001", changed, result));
  ASSERT_TRUE(UpdateCity(report, L"TEST0001", changed, result));
  EXPECT_FALSE(changed);
  EXPECT_EQ(Dword(L"TEST0001", L"DownloadResult"), kResultOk);
  EXPECT_EQ(Dword(L"TEST0001", L"Latest"), 0u);
  EXPECT_FALSE(HasRecord(L"TEST0001", 1));
}

TEST_F(UpdateRunTest, ANewRunPrimedFromTheCacheAddsNoRecordForAnUnchangedFeed) {
  WriteFeed("TEST0001", Feed("Alpha", 60));
  Configure(1, L"TEST0001");
  UpdateAllCities(false);
  Fresh();
  UpdateAllCities(false);
  EXPECT_EQ(Requested(2).size(), 2u);
  EXPECT_EQ(Dword(L"TEST0001", L"Latest"), 0u);
  EXPECT_FALSE(HasRecord(L"TEST0001", 1));

  WriteFeed("TEST0001", Feed("Alpha", 70));
  Fresh();
  UpdateAllCities(false);
  EXPECT_EQ(Dword(L"TEST0001", L"Latest"), 1u);
  EXPECT_TRUE(HasRecord(L"TEST0001", 1));
}

TEST_F(UpdateRunTest, CityNameIsOneDownloadBehind) {
  WeatherReport report;
  bool changed = false;
  uint32_t result = 0;
  WriteFeed("TEST0001", Feed("Alpha", 60));
  ASSERT_TRUE(UpdateCity(report, L"TEST0001", changed, result));
  EXPECT_EQ(String(L"TEST0001", L"CityName"), L"");
  WriteFeed("TEST0001", Feed("Beta", 61));
  ASSERT_TRUE(UpdateCity(report, L"TEST0001", changed, result));
  EXPECT_EQ(String(L"TEST0001", L"CityName"), L"Alpha");
  EXPECT_STREQ(report.city, L"Beta");
}

TEST_F(UpdateRunTest, UpdatesConfiguredSlotsInOrderAndSkipsEmptyOnes) {
  for (const char* code : {"TEST0006", "TEST0003", "TEST0001"}) WriteFeed(code, Feed(code, 50));
  Configure(1, L"TEST0006");
  Configure(3, L"TEST0003");
  Configure(5, L"TEST0001");
  UpdateAllCities(false);

  EXPECT_EQ(Requested(3), (std::vector<std::string>{"TEST0006", "TEST0003", "TEST0001"}));
  auto& reports = CityReports();
  for (int slot : {0, 2, 4}) EXPECT_EQ(reports[slot].downloadResult, kResultOk) << slot;
  for (int slot : {1, 3, 5}) EXPECT_EQ(reports[slot].downloadResult, 0u) << slot;
  EXPECT_STREQ(reports[2].city, L"TEST0003");
}

TEST_F(UpdateRunTest, WithoutNetworkEveryCityStoresCannotConnect) {
  WriteFeed("TEST0001", Feed("Alpha", 60));
  Configure(1, L"TEST0001");
  Configure(2, L"TEST0002");
  Configure(4, L"TEST0004");
  UpdateAllCities(false);  // stores Alpha; TEST0002 and TEST0004 are unknown: 404

  const std::string unreachable = "http://127.0.0.1:" + std::to_string(testing::UnusedPort()) +
                                  "/m/chnk/d/weather_d_src.asp?acid=";
  setenv("CIRRODEX_FEED_BASE", unreachable.c_str(), 1);
  Fresh();
  UpdateAllCities(false);
  for (const wchar_t* code : {L"TEST0001", L"TEST0002", L"TEST0004"}) {
    EXPECT_EQ(Dword(code, L"DownloadResult"), kResultCannotConnect) << code;
  }
  auto& reports = CityReports();
  for (int slot : {0, 1, 3}) EXPECT_EQ(reports[slot].downloadResult, kResultCannotConnect);
  // The failed slot keeps what was primed from the cache.
  EXPECT_STREQ(reports[0].city, L"Alpha");
  EXPECT_EQ(Dword(L"TEST0001", L"Latest"), 0u);
  EXPECT_FALSE(String(L"TEST0002", L"CityName").has_value());
}

TEST_F(UpdateRunTest, AnUnknownCityStoresItsStatusAndNothingElse) {
  WeatherReport report;
  bool changed = false;
  uint32_t result = 0;
  EXPECT_FALSE(UpdateCity(report, L"NOSUCH01", changed, result));
  EXPECT_FALSE(changed);
  EXPECT_EQ(result, 404u);
  EXPECT_EQ(report.downloadResult, 404u);
  EXPECT_EQ(Dword(L"NOSUCH01", L"DownloadResult"), 404u);
  EXPECT_FALSE(String(L"NOSUCH01", L"CityName").has_value());
  EXPECT_FALSE(String(L"NOSUCH01", L"WeatherPreviousData").has_value());
}

// An error page, an empty answer or a place without weather sent with status 200 holds no
// weather: it is stored as an answer not understood, the weather stored before is kept, and no
// record is added.
TEST_F(UpdateRunTest, AReplyThatIsNoFeedKeepsTheStoredWeather) {
  WriteFeed("TEST0001", Feed("Alpha", 60));
  Configure(1, L"TEST0001");
  UpdateAllCities(false);
  ASSERT_EQ(Dword(L"TEST0001", L"DownloadResult"), kResultOk);
  const std::optional<std::wstring> stored = String(L"TEST0001", L"WeatherPreviousData");
  ASSERT_TRUE(stored.has_value());

  for (const char* page : {"<html><body>Please log in to the network</body></html>", "",
                           "var swCity = \"Elsewhere\"; var swCountry = \"Nowhere\";"}) {
    WriteFeed("TEST0001", page);
    ASSERT_TRUE(StoreDword(HKEY_CURRENT_USER, CityKey(L"TEST0001"), L"DownloadResult", 0));
    Fresh();
    UpdateAllCities(false);
    EXPECT_EQ(Dword(L"TEST0001", L"DownloadResult"), kResultNoWeather) << page;
    EXPECT_EQ(CityReports()[0].downloadResult, kResultNoWeather) << page;
    EXPECT_EQ(String(L"TEST0001", L"WeatherPreviousData"), stored) << page;
    EXPECT_EQ(Dword(L"TEST0001", L"Latest"), 0u) << page;
    EXPECT_FALSE(HasRecord(L"TEST0001", 1)) << page;
    EXPECT_STREQ(CityReports()[0].city, L"Alpha") << page;
  }
}

TEST_F(UpdateRunTest, WithoutACodeTheSelectedCityIsUpdated) {
  WriteFeed("TEST0002", Feed("Selected", 55));
  Configure(2, L"TEST0002");
  SelectCity(1);
  WeatherReport report;
  bool changed = false;
  uint32_t result = 0;
  EXPECT_TRUE(UpdateCity(report, nullptr, changed, result));
  EXPECT_EQ(Requested(1), std::vector<std::string>{"TEST0002"});
  EXPECT_EQ(Dword(L"TEST0002", L"DownloadResult"), kResultOk);
  EXPECT_TRUE(HasRecord(L"TEST0002", 0));
}

TEST_F(UpdateRunTest, AnEmptySelectedCodeFetchesTheFallbackCity) {
  Configure(1, L"");
  WeatherReport report;
  bool changed = false;
  uint32_t result = 0;
  UpdateCity(report, nullptr, changed, result);
  EXPECT_EQ(Requested(1), std::vector<std::string>{"UKXX0260"});
}

TEST_F(UpdateRunTest, OnlyUntriedSkipsCitiesTriedInThisRun) {
  WriteFeed("TEST0001", Feed("Alpha", 60));
  Configure(1, L"TEST0001");
  Configure(2, L"NOSUCH02");
  UpdateAllCities(false);
  ASSERT_EQ(Requested(2).size(), 2u);

  UpdateAllCities(true);  // both tried: the 404 is not tried again
  CityReports()[0].downloadResult = 0;
  UpdateAllCities(true);
  EXPECT_EQ(Requested(3), (std::vector<std::string>{"TEST0001", "NOSUCH02", "TEST0001"}));
}

// The service's feed path on its port, unless the whole base is given.
TEST(FeedBaseUrl, FollowsTheServicePortUnlessTheFeedBaseIsSet) {
  const struct {
    const char *feedBase, *port;  // null: unset
    const wchar_t* url;
  } cases[] = {
      {nullptr, nullptr, L"http://127.0.0.1:8611/m/chnk/d/weather_d_src.asp?acid="},
      {"", "", L"http://127.0.0.1:8611/m/chnk/d/weather_d_src.asp?acid="},
      {nullptr, "9123", L"http://127.0.0.1:9123/m/chnk/d/weather_d_src.asp?acid="},
      {nullptr, "0", L"http://127.0.0.1:8611/m/chnk/d/weather_d_src.asp?acid="},
      {nullptr, "12ab", L"http://127.0.0.1:8611/m/chnk/d/weather_d_src.asp?acid="},
      {"http://other:1/feed?code=", "9123", L"http://other:1/feed?code="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.port ? c.port : "(unset)");
    for (const auto& [name, value] : {std::pair{"CIRRODEX_FEED_BASE", c.feedBase},
                                      std::pair{"CIRRODEX_SERVICE_PORT", c.port}}) {
      value ? setenv(name, value, 1) : unsetenv(name);
    }
    EXPECT_EQ(FeedBaseUrl(), c.url);
  }
  unsetenv("CIRRODEX_FEED_BASE");
  unsetenv("CIRRODEX_SERVICE_PORT");
}

}  // namespace
}  // namespace cirrodex

namespace cirrodex {
namespace {

// The hours come after a completed feed; a failed or refused hourly document changes nothing the
// feed's download stored.
TEST_F(UpdateRunTest, StoresTheHoursBesideTheFeedAndAFailureTouchesNothingElse) {
  const std::string kept =
      R"({"updated":"2026-12-08T10:00:00Z","hours":[{"time":"2026-12-08T10:00+00:00"}]})";
  struct Case {
    const char* code;  // the service has made-up hours only for codes of its region files
    bool hoursServed;
  };
  for (const Case c : {Case{"UKXX0085", true}, Case{"TEST0001", false}}) {
    SCOPED_TRACE(c.code);
    const std::wstring code = platform::FromUtf8(c.code);
    WriteFeed(c.code, Feed("Alpha", 60));
    Configure(1, code);
    ASSERT_TRUE(StoreHourlyDocument(code, kept));
    Fresh();
    UpdateAllCities(false);

    EXPECT_EQ(Dword(code, L"DownloadResult"), kResultOk);
    EXPECT_EQ(Dword(code, L"Latest"), 0u);
    EXPECT_TRUE(HasRecord(code, 0));
    EXPECT_FALSE(HasRecord(code, 1));
    const auto stored = LoadStoredHourlyForecast(code);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->hours.size(), c.hoursServed ? 48u : 1u);
    EXPECT_EQ(stored->sample, c.hoursServed);
  }

  // Longer than the value may be, or no hourly document: refused, the stored one kept.
  const std::string tooLong = kept.substr(0, kept.size() - 1) + ",\"pad\":\"" +
                              std::string(kHourlyDocumentLimit, 'x') + "\"}";
  for (const std::string& refused : {tooLong, std::string("var swCity = \"Alpha\";")}) {
    EXPECT_FALSE(StoreHourlyDocument(L"TEST0001", refused));
    EXPECT_EQ(LoadStoredHourlyForecast(L"TEST0001")->hours.size(), 1u);
  }
}

}  // namespace
}  // namespace cirrodex
