// Gantrel's download mode end to end: installed with cirrodex-install into a fresh device folder,
// run as "Gantrel.exe /downloadandexit" against the real weather-service.
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "platform/device.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"
#include "update/http_fetch.h"

namespace cirrodex {
namespace {

using platform::HKEY_CURRENT_USER;

class DownloadModeTest : public testing::DeviceTest {
 protected:
  void SetUp() override {
    std::string output;
    ASSERT_EQ(testing::RunProgram(testing::BuildDir() / "bin" / "cirrodex-install", {}, &output), 0)
        << output;
    gantrel_ = platform::DevicePath(L"\\program files\\velbrook\\nimbrel\\Gantrel.exe");
    ASSERT_TRUE(std::filesystem::is_regular_file(gantrel_));
    ASSERT_TRUE(service_.running());
    setenv("CIRRODEX_FEED_BASE", service_.FeedBase().c_str(), 1);
  }
  void TearDown() override { unsetenv("CIRRODEX_FEED_BASE"); }

  int Gantrel(const std::vector<std::string>& args, std::string* output = nullptr) {
    return testing::RunProgram(gantrel_, args, output);
  }
  static void Configure(int slot, const std::wstring& code) {
    StoreString(HKEY_CURRENT_USER, kSettingsKey, L"CityCode" + std::to_wstring(slot), code);
  }
  static uint32_t Result(const std::wstring& code) {
    return ReadDwordOr(HKEY_CURRENT_USER, CityKey(code), L"DownloadResult", 0);
  }

  testing::WeatherServiceProcess service_;
  std::filesystem::path gantrel_;
  // The download mode opens no window, so it must not need a display.
  testing::WithoutDisplay noDisplay_;
};

const std::vector<std::wstring> kSixCities = {L"UKXX0085", L"FRXX0076", L"SZXX0013",
                                              L"USNY0996", L"JAXX0085", L"ASXX0112"};

TEST_F(DownloadModeTest, DownloadsAndStoresEveryConfiguredCity) {
  for (int slot = 1; slot <= 6; ++slot) Configure(slot, kSixCities[slot - 1]);
  std::string output;
  EXPECT_EQ(Gantrel({"/downloadandexit"}, &output), 0) << output;
  EXPECT_EQ(output, "");
  for (const std::wstring& code : kSixCities) {
    EXPECT_EQ(Result(code), kResultOk) << ::testing::PrintToString(code);
    std::wstring feed;
    EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, CityKey(code), L"WeatherPreviousData", feed));
    EXPECT_NE(feed.find(L" (sample)"), std::wstring::npos);
    EXPECT_EQ(ReadDwordOr(HKEY_CURRENT_USER, CityKey(code), L"Latest", 99), 0u);
  }
}

TEST_F(DownloadModeTest, TheDownloadSwitchWinsOverAPageSwitch) {
  Configure(2, L"FRXX0076");
  EXPECT_EQ(Gantrel({"/current", "/downloadandexit"}), 0);
  EXPECT_EQ(Result(L"FRXX0076"), kResultOk);
}

TEST_F(DownloadModeTest, WithoutNetworkEachCityStoresTheErrorNumber) {
  Configure(1, L"UKXX0085");
  Configure(3, L"SZXX0013");
  const std::string unreachable = "http://127.0.0.1:" + std::to_string(testing::UnusedPort()) +
                                  "/m/chnk/d/weather_d_src.asp?acid=";
  setenv("CIRRODEX_FEED_BASE", unreachable.c_str(), 1);
  EXPECT_EQ(Gantrel({"/downloadandexit"}), 0);
  EXPECT_EQ(Result(L"UKXX0085"), kResultCannotConnect);
  EXPECT_EQ(Result(L"SZXX0013"), kResultCannotConnect);
}

TEST_F(DownloadModeTest, WithNoCityConfiguredNothingIsFetched) {
  EXPECT_EQ(Gantrel({"/downloadandexit"}), 0);
  std::vector<std::wstring> keys;
  platform::Registry().EnumSubkeys(HKEY_CURRENT_USER, kSettingsKey, &keys);
  EXPECT_TRUE(keys.empty());
}

TEST_F(DownloadModeTest, ASwitchInAnotherCaseDownloadsNothing) {
  Configure(1, L"UKXX0085");
  // Without a display the interactive setup cannot start either.
  EXPECT_NE(Gantrel({"/Downloadandexit"}), 0);
  EXPECT_EQ(Result(L"UKXX0085"), 0u);
}

}  // namespace
}  // namespace cirrodex
