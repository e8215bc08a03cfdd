// Several Today screens and one weather service between them: the screens run from a bin/ of the
// test's own, whose weather-service notes each start in a file before it becomes the real one.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/weather_report.h"
#include "host/own_service.h"
#include "platform/device.h"
#include "tests/support/eventually.h"
#include "tests/support/raw_server.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"

namespace cirrodex::testing {
namespace {

namespace fs = std::filesystem;

class SharedServiceTest : public DeviceTest {
 protected:
  void SetUp() override {
    fs::create_directories(bin_);
    fs::copy_file(BuildDir() / "bin" / "today-host", bin_ / "today-host");
    std::ofstream(bin_ / "weather-service")
        << "#!/bin/sh\necho $$ >>\"" << starts_.string() << "\"\nexec \"" << BuildDir().string()
        << "/bin/weather-service\" \"$@\"\n";
    fs::permissions(bin_ / "weather-service", fs::perms::owner_all);
    ASSERT_EQ(RunProgram(BuildDir() / "bin" / "cirrodex-install", {"--register"}), 0);
    const std::string port = std::to_string(port_);
    setenv("CIRRODEX_SERVICE_PORT", port.c_str(), 1);
    setenv("CIRRODEX_FEED_BASE",
           ("http://127.0.0.1:" + port + "/m/chnk/d/weather_d_src.asp?acid=").c_str(), 1);
    setenv("CIRRODEX_SERVICE_UPSTREAM", "none", 1);
    setenv("CIRRODEX_SERVICE_IDLE_EXIT", "2", 1);
  }
  void TearDown() override {
    // Every request, the screens' downloads included, is over once the service has gone idle.
    EXPECT_TRUE(Eventually([this] { return !host::SomethingListens(port_); }, 15000))
        << "the service did not exit by itself";
    for (const char* name : {"CIRRODEX_SERVICE_PORT", "CIRRODEX_FEED_BASE",
                             "CIRRODEX_SERVICE_UPSTREAM", "CIRRODEX_SERVICE_IDLE_EXIT"}) {
      unsetenv(name);
    }
  }
  // A screen that takes its snapshot after `seconds` and ends.
  std::thread Screen(const char* seconds, int& status) {
    const std::string snapshot =
        (device_.root() / ("screen" + std::to_string(screens_++) + ".png")).string();
    return std::thread([=, this, &status] {
      status = RunProgram(bin_ / "today-host", {"--snapshot", snapshot, "--after", seconds});
    });
  }
  int ServiceStarts() const {
    std::ifstream in(starts_);
    int lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    return lines;
  }

  fs::path bin_ = device_.root() / "bin";
  fs::path starts_ = device_.root() / "service-starts";
  int port_ = UnusedPort();
  int screens_ = 0;
};

// The first screen started the service; once it has closed, the second screen's downloads still
// find it.
TEST_F(SharedServiceTest, ABadUpstreamSettingIsSaidAndStartsNothing) {
  const int port = UnusedPort();
  std::string problem;
  EXPECT_EQ(host::StartSharedService(BuildDir() / "bin" / "weather-service", port, "open_meteo", 1,
                                     problem),
            host::ServiceStart::Failed);
  EXPECT_EQ(problem,
            "$CIRRODEX_SERVICE_UPSTREAM is \"open_meteo\"; it takes none, auto or open-meteo");
  EXPECT_FALSE(host::SomethingListens(port));
}

TEST_F(SharedServiceTest, ClosingTheFirstScreenLeavesTheSecondsDownloadsWorking) {
  int first = -2;
  int second = -2;
  std::thread one = Screen("2", first);
  const bool started = Eventually([this] { return host::SomethingListens(port_); });
  std::thread two = Screen("6", second);
  one.join();
  ASSERT_TRUE(started);
  EXPECT_EQ(first, 0);

  // What the second screen's worker launches on its schedule.
  DeleteValue(HKEY_CURRENT_USER, CityKey(L"UKXX0085"), L"DownloadResult");
  EXPECT_EQ(
      RunProgram(platform::DevicePath(kDefaultInstallFolder) / "Gantrel.exe", {"/downloadandexit"}),
      0);
  uint32_t result = 0;
  EXPECT_TRUE(ReadDword(HKEY_CURRENT_USER, CityKey(L"UKXX0085"), L"DownloadResult", result));
  EXPECT_EQ(result, 200u);
  two.join();
  EXPECT_EQ(second, 0);
  EXPECT_EQ(ServiceStarts(), 1);
}

TEST_F(SharedServiceTest, TenScreensStartedAtOnceStartOneService) {
  int status[10];
  std::vector<std::thread> screens;
  for (int& s : status) screens.push_back(Screen("1", s));
  for (std::thread& screen : screens) screen.join();
  for (const int s : status) EXPECT_EQ(s, 0);
  EXPECT_EQ(ServiceStarts(), 1);
  EXPECT_TRUE(host::SomethingListens(port_)) << "the service did not outlive its screens";
}

// $CIRRODEX_SERVICE_PORT alone moves everything: the screen starts the service there, and the
// download run's feeds and its default map addresses ask it there.
TEST_F(SharedServiceTest, ThePortSettingAloneMovesTheDownloadsAndTheMaps) {
  unsetenv("CIRRODEX_FEED_BASE");
  int status = -2;
  std::thread screen = Screen("1", status);
  ASSERT_TRUE(Eventually([this] { return host::SomethingListens(port_); }));
  const fs::path install = platform::DevicePath(kDefaultInstallFolder);
  fs::remove(install / "radar.jpg");
  DeleteValue(HKEY_CURRENT_USER, CityKey(L"UKXX0085"), L"DownloadResult");
  EXPECT_EQ(RunProgram(install / "Gantrel.exe", {"/downloadandexit"}), 0);
  uint32_t result = 0;
  EXPECT_TRUE(ReadDword(HKEY_CURRENT_USER, CityKey(L"UKXX0085"), L"DownloadResult", result));
  EXPECT_EQ(result, 200u);
  EXPECT_TRUE(fs::exists(install / "radar.jpg"));
  screen.join();
  EXPECT_EQ(status, 0);
}

// A listener that accepts and never answers: the checks wait for it on a thread of their own, so
// the screen's thread goes on, and the screen's end does not wait for a check under way.
TEST(SharedServiceChecks, ASilentListenerHoldsNeitherTheScreenNorItsEnd) {
  RawServer silent([](RawServer::Connection& connection) { connection.Hold(60000); },
                   RawServer::Serving::Concurrently);
  ASSERT_TRUE(silent.listening());
  auto service = std::make_unique<host::SharedService>(
      host::SharedServiceSettings{silent.port(), 1, "none", "/nonexistent/weather-service"});
  service->KeepWhileRunning();
  // A second check came although the first was never answered.
  ASSERT_TRUE(Eventually([&] { return silent.connections() >= 2; }));
  const auto before = std::chrono::steady_clock::now();
  service.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));
}

}  // namespace
}  // namespace cirrodex::testing
