#include <gtest/gtest.h>
#include <unistd.h>

#include <QColor>
#include <QImage>
#include <chrono>
#include <thread>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/today_item.h"
#include "host/today_items.h"
#include "platform/device.h"
#include "platform/window.h"
#include "tests/support/eventually.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"

namespace cirrodex::testing {
namespace {

using namespace platform;

constexpr QRgb kBackground = qRgb(0xFF, 0xFF, 0xFF);

std::filesystem::path Program(const char* name) { return BuildDir() / "bin" / name; }

// Pixels of `area` that are not the screen's background.
int DrawnPixels(const QImage& image, const QRect& area) {
  int drawn = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if ((image.pixel(x, y) & 0xFFFFFF) != (kBackground & 0xFFFFFF)) ++drawn;
    }
  }
  return drawn;
}

// A host socket in the run folder: some today-host is listening.
bool HostListening() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(DeviceRoot() / "run", error)) {
    if (entry.path().filename().string().starts_with("today-host-")) return true;
  }
  return false;
}

class HostTest : public DeviceTest {
 protected:
  void Install(const std::vector<std::string>& args = {}) {
    std::string output;
    ASSERT_EQ(RunProgram(Program("cirrodex-install"), args, &output), 0) << output;
  }
  void StoreLondon(uint32_t result) {
    WriteDefaultSettings();
    const std::wstring key = SelectedCityKey();
    ASSERT_TRUE(CreateString(HKEY_CURRENT_USER, key, L"WeatherPreviousData",
                             L"var swCity = \"London\"; var swTemp = \"59\"; var swCIcon = \"26\"; "
                             L"var swConText = \"Cloudy\"; var swLastUp = \"5/6/2025 10:00:00\";"));
    ASSERT_TRUE(CreateDword(HKEY_CURRENT_USER, key, L"DownloadResult", result));
  }
  // A snapshot of the screen with London's weather stored, the last-update line off, and nothing
  // listening at the feed address (the item's download fails, the stored weather stays). A null
  // image when the host failed; its output then in `output`.
  QImage SnapshotOfStoredWeather(std::vector<std::string> hostArgs, std::string& output) {
    Install({"--register"});
    StoreLondon(200);
    EXPECT_TRUE(CreateDword(HKEY_CURRENT_USER, kSettingsKey, kDisplayLastUpdateTime, 0));
    setenv("CIRRODEX_FEED_BASE",
           ("http://127.0.0.1:" + std::to_string(UnusedPort()) + "/feed?code=").c_str(), 1);
    const auto snapshot = device_.root() / "today.png";
    hostArgs.insert(hostArgs.end(), {"--snapshot", snapshot.string(), "--after", "1"});
    const int status = RunProgram(Program("today-host"), hostArgs, &output);
    unsetenv("CIRRODEX_FEED_BASE");
    if (status != 0) return QImage();
    return QImage(QString::fromStdString(snapshot.string()));
  }
  void SetUp() override { Cities() = CityList{}; }
};

// The whole way: a Today screen is running when the item is registered; the notification makes it
// load the plug-in, whose worker starts the real Gantrel.exe, which downloads London from the real
// weather service; the worker reads the stored weather back and the screen paints the strip.
TEST_F(HostTest, RegisteredItemDownloadsAndPaintsTheStrip) {
  WeatherServiceProcess service;
  ASSERT_TRUE(service.running());
  setenv("CIRRODEX_FEED_BASE", service.FeedBase().c_str(), 1);
  Install();

  const auto snapshot = device_.root() / "today.png";
  int hostStatus = -2;
  std::string hostOutput;
  std::thread host([&] {
    hostStatus = RunProgram(Program("today-host"),
                            {"--snapshot", snapshot.string(), "--after", "16"}, &hostOutput, 60000);
  });
  const bool listening = Eventually(HostListening, 10000);
  if (listening) Install({"--register"});
  host.join();
  unsetenv("CIRRODEX_FEED_BASE");
  ASSERT_TRUE(listening) << hostOutput;
  ASSERT_EQ(hostStatus, 0) << hostOutput;

  uint32_t result = 0;
  EXPECT_TRUE(ReadDword(HKEY_CURRENT_USER, CityKey(L"UKXX0085"), L"DownloadResult", result));
  EXPECT_EQ(result, 200u);
  std::wstring stored;
  EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, CityKey(L"UKXX0085"), L"WeatherPreviousData", stored));
  EXPECT_NE(stored.find(L"London"), std::wstring::npos);

  QImage image(QString::fromStdString(snapshot.string()));
  ASSERT_FALSE(image.isNull()) << hostOutput;
  EXPECT_EQ(image.width(), 240);
  EXPECT_EQ(image.height(), 320);
  // Default settings: layout 2 (30 pixels) and the status line (8) below the 22-pixel date line.
  EXPECT_GT(DrawnPixels(image, QRect(10, 22, 220, 30)), 300) << hostOutput;
  EXPECT_GT(DrawnPixels(image, QRect(10, 52, 220, 8)), 30) << hostOutput;
  EXPECT_EQ(DrawnPixels(image, QRect(0, 70, 240, 250)), 0);
}

TEST_F(HostTest, TheBuildTreesScreenLaysOutANewDeviceFolderByItself) {
  setenv("CIRRODEX_FEED_BASE",
         ("http://127.0.0.1:" + std::to_string(UnusedPort()) + "/feed?code=").c_str(), 1);
  const auto snapshot = device_.root() / "today.png";
  std::string output;
  const int status =
      RunProgram(Program("today-host"), {"--snapshot", snapshot.string(), "--after", "1"}, &output);
  unsetenv("CIRRODEX_FEED_BASE");
  ASSERT_EQ(status, 0) << output;
  std::wstring installPath;
  EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, kSettingsKey, kInstallPath, installPath));
  // The registered item draws its strip (the failed download's marks) instead of a blank screen.
  EXPECT_GT(DrawnPixels(QImage(QString::fromStdString(snapshot.string())), QRect(10, 22, 220, 30)),
            100)
      << output;
}

TEST_F(HostTest, StoredWeatherIsPaintedWithoutANetwork) {
  std::string output;
  const QImage image = SnapshotOfStoredWeather({}, output);
  ASSERT_FALSE(image.isNull()) << output;
  EXPECT_GT(DrawnPixels(image, QRect(10, 22, 220, 30)), 300);
  // Result 200 and no last-update line asked for: the strip is all.
  EXPECT_EQ(DrawnPixels(image, QRect(0, 52, 240, 268)), 0);
}

TEST_F(HostTest, BadArgumentsAreRefused) {
  std::string output;
  EXPECT_EQ(RunProgram(Program("today-host"), {"--after", "soon"}, &output), 2);
  EXPECT_NE(output.find("--after"), std::string::npos);
  EXPECT_EQ(RunProgram(Program("today-host"), {"--bogus"}, &output), 2);
  for (const char* scale : {"0", "5", "2.5", "x"}) {
    EXPECT_EQ(RunProgram(Program("today-host"), {"--scale", scale}, &output), 2) << scale;
  }
}

// --scale 2: the same screen on twice as many pixels each way, the strip where it was.
TEST_F(HostTest, ScaledSnapshotIsTheScreenEnlarged) {
  std::string output;
  const QImage image = SnapshotOfStoredWeather({"--scale", "2"}, output);
  ASSERT_FALSE(image.isNull()) << output;
  EXPECT_EQ(image.size(), QSize(480, 640));
  EXPECT_GT(DrawnPixels(image, QRect(20, 44, 440, 60)), 1200);
  EXPECT_EQ(DrawnPixels(image, QRect(0, 104, 480, 536)), 0);
}

// The item list in this process, with the real plug-in loaded from the device folder.
class HostItemsTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    WNDCLASS screenClass;
    screenClass.lpfnWndProc = DefWindowProc;
    screenClass.hInstance = &instance_;
    screenClass.lpszClassName = L"Screen";
    RegisterClass(screenClass);
    screen_ = CreateWindowEx(0, L"Screen", L"", WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr,
                             &instance_, nullptr);
  }
  void TearDown() override {
    DestroyWindow(screen_);
    UnregisterClass(L"Screen", &instance_);
  }
  int instance_ = 0;
  HWND screen_ = nullptr;
};

TEST_F(HostItemsTest, LoadsWhatTheRegistryNamesAndDropsIt) {
  setenv("CIRRODEX_FEED_BASE",
         ("http://127.0.0.1:" + std::to_string(UnusedPort()) + "/feed?code=").c_str(), 1);
  Install({"--register"});
  // Items that cannot load are passed over.
  ASSERT_TRUE(CreateString(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Today\\Items\\Broken", L"DLL",
                           L"\\windows\\missing.dll"));
  ASSERT_TRUE(Registry().CreateKey(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Today\\Items\\Bare"));

  host::TodayItems items(240);
  items.Load(screen_, 22);
  ASSERT_EQ(items.items().size(), 1u);
  host::TodayItem& item = items.items()[0];
  EXPECT_EQ(item.name, L"Cirrodex");
  EXPECT_EQ(GetParent(item.window), screen_);
  EXPECT_EQ(item.height, 38);  // the Install defaults show the last-update line
  RECT bounds;
  ASSERT_TRUE(GetWindowBounds(item.window, &bounds));
  EXPECT_EQ(bounds, (RECT{0, 22, 240, 60}));
  EXPECT_EQ(items.ItemAt(21), nullptr);
  EXPECT_EQ(items.ItemAt(22), &item);
  EXPECT_EQ(items.ItemAt(59), &item);
  EXPECT_EQ(items.ItemAt(60), nullptr);
  EXPECT_FALSE(items.QueryRefresh());  // nothing changed since the first answer

  HWND window = item.window;
  items.Unload();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(items.items().empty());

  // Disabled (no "DLL" value): nothing to load.
  ASSERT_TRUE(DeleteTodayItemModule());
  items.Load(screen_, 22);
  EXPECT_TRUE(items.items().empty());
  unsetenv("CIRRODEX_FEED_BASE");
}

}  // namespace
}  // namespace cirrodex::testing
