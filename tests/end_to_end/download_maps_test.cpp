// The installed download run, as the Today item's schedule starts it, writing the map pictures
// and the three map icons.

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <memory>
#include <string>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "imaging/image_buffer.h"
#include "platform/device.h"
#include "platform/drawing_context.h"
#include "platform/text.h"
#include "tests/service/map_stand_in.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"

namespace cirrodex {
namespace {

namespace fs = std::filesystem;

using platform::kDefaultInstallFolder;

class DownloadRun : public testing::DeviceTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(service_.running());
    setenv("CIRRODEX_FEED_BASE", service_.FeedBase().c_str(), 1);
    std::string output;
    ASSERT_EQ(testing::RunProgram(testing::BuildDir() / "bin" / "cirrodex-install", {}, &output), 0)
        << output;
  }
  void TearDown() override { unsetenv("CIRRODEX_FEED_BASE"); }

  static void PointMapsAt(const std::wstring& radar, const std::wstring& satellite) {
    StoreString(HKEY_CURRENT_USER, kSettingsKey, L"RadarImageURL", radar);
    StoreString(HKEY_CURRENT_USER, kSettingsKey, L"SatelliteImageURL", satellite);
  }
  static int RunDownload(std::string& output) {
    return testing::RunProgram(platform::DevicePath(kDefaultInstallFolder) / "Gantrel.exe",
                               {"/downloadandexit"}, &output);
  }
  // A picture as the map pages read it (imaging), an icon as the Today screen does (a DIB).
  static std::unique_ptr<ImageBuffer> LoadJpeg(const char* name) {
    auto image = std::make_unique<ImageBuffer>(ImageType::Jpeg);
    if (!image->LoadFile(Handheld(name), ImageType::Jpeg)) image->Destroy();
    return image;
  }
  static std::unique_ptr<platform::DibBitmap> LoadIcon(const char* name) {
    auto icon = platform::LoadDibFile(Handheld(name));
    return icon ? std::move(icon) : std::make_unique<platform::DibBitmap>();
  }
  static std::wstring Handheld(const char* name) {
    return std::wstring(kDefaultInstallFolder) + L"\\" + platform::FromUtf8(name);
  }
  static std::string Bytes(const char* name) {
    return testing::ReadFile(platform::DevicePath(kDefaultInstallFolder) / name);
  }
  // Pixels of the radar's red in a 24-bit icon.
  static int RainPixels(const std::unique_ptr<platform::DibBitmap>& icon) {
    int rain = 0;
    for (int y = 0; icon->header.bitCount == 24 && y < icon->Height(); ++y) {
      for (int x = 0; x < icon->Width(); ++x) {
        const platform::RgbQuad c = icon->PixelFromTop(x, y);
        rain += c.red > 160 && c.blue < 90;
      }
    }
    return rain;
  }

  testing::WeatherServiceProcess service_;
};

TEST_F(DownloadRun, WritesBothPicturesAndTheThreeIcons) {
  StoreString(HKEY_CURRENT_USER, kSettingsKey, L"CityCode1", L"UKXX0085");
  PointMapsAt(service_.WideUrl("/weather/live/brradar1.jpg"),
              service_.WideUrl("/weather/live/brsat1.jpg"));
  std::string output;
  ASSERT_EQ(RunDownload(output), 0) << output;
  for (const char* name : {"radar.jpg", "Satellite.jpg"}) {
    const auto picture = LoadJpeg(name);
    EXPECT_EQ(picture->Width(), 400) << name;
    EXPECT_EQ(picture->Height(), 300) << name;
  }
  for (const char* name : {"iconradar.bmp", "iconSatellite.bmp", "iconradarsatellite.bmp"}) {
    const auto icon = LoadIcon(name);
    EXPECT_EQ(icon->Width(), 30) << name;
    EXPECT_EQ(icon->Height(), 30) << name;
  }
  EXPECT_EQ(LoadIcon("iconradarsatellite.bmp")->header.bitCount, 24);

  // A later run that cannot fetch leaves the icons as they were, even with a new crop centre.
  const std::string iconBefore = Bytes("iconradar.bmp");
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, L"RadarCropCenterX", 200);
  const std::wstring unreachable =
      L"http://127.0.0.1:" + std::to_wstring(testing::UnusedPort()) + L"/nothing.jpg";
  PointMapsAt(unreachable, unreachable);
  ASSERT_EQ(RunDownload(output), 0) << output;
  EXPECT_EQ(Bytes("iconradar.bmp"), iconBefore);
}

// Against stand-ins of the radar and imagery sources the run asks for the strip's city (slot 2,
// Paris): the radar icon, cut around rain 0.66 degrees east of Paris, holds the rain while the
// satellite icon of the same box does not. Layout 4 is drawn into <build>/page-shots.
TEST_F(DownloadRun, CutsTheIconsFromTheStripCitysLivePictures) {
  service::MapStandIn sources;
  sources.SetFrame(std::time(nullptr) / 600 * 600);
  sources.SetBlob(48.86, 2.35 + 0.66);
  testing::WeatherServiceProcess live({"--upstream", "auto", "--upstream-url",
                                       "http://127.0.0.1:1/v1/forecast", "--radar-url",
                                       sources.IndexUrl(), "--imagery-url", sources.WmsUrl()});
  ASSERT_TRUE(live.running());
  StoreString(HKEY_CURRENT_USER, kSettingsKey, L"CityCode1", L"UKXX0085");
  StoreString(HKEY_CURRENT_USER, kSettingsKey, L"CityCode2", L"FRXX0076");
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kCitySelected, 1);
  for (const wchar_t* map : {L"Radar", L"Satellite"}) {
    StoreDword(HKEY_CURRENT_USER, kSettingsKey, map + std::wstring(L"CropCenterX"), 230);
    StoreDword(HKEY_CURRENT_USER, kSettingsKey, map + std::wstring(L"CropCenterY"), 150);
  }
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kSummaryDisplayType, 4);
  PointMapsAt(live.WideUrl("/weather/live/radar/{city}.jpg"),
              live.WideUrl("/weather/live/satellite/{city}.jpg"));
  std::string output;
  ASSERT_EQ(RunDownload(output), 0) << output;
  EXPECT_EQ(LoadJpeg("radar.jpg")->Width(), 400);
  EXPECT_EQ(LoadJpeg("Satellite.jpg")->Width(), 400);
  EXPECT_GE(RainPixels(LoadIcon("iconradar.bmp")), 4);
  EXPECT_EQ(RainPixels(LoadIcon("iconSatellite.bmp")), 0);
  EXPECT_GE(RainPixels(LoadIcon("iconradarsatellite.bmp")), 4);

  const fs::path shots = testing::BuildDir() / "page-shots";
  fs::create_directories(shots);
  EXPECT_EQ(
      testing::RunProgram(testing::BuildDir() / "bin" / "cirrodex-draw",
                          {"summary", "--png", (shots / "live-layout4.png").string()}, &output),
      0)
      << output;
}

}  // namespace
}  // namespace cirrodex
