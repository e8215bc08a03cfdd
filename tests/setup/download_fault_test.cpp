// The installed download mode under faults: the weather service dying halfway through six cities,
// and another process saving the setup sheet's settings at the same moment, round after round.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/weather_report.h"
#include "platform/device.h"
#include "tests/support/raw_server.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"
#include "update/http_fetch.h"

namespace cirrodex {
namespace {

using testing::RawServer;

// Connection reset or broken off (ERROR_INTERNET_CONNECTION_ABORTED).
constexpr uint32_t kResultConnectionAborted = 12030;

const std::vector<std::wstring> kSixCities = {L"UKXX0085", L"FRXX0076", L"SZXX0013",
                                              L"USNY0996", L"JAXX0085", L"ASXX0112"};

using testing::ReadFile;

class DownloadFaultTest : public testing::DeviceTest {
 protected:
  void SetUp() override {
    std::string output;
    ASSERT_EQ(testing::RunProgram(testing::BuildDir() / "bin" / "cirrodex-install", {}, &output), 0)
        << output;
    gantrel_ = platform::DevicePath(L"\\program files\\velbrook\\nimbrel\\Gantrel.exe");
    for (size_t i = 0; i < kSixCities.size(); ++i) {
      ASSERT_TRUE(StoreString(HKEY_CURRENT_USER, kSettingsKey, L"CityCode" + std::to_wstring(i + 1),
                              kSixCities[i]));
    }
  }
  void TearDown() override { unsetenv("CIRRODEX_FEED_BASE"); }

  // Feeds and maps from `base` ("http://127.0.0.1:PORT").
  static void PointAt(const std::string& base) {
    setenv("CIRRODEX_FEED_BASE", (base + "/m/chnk/d/weather_d_src.asp?acid=").c_str(), 1);
    const std::wstring wide(base.begin(), base.end());
    StoreString(HKEY_CURRENT_USER, kSettingsKey, L"RadarImageURL",
                wide + L"/weather/live/brradar1.jpg");
    StoreString(HKEY_CURRENT_USER, kSettingsKey, L"SatelliteImageURL",
                wide + L"/weather/live/brsat1.jpg");
  }

  int Gantrel(std::string* output = nullptr) {
    return testing::RunProgram(gantrel_, {"/downloadandexit"}, output);
  }

  static uint32_t Result(const std::wstring& code) {
    return ReadDwordOr(HKEY_CURRENT_USER, CityKey(code), L"DownloadResult", 0);
  }
  static std::wstring StoredFeed(const std::wstring& code) {
    std::wstring feed;
    ReadString(HKEY_CURRENT_USER, CityKey(code), L"WeatherPreviousData", feed);
    return feed;
  }

  std::filesystem::path gantrel_;
  // The download mode opens no window, so it must not need a display.
  testing::WithoutDisplay noDisplay_;
};

// A feed of the service that dies; its city name says where it came from.
std::string FreshFeed(const std::string& code) {
  return "var swCity = \"Fresh " + code +
         "\"; var swTemp = \"50\"; var swCIcon = \"26\"; var swLastUp = \"6/7/2025 10:00:00\";";
}

std::string CodeOf(const std::string& target) {
  const size_t at = target.find("acid=");
  return at == std::string::npos ? std::string() : target.substr(at + 5);
}

struct DeathCase {
  const char* name;
  bool midAnswer;  // dies while sending the fourth city's feed rather than after the third
  uint32_t fourthResult;
};

// The service answers three cities and dies (before the fourth request, or in the middle of its
// answer). Every city stores its result; the three keep their fresh weather; the rest and the maps
// keep what the run before had stored.
TEST_F(DownloadFaultTest, TheServiceDyingHalfwayLeavesEveryCityItsResult) {
  for (const DeathCase& test :
       {DeathCase{"after three answers", false, kResultCannotConnect},
        DeathCase{"in the fourth answer", true, kResultConnectionAborted}}) {
    SCOPED_TRACE(test.name);
    {
      testing::WeatherServiceProcess service;
      ASSERT_TRUE(service.running());
      PointAt(service.Url());
      std::string output;
      ASSERT_EQ(Gantrel(&output), 0) << output;
    }
    std::vector<std::wstring> before;
    for (const std::wstring& code : kSixCities) {
      ASSERT_EQ(Result(code), kResultOk);
      before.push_back(StoredFeed(code));
      ASSERT_NE(before.back().find(L" (sample)"), std::wstring::npos);
    }
    const std::filesystem::path install = platform::DevicePath(kDefaultInstallFolder);
    const std::string radar = ReadFile(install / "radar.jpg");
    const std::string merged = ReadFile(install / "iconradarsatellite.bmp");
    ASSERT_FALSE(radar.empty());
    ASSERT_FALSE(merged.empty());

    // Each city's hourly document follows its feed: this service has none, and counts feeds only.
    std::atomic<int> feeds{0};
    RawServer dying([&](RawServer::Connection& c) {
      if (CodeOf(c.Target()).empty()) {
        c.Reply(404, "text/plain", "not found\n");
        return;
      }
      const std::string feed = FreshFeed(CodeOf(c.Target()));
      const std::string head =
          "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(feed.size()) + "\r\n\r\n";
      const int index = feeds++;
      if (index < 3) {
        c.Send(head + feed);
        if (index == 2 && !test.midAnswer) dying.StopListening();
        return;
      }
      c.Send(head + feed.substr(0, feed.size() / 2));
      dying.StopListening();
      c.Reset();
    });
    ASSERT_TRUE(dying.listening());
    PointAt(dying.Url());
    std::string output;
    EXPECT_EQ(Gantrel(&output), 0) << output;
    EXPECT_EQ(feeds, test.midAnswer ? 4 : 3);

    for (size_t i = 0; i < kSixCities.size(); ++i) {
      const std::wstring& code = kSixCities[i];
      SCOPED_TRACE(::testing::PrintToString(code));
      const std::wstring feed = StoredFeed(code);
      if (i < 3) {
        EXPECT_EQ(Result(code), kResultOk);
        EXPECT_NE(feed.find(L"Fresh " + code), std::wstring::npos);
      } else {
        EXPECT_EQ(Result(code), i == 3 ? test.fourthResult : kResultCannotConnect);
        EXPECT_EQ(feed, before[i]);
      }
    }
    EXPECT_EQ(ReadFile(install / "radar.jpg"), radar);
    EXPECT_EQ(ReadFile(install / "iconradarsatellite.bmp"), merged);
  }
}

// What settings-writer stores on its last pass of round `n`.
struct SheetValues {
  uint32_t units, layout, showLastUpdate, rate, start, end;
  explicit SheetValues(uint32_t n)
      : units(n % 5),
        layout(n % 6),
        showLastUpdate(n % 2),
        rate(100 + n),
        start(n % 720),
        end(1439 - n % 720) {}
};

// The download run and a process saving the sheet's settings at the same moment, 100 times over:
// neither loses a write to the other's hold on the database.
TEST_F(DownloadFaultTest, TheDownloadRunAndSavedSettingsLoseNoWrite) {
  testing::WeatherServiceProcess service;
  ASSERT_TRUE(service.running());
  PointAt(service.Url());
  const std::filesystem::path writer = testing::BuildDir() / "bin" / "settings-writer";

  constexpr int kRounds = 100;
  for (int round = 1; round <= kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    for (const std::wstring& code : kSixCities) {
      ASSERT_TRUE(StoreDword(HKEY_CURRENT_USER, CityKey(code), L"DownloadResult", 0));
      DeleteValue(HKEY_CURRENT_USER, CityKey(code), L"CityName");
    }
    std::string gantrelOutput;
    std::string writerOutput;
    int gantrelStatus = -2;
    int writerStatus = -2;
    std::thread download([&] { gantrelStatus = Gantrel(&gantrelOutput); });
    std::thread settings([&] {
      writerStatus = testing::RunProgram(writer, {std::to_string(round), "40"}, &writerOutput);
    });
    download.join();
    settings.join();
    ASSERT_EQ(gantrelStatus, 0) << gantrelOutput;
    ASSERT_EQ(writerStatus, 0) << writerOutput;

    for (const std::wstring& code : kSixCities) {
      ASSERT_EQ(Result(code), kResultOk) << ::testing::PrintToString(code);
      std::wstring name;
      ASSERT_TRUE(ReadString(HKEY_CURRENT_USER, CityKey(code), L"CityName", name))
          << ::testing::PrintToString(code);
    }
    const SheetValues expected(static_cast<uint32_t>(round));
    auto setting = [](const wchar_t* name) {
      return ReadDwordOr(HKEY_CURRENT_USER, kSettingsKey, name, 0xFFFFFFFF);
    };
    ASSERT_EQ(setting(kTemperatureUnits), expected.units);
    ASSERT_EQ(setting(kSummaryDisplayType), expected.layout);
    ASSERT_EQ(setting(kDisplayLastUpdateTime), expected.showLastUpdate);
    ASSERT_EQ(setting(kUpdateRate), expected.rate);
    ASSERT_EQ(setting(kStartUpdate), expected.start);
    ASSERT_EQ(setting(kEndUpdate), expected.end);
    for (int slot = 1; slot <= 6; ++slot) {
      std::wstring name;
      ASSERT_TRUE(
          ReadString(HKEY_CURRENT_USER, kSettingsKey, L"CityName" + std::to_wstring(slot), name));
      ASSERT_EQ(name, L"City " + std::to_wstring(round) + L"-" + std::to_wstring(slot));
    }
  }
}

}  // namespace
}  // namespace cirrodex
