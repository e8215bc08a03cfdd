// The Today screen under faults, run as the real today-host with the installed plug-in: the setup
// program missing, a damaged registry file, a feed service whose answers never parse. The host
// must keep running and show the status line, and nothing stored may be overwritten.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "core/download_result.h"
#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/weather_report.h"
#include "platform/device.h"
#include "platform/registry_store.h"
#include "tests/support/eventually.h"
#include "tests/support/raw_server.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"

namespace cirrodex::testing {
namespace {

constexpr wchar_t kLondon[] =
    L"var swCity = \"London\"; var swTemp = \"59\"; var swCIcon = \"26\"; "
    L"var swConText = \"Cloudy\"; var swLastUp = \"5/6/2025 10:00:00\";";

std::filesystem::path Program(const char* name) { return BuildDir() / "bin" / name; }

using testing::ReadFile;

// Pixels of `area` that differ from the screen's background (its bottom-right pixel, where no
// item reaches).
int DrawnPixels(const QImage& image, const QRect& area) {
  const QRgb background = image.pixel(image.width() - 1, image.height() - 1) & 0xFFFFFF;
  int drawn = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if ((image.pixel(x, y) & 0xFFFFFF) != background) ++drawn;
    }
  }
  return drawn;
}

// Some process still runs a program from this device folder (a Gantrel.exe the item started).
bool DeviceProgramRunning(const std::filesystem::path& device) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string cmdline = ReadFile(entry.path() / "cmdline");
    if (cmdline.find(device.string()) == 0) return true;
  }
  return false;
}

class HostFaultTest : public DeviceTest {
 protected:
  void SetUp() override {
    Cities() = CityList{};
    std::string output;
    ASSERT_EQ(RunProgram(Program("cirrodex-install"), {"--register"}, &output), 0) << output;
    WriteDefaultSettings();
    key_ = SelectedCityKey();
    // Nothing answers here unless a test says otherwise.
    FeedsFrom("http://127.0.0.1:" + std::to_string(UnusedPort()));
  }
  void TearDown() override { unsetenv("CIRRODEX_FEED_BASE"); }

  static void FeedsFrom(const std::string& base) {
    setenv("CIRRODEX_FEED_BASE", (base + "/m/chnk/d/weather_d_src.asp?acid=").c_str(), 1);
    const std::wstring wide(base.begin(), base.end());
    StoreString(HKEY_CURRENT_USER, kSettingsKey, L"RadarImageURL", wide + L"/radar.jpg");
    StoreString(HKEY_CURRENT_USER, kSettingsKey, L"SatelliteImageURL", wide + L"/sat.jpg");
  }

  void StoreWeather(const std::wstring& feed, uint32_t result) {
    ASSERT_TRUE(CreateString(HKEY_CURRENT_USER, key_, L"WeatherPreviousData", feed));
    ASSERT_TRUE(CreateDword(HKEY_CURRENT_USER, key_, L"DownloadResult", result));
  }
  std::wstring StoredFeed() const {
    std::wstring feed;
    ReadString(HKEY_CURRENT_USER, key_, L"WeatherPreviousData", feed);
    return feed;
  }

  // Runs the host for `seconds` and returns its snapshot; `output` gets what it printed.
  QImage RunHost(double seconds, std::string& output) {
    const auto snapshot = device_.root() / "today.png";
    std::filesystem::remove(snapshot);
    const int status = RunProgram(
        Program("today-host"),
        {"--snapshot", snapshot.string(), "--after", std::to_string(seconds)}, &output, 60000);
    EXPECT_EQ(status, 0) << output;
    QImage image(QString::fromStdString(snapshot.string()));
    EXPECT_FALSE(image.isNull()) << output;
    return image;
  }

  std::wstring key_;
};

// The strip (layout 2, 30 pixels under the 22-pixel date line) and the status line below it.
const QRect kStrip(10, 22, 220, 30);
const QRect kStatusLine(10, 52, 220, 8);

TEST_F(HostFaultTest, WithoutGantrelTheItemKeepsItsWeatherAndStatusLine) {
  StoreWeather(kLondon, 200);
  const std::filesystem::path gantrel =
      device_.Path(std::wstring(kDefaultInstallFolder) + L"\\Gantrel.exe");
  ASSERT_TRUE(std::filesystem::remove(gantrel));

  std::string output;
  const QImage image = RunHost(2, output);
  ASSERT_FALSE(image.isNull());
  EXPECT_GT(DrawnPixels(image, kStrip), 300) << output;
  EXPECT_GT(DrawnPixels(image, kStatusLine), 30) << output;
  // The worker's failed start shows no message box (only a tap's does).
  EXPECT_EQ(output.find("Failed to start"), std::string::npos) << output;
  EXPECT_EQ(StoredFeed(), kLondon);
  EXPECT_EQ(ReadDwordOr(HKEY_CURRENT_USER, key_, L"DownloadResult", 0), 200u);
  EXPECT_FALSE(std::filesystem::exists(gantrel));
}

struct Damage {
  const char* name;
  void (*apply)(const std::filesystem::path& file);
};

// A registry file that cannot be used: the host keeps running with the date line and says why it
// has no items; the file is left byte for byte as it was.
TEST_F(HostFaultTest, ADamagedRegistryIsReportedAndLeftAlone) {
  StoreWeather(kLondon, 200);
  // Closing the last connection folds the journal into the file, which is then all there is (the
  // journal file stays, empty).
  platform::ResetRegistryForTesting();
  const std::filesystem::path file = device_.root() / "registry.db";
  const std::filesystem::path journal = device_.root() / "registry.db-wal";
  ASSERT_TRUE(!std::filesystem::exists(journal) || std::filesystem::file_size(journal) == 0);
  const std::string good = ReadFile(file);
  ASSERT_GE(good.size(), 3 * 4096u);

  const Damage damages[] = {
      {"not a database",
       [](const std::filesystem::path& f) {
         std::fstream(f, std::ios::in | std::ios::out | std::ios::binary) << "no registry here";
       }},
      {"a damaged table page",
       [](const std::filesystem::path& f) {
         std::fstream out(f, std::ios::in | std::ios::out | std::ios::binary);
         out.seekp(4096);
         out << std::string(16, '\x55');
       }},
      {"cut short",
       [](const std::filesystem::path& f) {
         std::filesystem::resize_file(f, std::filesystem::file_size(f) / 2 + 100);
       }},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    { std::ofstream(file, std::ios::binary | std::ios::trunc) << good; }
    damage.apply(file);
    const std::string damaged = ReadFile(file);
    ASSERT_NE(damaged, good);

    std::string output;
    const QImage image = RunHost(1.5, output);
    ASSERT_FALSE(image.isNull());
    EXPECT_NE(output.find("cannot read the Today items"), std::string::npos) << output;
    EXPECT_GT(DrawnPixels(image, QRect(0, 22, 240, 40)), 100) << output;
    EXPECT_EQ(ReadFile(file), damaged);
  }
  std::filesystem::remove(file);
}

// The feed service answers every request with a page that holds no feed value. The item starts
// Gantrel.exe, which downloads it; whatever was stored stays, and the item shows its strip and
// status line throughout.
TEST_F(HostFaultTest, AFeedThatNeverParsesOverwritesNothing) {
  RawServer service([](RawServer::Connection& c) {
    const std::string page = "<html><body>Service temporarily unavailable</body></html>";
    c.Send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
           std::to_string(page.size()) + "\r\n\r\n" + page);
  });
  ASSERT_TRUE(service.listening());
  FeedsFrom(service.Url());

  // Stored before: good weather, or a text that never parses either.
  for (const std::wstring& stored :
       {std::wstring(kLondon), std::wstring(L"\x01\x02 garbage;;; \"unclosed swCity ;\"\"")}) {
    SCOPED_TRACE(::testing::PrintToString(stored));
    StoreWeather(stored, 200);
    const int before = service.connections();

    std::string output;
    const QImage image = RunHost(2, output);
    ASSERT_FALSE(image.isNull());
    EXPECT_GT(DrawnPixels(image, kStrip), 100) << output;
    EXPECT_GT(DrawnPixels(image, kStatusLine), 30) << output;

    // The item started the download at once; let it finish before looking at what it stored.
    EXPECT_TRUE(Eventually([&] { return service.connections() > before; }, 10000));
    EXPECT_TRUE(Eventually([&] { return !DeviceProgramRunning(device_.root()); }, 20000));
    EXPECT_EQ(ReadDwordOr(HKEY_CURRENT_USER, key_, L"DownloadResult", 0), kResultNoWeather);
    EXPECT_EQ(StoredFeed(), stored);
  }
}

}  // namespace
}  // namespace cirrodex::testing
