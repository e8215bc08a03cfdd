#include "maps/weather_map_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "platform/message_box.h"
#include "tests/imaging/image_test_util.h"
#include "tests/support/failing_new.h"
#include "tests/support/message_boxes.h"
#include "tests/support/raw_server.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"

namespace cirrodex {
namespace {

using testing::CaptureContext;
using testing::ComparePictures;
using testing::EncodeJpeg;
using testing::FillGradient;
using testing::FillPattern;
using testing::Le32;
using testing::PatternColor;
using testing::PixelFromTop;
using testing::ReadBytes;

constexpr wchar_t kFolder[] = L"\\program files\\velbrook\\nimbrel";

// A map host on 127.0.0.1: each path answers with the body and status set for it, others 404.
class MapServer {
 public:
  MapServer()
      : server_(
            [this](testing::RawServer::Connection& connection) {
              std::unique_lock<std::mutex> lock(mutex_);
              const auto found = routes_.find(connection.Path());
              if (found == routes_.end()) {
                lock.unlock();
                connection.Reply(404, "text/plain", "");
                return;
              }
              const auto [status, body] = found->second;
              lock.unlock();
              connection.Reply(status, "image/jpeg", body);
            },
            testing::RawServer::Serving::Concurrently) {}
  void Serve(const std::string& path, const std::vector<uint8_t>& body, int status = 200) {
    std::lock_guard<std::mutex> lock(mutex_);
    routes_[path] = {status, std::string(body.begin(), body.end())};
  }
  std::wstring Url(const std::string& path) const { return server_.WideUrl(path); }

 private:
  std::mutex mutex_;
  std::map<std::string, std::pair<int, std::string>> routes_;
  testing::RawServer server_;  // last: it stops before the routes go
};

std::vector<uint8_t> PatternJpeg(int width, int height, uint8_t quality = 90) {
  ImageBuffer picture;
  FillPattern(picture, width, height);
  picture.SetJpegQuality(quality);
  return EncodeJpeg(picture);
}

std::vector<uint8_t> GradientJpeg(int width, int height, uint8_t quality) {
  ImageBuffer picture;
  FillGradient(picture, width, height);
  picture.SetJpegQuality(quality);
  return EncodeJpeg(picture);
}

bool RegistryHas(const std::wstring& name) {
  uint32_t value;
  return ReadDword(HKEY_CURRENT_USER, kSettingsKey, name, value);
}

uint32_t RegistryDword(const std::wstring& name) {
  return ReadDwordOr(HKEY_CURRENT_USER, kSettingsKey, name, 0xDEADBEEF);
}

// The first quantisation table of a JPEG file.
std::vector<uint8_t> FirstQuantTable(const std::vector<uint8_t>& jpeg) {
  for (size_t i = 2; i + 69 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDB) {
      return std::vector<uint8_t>(jpeg.begin() + i + 5, jpeg.begin() + i + 69);
    }
  }
  return {};
}

class WeatherMapSetTest : public testing::DeviceTest {
 protected:
  void SetUp() override { std::filesystem::create_directories(device_.Path(kFolder)); }
  std::filesystem::path File(const wchar_t* name) const {
    return device_.Path(std::wstring(kFolder) + L"\\" + name);
  }
  // A map set whose maps are fetched from the test's server.
  void PointAtServer(WeatherMapSet& maps) {
    maps.SetMapUrl(MapKind::Radar, server_.Url("/radar"));
    maps.SetMapUrl(MapKind::Satellite, server_.Url("/sat"));
  }
  // Gives the kind a picture, as a download would.
  static void GivePicture(WeatherMapSet& maps, MapKind kind, int width, int height) {
    FillPattern(maps.Map(kind).picture, width, height);
    maps.Map(kind).aspect = static_cast<float>(height) / static_cast<float>(width);
  }

  MapServer server_;
};

TEST_F(WeatherMapSetTest, StartsWithDefaultsAndWritesNothing) {
  WeatherMapSet maps;
  for (MapKind kind : {MapKind::Radar, MapKind::Satellite}) {
    const WeatherMap& map = maps.Map(kind);
    ASSERT_TRUE(map.url.has_value());
    EXPECT_EQ(*map.url, kind == MapKind::Radar
                            ? L"http://127.0.0.1:8611/weather/live/radar/{city}.jpg"
                            : L"http://127.0.0.1:8611/weather/live/satellite/{city}.jpg");
    EXPECT_FALSE(map.picture.IsValid());
    EXPECT_FALSE(map.icon.IsValid());
    EXPECT_EQ(map.aspect, 1.0f);
    EXPECT_EQ(map.cropSizeX, 30);
    EXPECT_EQ(map.cropSizeY, 30);
    EXPECT_EQ(map.cropCenterX, 30);
    EXPECT_EQ(map.cropCenterY, 30);
  }
  std::wstring text;
  EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kSettingsKey, L"RadarImageURL", text));
  EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kSettingsKey, L"SatelliteImageURL", text));
  EXPECT_FALSE(RegistryHas(L"RadarCropSizeX"));
}

TEST_F(WeatherMapSetTest, StartsWithTheRegistrysUrlsAndCropValues) {
  StoreString(HKEY_CURRENT_USER, kSettingsKey, L"SatelliteImageURL", L"http://example/sat.jpg");
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, L"SatelliteCropSizeX", 40);
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, L"SatelliteCropCenterY", 77);
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, L"RadarCropCenterX", 0xFFFFFFFF);
  WeatherMapSet maps;
  EXPECT_EQ(*maps.Map(MapKind::Radar).url, L"http://127.0.0.1:8611/weather/live/radar/{city}.jpg");
  EXPECT_EQ(*maps.Map(MapKind::Satellite).url, L"http://example/sat.jpg");
  EXPECT_EQ(maps.Map(MapKind::Satellite).cropSizeX, 40);
  EXPECT_EQ(maps.Map(MapKind::Satellite).cropSizeY, 30);
  EXPECT_EQ(maps.Map(MapKind::Satellite).cropCenterX, 30);
  EXPECT_EQ(maps.Map(MapKind::Satellite).cropCenterY, 77);
  EXPECT_EQ(maps.Map(MapKind::Radar).cropCenterX, -1);
}

TEST_F(WeatherMapSetTest, UrlsAreSetWrittenAndReadBack) {
  WeatherMapSet maps;
  EXPECT_FALSE(maps.ReadMapUrl(MapKind::Radar));
  EXPECT_FALSE(maps.Map(MapKind::Radar).url.has_value());
  EXPECT_FALSE(maps.WriteMapUrl(MapKind::Radar)) << "no URL to write";
  EXPECT_FALSE(maps.DownloadMap(MapKind::Radar, kFolder)) << "no URL to fetch";

  ASSERT_TRUE(maps.SetMapUrl(MapKind::Radar, L"http://host/r.jpg"));
  EXPECT_TRUE(maps.WriteMapUrl(MapKind::Radar));
  std::wstring stored;
  ASSERT_TRUE(ReadString(HKEY_CURRENT_USER, kSettingsKey, L"RadarImageURL", stored));
  EXPECT_EQ(stored, L"http://host/r.jpg");
  EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kSettingsKey, L"SatelliteImageURL", stored));

  WeatherMapSet later;
  EXPECT_EQ(*later.Map(MapKind::Radar).url, L"http://host/r.jpg");
}

// What a fetch asks for: "{city}" becomes the code, escaped so that it stays within its place;
// a URL without it goes out as written; a stored old default reads as the new one.
TEST_F(WeatherMapSetTest, StoredUrlsAskForTheSelectedCitysArea) {
  const struct {
    const wchar_t *stored, *code, *asked;  // stored null: nothing stored
  } cases[] = {
      {nullptr, L"UKXX0085", L"http://127.0.0.1:8611/weather/live/radar/UKXX0085.jpg"},
      {L"http://127.0.0.1:8611/weather/live/brradar1.jpg", L"N6965E01896",
       L"http://127.0.0.1:8611/weather/live/radar/N6965E01896.jpg"},
      {L"http://127.0.0.1:8612/weather/live/brradar1.jpg", L"X",
       L"http://127.0.0.1:8612/weather/live/brradar1.jpg"},
      {L"http://h/{city}/r?c={city}&{CITY}%20 \u00e9", L"F-_0",
       L"http://h/F-_0/r?c=F-_0&{CITY}%20 \u00e9"},
      {L"http://h/{city}.jpg", L"../x?y#z@:%", L"http://h/%2E%2E%2Fx%3Fy%23z%40%3A%25.jpg"},
      {L"http://h/{city}.jpg", L"Troms\u00f8 \r\n", L"http://h/Troms%C3%B8%20%0D%0A.jpg"},
      {L"http://h/{city}.jpg", L"", L"http://h/UKXX0260.jpg"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::ToString(c.asked));
    if (c.stored) StoreString(HKEY_CURRENT_USER, kSettingsKey, L"RadarImageURL", c.stored);
    WeatherMapSet maps;
    maps.SetCityCodeSource([&] { return std::wstring(c.code); });
    EXPECT_EQ(maps.FetchUrl(MapKind::Radar), std::wstring(c.asked));
  }
  StoreString(HKEY_CURRENT_USER, kSettingsKey, L"SatelliteImageURL",
              L"http://127.0.0.1:8611/weather/live/brsat1.jpg");
  EXPECT_EQ(*WeatherMapSet().Map(MapKind::Satellite).url,
            L"http://127.0.0.1:8611/weather/live/satellite/{city}.jpg");
}

// $CIRRODEX_SERVICE_PORT moves the defaults, stored ones of this and earlier versions included;
// a URL of the user's own, even one naming the usual port, stays as stored.
TEST_F(WeatherMapSetTest, TheServicePortMovesTheDefaultsButNoUrlOfTheUsersOwn) {
  const struct {
    const char* port;
    const wchar_t *stored, *url;  // stored null: nothing stored
  } cases[] = {
      {"9123", nullptr, L"http://127.0.0.1:9123/weather/live/radar/{city}.jpg"},
      {"9123", L"http://127.0.0.1:8611/weather/live/radar/{city}.jpg",
       L"http://127.0.0.1:9123/weather/live/radar/{city}.jpg"},
      {"9123", L"http://127.0.0.1:8611/weather/live/brradar1.jpg",
       L"http://127.0.0.1:9123/weather/live/radar/{city}.jpg"},
      {"9123", L"http://127.0.0.1:8611/weather/live/radar/X.jpg",
       L"http://127.0.0.1:8611/weather/live/radar/X.jpg"},
      {"9123", L"http://127.0.0.1:8612/weather/live/radar/{city}.jpg",
       L"http://127.0.0.1:8612/weather/live/radar/{city}.jpg"},
      {"70000", nullptr, L"http://127.0.0.1:8611/weather/live/radar/{city}.jpg"},
      {"", nullptr, L"http://127.0.0.1:8611/weather/live/radar/{city}.jpg"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::ToString(c.url));
    setenv("CIRRODEX_SERVICE_PORT", c.port, 1);
    if (c.stored) {
      StoreString(HKEY_CURRENT_USER, kSettingsKey, L"RadarImageURL", c.stored);
    } else {
      DeleteValue(HKEY_CURRENT_USER, kSettingsKey, L"RadarImageURL");
    }
    EXPECT_EQ(*WeatherMapSet().Map(MapKind::Radar).url, c.url);
    std::wstring text;
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kSettingsKey, L"RadarImageURL", text),
              c.stored != nullptr);
    if (c.stored) {
      EXPECT_EQ(text, c.stored);
    }
  }
  unsetenv("CIRRODEX_SERVICE_PORT");
}

TEST_F(WeatherMapSetTest, DownloadDecodesAndSavesThePictureAtQuality100) {
  const std::vector<uint8_t> served = GradientJpeg(400, 300, 75);
  server_.Serve("/radar", served);
  WeatherMapSet maps;
  PointAtServer(maps);
  ASSERT_TRUE(maps.DownloadMap(MapKind::Radar, kFolder));
  const WeatherMap& radar = maps.Map(MapKind::Radar);
  EXPECT_EQ(radar.picture.Width(), 400);
  EXPECT_EQ(radar.picture.Height(), 300);
  EXPECT_FLOAT_EQ(radar.aspect, 0.75f);
  EXPECT_FALSE(maps.Map(MapKind::Satellite).picture.IsValid());

  const std::vector<uint8_t> saved = ReadBytes(File(L"radar.jpg"));
  ASSERT_FALSE(saved.empty());
  EXPECT_NE(saved, served) << "the decoded picture is saved, not the downloaded bytes";
  EXPECT_EQ(FirstQuantTable(saved), std::vector<uint8_t>(64, 1)) << "quality 100";
  ImageBuffer reloaded;
  ASSERT_TRUE(reloaded.LoadFile(std::wstring(kFolder) + L"\\radar.jpg", ImageType::Jpeg));
  const auto difference = ComparePictures(reloaded, radar.picture);
  EXPECT_LE(difference.largest, 8) << difference.where;
  EXPECT_FALSE(std::filesystem::exists(File(L"Satellite.jpg")));
  EXPECT_FALSE(std::filesystem::exists(File(L"iconradar.bmp"))) << "downloading cuts no icon";
}

TEST_F(WeatherMapSetTest, FailedDownloadsKeepPictureAndFile) {
  server_.Serve("/radar", PatternJpeg(80, 60));
  WeatherMapSet maps;
  PointAtServer(maps);
  ASSERT_TRUE(maps.DownloadMap(MapKind::Radar, kFolder));
  const std::vector<uint8_t> savedBefore = ReadBytes(File(L"radar.jpg"));
  const uint8_t* pictureBefore = maps.Map(MapKind::Radar).picture.Dib();

  std::wstring closedPort;
  {
    MapServer gone;
    closedPort = gone.Url("/radar");
  }
  const std::vector<uint8_t> text = {'<', 'h', 't', 'm', 'l', '>'};
  const struct {
    const char* name;
    std::vector<uint8_t> body;
    int status;
    std::wstring url;
  } cases[] = {
      {"not found", {}, 404, server_.Url("/missing")},
      {"server error", PatternJpeg(10, 10), 500, server_.Url("/radar")},
      {"not a JPEG", text, 200, server_.Url("/radar")},
      {"empty body", {}, 200, server_.Url("/radar")},
      {"nobody listening", {}, 200, closedPort},
  };
  for (const auto& c : cases) {
    server_.Serve("/radar", c.body, c.status);
    maps.SetMapUrl(MapKind::Radar, c.url);
    EXPECT_FALSE(maps.DownloadMap(MapKind::Radar, kFolder)) << c.name;
    EXPECT_EQ(maps.Map(MapKind::Radar).picture.Dib(), pictureBefore) << c.name;
    EXPECT_EQ(maps.Map(MapKind::Radar).picture.Width(), 80) << c.name;
    EXPECT_EQ(ReadBytes(File(L"radar.jpg")), savedBefore) << c.name;
  }
}

TEST_F(WeatherMapSetTest, MapLongerThan64000BytesArrivesCutAndStillDecodes) {
  // Noise does not compress: at quality 100 this is far beyond 64000 bytes.
  ImageBuffer noisy(400, 300, 24, ImageType::Bmp);
  uint32_t seed = 12345;
  for (uint32_t i = 0; i < noisy.Header().sizeImage; ++i) {
    seed = seed * 1103515245u + 12345u;
    noisy.Pixels()[i] = static_cast<uint8_t>(seed >> 16);
  }
  noisy.SetJpegQuality(100);
  const std::vector<uint8_t> served = EncodeJpeg(noisy);
  ASSERT_GT(served.size(), 64000u);
  server_.Serve("/radar", served);

  WeatherMapSet maps;
  PointAtServer(maps);
  ASSERT_TRUE(maps.DownloadMap(MapKind::Radar, kFolder));
  ImageBuffer cut;
  ASSERT_TRUE(cut.DecodeMemory(served.data(), 64000, ImageType::Jpeg));
  ImageBuffer whole;
  ASSERT_TRUE(whole.DecodeMemory(served.data(), served.size(), ImageType::Jpeg));
  const ImageBuffer& picture = maps.Map(MapKind::Radar).picture;
  ASSERT_EQ(picture.Width(), 400);
  ASSERT_EQ(picture.Height(), 300);
  EXPECT_EQ(std::memcmp(picture.Pixels(), cut.Pixels(), cut.Header().sizeImage), 0)
      << "the picture is what the first 64000 bytes give";
  EXPECT_GT(ComparePictures(picture, whole).largest, 100) << "the end of the picture is lost";
  EXPECT_TRUE(std::filesystem::exists(File(L"radar.jpg")));
}

TEST_F(WeatherMapSetTest, LoadSavedMapReadsTheMapJpeg) {
  WeatherMapSet maps;
  EXPECT_FALSE(maps.LoadSavedMap(MapKind::Satellite, kFolder));
  EXPECT_FALSE(maps.Map(MapKind::Satellite).picture.IsValid());

  ImageBuffer tall;
  FillGradient(tall, 300, 400);
  ASSERT_TRUE(tall.SaveFile(std::wstring(kFolder) + L"\\Satellite.jpg", ImageType::Jpeg));
  ASSERT_TRUE(maps.LoadSavedMap(MapKind::Satellite, kFolder));
  EXPECT_EQ(maps.Map(MapKind::Satellite).picture.Width(), 300);
  EXPECT_FLOAT_EQ(maps.Map(MapKind::Satellite).aspect, 400.0f / 300.0f);
  EXPECT_FALSE(maps.LoadSavedMap(MapKind::Radar, kFolder));

  // A damaged file leaves the picture as it was.
  testing::WriteBytes(File(L"Satellite.jpg"), {0xFF, 0xD8, 0x00});
  EXPECT_FALSE(maps.LoadSavedMap(MapKind::Satellite, kFolder));
  EXPECT_EQ(maps.Map(MapKind::Satellite).picture.Width(), 300);
}

TEST_F(WeatherMapSetTest, CropKeepsTheBoxInsideThePicture) {
  const struct {
    const char* name;
    int width, height, size, centreX, centreY;
    int newX, newY, iconWidth, iconHeight, firstColumn, firstRow;
    bool stored;
  } cases[] = {
      {"defaults", 100, 150, 30, 30, 30, 30, 30, 30, 30, 15, 15, false},
      {"low left corner", 100, 150, 30, 5, 200, 15, 135, 30, 30, 0, 120, true},
      {"above and right", 100, 150, 30, 95, -40, 85, 15, 30, 30, 70, 0, true},
      {"narrower than the box", 20, 150, 30, 30, 30, 5, 30, 20, 30, 0, 15, true},
      {"odd size", 100, 150, 31, 50, 50, 50, 50, 30, 30, 35, 35, false},
      {"huge centre", 100, 150, 30, 0x7FFFFFFF, 0x7FFFFFFF, 85, 135, 30, 30, 70, 120, true},
  };
  for (const auto& c : cases) {
    testing::TempDevice device;
    std::filesystem::create_directories(device.Path(kFolder));
    WeatherMapSet maps;
    GivePicture(maps, MapKind::Radar, c.width, c.height);
    WeatherMap& radar = maps.Map(MapKind::Radar);
    radar.cropSizeX = radar.cropSizeY = c.size;
    radar.cropCenterX = c.centreX;
    radar.cropCenterY = c.centreY;
    ASSERT_TRUE(maps.CropMapIcon(MapKind::Radar, kFolder)) << c.name;

    SCOPED_TRACE(c.name);
    EXPECT_EQ(radar.cropCenterX, c.newX);
    EXPECT_EQ(radar.cropCenterY, c.newY);
    ASSERT_EQ(radar.icon.Width(), c.iconWidth);
    ASSERT_EQ(radar.icon.Height(), c.iconHeight);
    EXPECT_EQ(PixelFromTop(radar.icon, 0, 0), PatternColor(c.firstColumn, c.firstRow));
    EXPECT_EQ(PixelFromTop(radar.icon, c.iconWidth - 1, c.iconHeight - 1),
              PatternColor(c.firstColumn + c.iconWidth - 1, c.firstRow + c.iconHeight - 1));
    if (c.stored) {
      EXPECT_EQ(RegistryDword(L"RadarCropSizeX"), static_cast<uint32_t>(c.size));
      EXPECT_EQ(RegistryDword(L"RadarCropSizeY"), static_cast<uint32_t>(c.size));
      EXPECT_EQ(RegistryDword(L"RadarCropCenterX"), static_cast<uint32_t>(c.newX));
      EXPECT_EQ(RegistryDword(L"RadarCropCenterY"), static_cast<uint32_t>(c.newY));
    } else {
      EXPECT_FALSE(RegistryHas(L"RadarCropCenterX"));
    }
    const auto bitmap = platform::LoadDibFile(std::wstring(kFolder) + L"\\iconradar.bmp");
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->Width(), c.iconWidth);
    EXPECT_EQ(bitmap->Height(), c.iconHeight);
    EXPECT_EQ(bitmap->header.bitCount, 24);
    EXPECT_EQ(bitmap->PixelFromTop(0, 0), PatternColor(c.firstColumn, c.firstRow));
    EXPECT_FALSE(
        std::filesystem::exists(device.Path(std::wstring(kFolder) + L"\\iconSatellite.bmp")));
  }
}

TEST_F(WeatherMapSetTest, EmptyCropBoxKeepsTheIconAndItsFile) {
  for (int size : {0, 1}) {
    WeatherMapSet maps;
    GivePicture(maps, MapKind::Satellite, 100, 150);
    maps.Map(MapKind::Satellite).cropSizeX = size;
    EXPECT_TRUE(maps.CropMapIcon(MapKind::Satellite, kFolder));
    EXPECT_FALSE(maps.Map(MapKind::Satellite).icon.IsValid());
    EXPECT_FALSE(std::filesystem::exists(File(L"iconSatellite.bmp"))) << "size " << size;
  }
  WeatherMapSet maps;
  GivePicture(maps, MapKind::Satellite, 100, 150);
  ASSERT_TRUE(maps.CropMapIcon(MapKind::Satellite, kFolder));
  const std::vector<uint8_t> before = ReadBytes(File(L"iconSatellite.bmp"));
  ASSERT_FALSE(before.empty());
  maps.Map(MapKind::Satellite).cropSizeY = 1;
  maps.Map(MapKind::Satellite).cropCenterX = 70;
  EXPECT_TRUE(maps.CropMapIcon(MapKind::Satellite, kFolder));
  EXPECT_EQ(maps.Map(MapKind::Satellite).icon.Width(), 30);
  EXPECT_EQ(PixelFromTop(maps.Map(MapKind::Satellite).icon, 0, 0), PatternColor(15, 15));
  EXPECT_EQ(ReadBytes(File(L"iconSatellite.bmp")), before);
}

TEST_F(WeatherMapSetTest, CropNeedsAPicture) {
  WeatherMapSet maps;
  EXPECT_FALSE(maps.CropMapIcon(MapKind::Radar, kFolder));
  EXPECT_FALSE(std::filesystem::exists(File(L"iconradar.bmp")));
  EXPECT_FALSE(RegistryHas(L"RadarCropSizeX"));
}

TEST_F(WeatherMapSetTest, GreyPictureGivesAnEightBitIconFile) {
  ImageBuffer grey(60, 60, 8, ImageType::Bmp);
  grey.SetGreyPalette();
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 60; ++x) grey.WritePixelIndex(x, y, static_cast<uint8_t>(x * 4));
  }
  server_.Serve("/sat", EncodeJpeg(grey));
  WeatherMapSet maps;
  PointAtServer(maps);
  ASSERT_TRUE(maps.DownloadMap(MapKind::Satellite, kFolder));
  ASSERT_TRUE(maps.CropMapIcon(MapKind::Satellite, kFolder));
  const std::vector<uint8_t> file = ReadBytes(File(L"iconSatellite.bmp"));
  ASSERT_EQ(file.size(), 1078u + 32 * 30);
  EXPECT_EQ(Le32(file, 10), 1078u);
  EXPECT_EQ(file[28], 8);
}

// Radar: a vivid red band (rain) over the left third, muted grey elsewhere. Satellite: the
// pattern. The merged icon shows the rain over the satellite icon.
TEST_F(WeatherMapSetTest, MergedIconLaysTheRainOverTheSatelliteIcon) {
  WeatherMapSet maps;
  ImageBuffer& radar = maps.Map(MapKind::Radar).picture;
  ASSERT_NE(radar.Create(100, 100, 24, ImageType::Jpeg), nullptr);
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 100; ++x) {
      radar.WritePixelColor(x, y, x < 25 ? RgbQuad{20, 30, 220, 0} : RgbQuad{95, 100, 96, 0});
    }
  }
  maps.MergeMapIcons(kFolder);
  EXPECT_FALSE(std::filesystem::exists(File(L"iconradarsatellite.bmp"))) << "one picture only";

  GivePicture(maps, MapKind::Satellite, 100, 100);
  ASSERT_TRUE(maps.CropMapIcon(MapKind::Radar, kFolder));      // columns 15..44
  ASSERT_TRUE(maps.CropMapIcon(MapKind::Satellite, kFolder));  // the same box
  maps.MergeMapIcons(kFolder);
  const auto merged = platform::LoadDibFile(std::wstring(kFolder) + L"\\iconradarsatellite.bmp");
  ASSERT_NE(merged, nullptr);
  EXPECT_EQ(merged->Width(), 30);
  EXPECT_EQ(merged->Height(), 30);
  EXPECT_EQ(merged->header.bitCount, 24);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 30; ++x) {
      const RgbQuad expected = x < 10 ? RgbQuad{20, 30, 220, 0} : PatternColor(15 + x, 15 + y);
      ASSERT_EQ(merged->PixelFromTop(x, y), expected) << x << "," << y;
    }
  }

  // A smaller satellite icon covers only its own corner; the radar fills the rest.
  GivePicture(maps, MapKind::Satellite, 20, 20);
  ASSERT_TRUE(maps.CropMapIcon(MapKind::Satellite, kFolder));
  ASSERT_EQ(maps.Map(MapKind::Satellite).icon.Width(), 20);
  maps.MergeMapIcons(kFolder);
  const auto mixed = platform::LoadDibFile(std::wstring(kFolder) + L"\\iconradarsatellite.bmp");
  ASSERT_NE(mixed, nullptr);
  EXPECT_EQ(mixed->PixelFromTop(15, 5), PatternColor(15, 5));
  EXPECT_EQ(mixed->PixelFromTop(25, 5), (RgbQuad{95, 100, 96, 0}));
  EXPECT_EQ(mixed->PixelFromTop(5, 25), (RgbQuad{20, 30, 220, 0}));
}

TEST_F(WeatherMapSetTest, TapMovesBothIconsEachScaledToItsPicture) {
  WeatherMapSet maps;
  GivePicture(maps, MapKind::Radar, 400, 300);
  GivePicture(maps, MapKind::Satellite, 300, 400);
  maps.Map(MapKind::Radar).cropSizeX = 50;
  // The Icon page shows a 400 x 300 picture as 200 x 150 standing on the line 240.
  maps.SetCropFromTap(100, 140, platform::Rect{0, 90, 200, 240}, kFolder);

  const WeatherMap& radar = maps.Map(MapKind::Radar);
  EXPECT_EQ(radar.cropSizeX, 30);
  EXPECT_EQ(radar.cropSizeY, 30);
  EXPECT_EQ(radar.cropCenterX, 200);
  EXPECT_EQ(radar.cropCenterY, 100);
  EXPECT_EQ(RegistryDword(L"RadarCropCenterX"), 200u);
  EXPECT_EQ(RegistryDword(L"RadarCropCenterY"), 100u);
  EXPECT_EQ(RegistryDword(L"RadarCropSizeX"), 30u);
  EXPECT_EQ(PixelFromTop(radar.icon, 0, 0), PatternColor(185, 85));

  const WeatherMap& satellite = maps.Map(MapKind::Satellite);
  EXPECT_EQ(satellite.cropCenterX, 150);
  EXPECT_EQ(satellite.cropCenterY, 50 * 400 / 150);
  EXPECT_EQ(RegistryDword(L"SatelliteCropCenterY"), 133u);
  EXPECT_TRUE(std::filesystem::exists(File(L"iconradar.bmp")));
  EXPECT_TRUE(std::filesystem::exists(File(L"iconSatellite.bmp")));
  EXPECT_TRUE(std::filesystem::exists(File(L"iconradarsatellite.bmp")));
}

TEST_F(WeatherMapSetTest, TapsOutsideThePictureStayInsideIt) {
  WeatherMapSet maps;
  GivePicture(maps, MapKind::Radar, 400, 300);
  maps.SetCropFromTap(-50, 10, platform::Rect{0, 90, 200, 240}, kFolder);
  EXPECT_EQ(maps.Map(MapKind::Radar).cropCenterX, 15);
  EXPECT_EQ(maps.Map(MapKind::Radar).cropCenterY, 15);
  maps.SetCropFromTap(5000, 5000, platform::Rect{0, 90, 200, 240}, kFolder);
  EXPECT_EQ(maps.Map(MapKind::Radar).cropCenterX, 385);
  EXPECT_EQ(maps.Map(MapKind::Radar).cropCenterY, 285);
  EXPECT_EQ(maps.Map(MapKind::Radar).icon.Width(), 30);
  EXPECT_FALSE(std::filesystem::exists(File(L"iconradarsatellite.bmp")));

  // Without a picture, or with nothing shown, a tap does nothing.
  EXPECT_FALSE(maps.SetCropFromTap(MapKind::Radar, 10, 10, platform::Rect{0, 0, 0, 0}, kFolder));
  EXPECT_FALSE(
      maps.SetCropFromTap(MapKind::Satellite, 10, 10, platform::Rect{0, 0, 100, 100}, kFolder));
  EXPECT_FALSE(RegistryHas(L"SatelliteCropCenterX"));
}

TEST_F(WeatherMapSetTest, RefreshWritesAllFilesAndAFailedDownloadKeepsTheOldIcon) {
  server_.Serve("/radar", PatternJpeg(200, 150, 100));
  server_.Serve("/sat", PatternJpeg(200, 150, 100));
  // Crop values stored by an earlier Icon page tap are read again after the download.
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, L"RadarCropCenterX", 100);
  WeatherMapSet maps;
  PointAtServer(maps);
  maps.Map(MapKind::Radar).cropCenterX = 30;
  maps.RefreshMaps(kFolder);
  for (const wchar_t* name : {L"radar.jpg", L"Satellite.jpg", L"iconradar.bmp",
                              L"iconSatellite.bmp", L"iconradarsatellite.bmp"}) {
    EXPECT_TRUE(std::filesystem::exists(File(name))) << testing::ToString(name);
  }
  EXPECT_EQ(maps.Map(MapKind::Radar).cropCenterX, 100);
  ImageBuffer expected;
  ASSERT_TRUE(maps.Map(MapKind::Radar).picture.Crop(85, 15, 115, 45, &expected));
  EXPECT_EQ(ComparePictures(maps.Map(MapKind::Radar).icon, expected).largest, 0);

  const std::vector<uint8_t> radarIcon = ReadBytes(File(L"iconradar.bmp"));
  const std::vector<uint8_t> merged = ReadBytes(File(L"iconradarsatellite.bmp"));
  server_.Serve("/radar", {}, 503);
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, L"RadarCropCenterX", 40);
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, L"SatelliteCropCenterX", 170);
  maps.RefreshMaps(kFolder);
  EXPECT_EQ(ReadBytes(File(L"iconradar.bmp")), radarIcon) << "no fallback to the saved JPEG";
  EXPECT_EQ(maps.Map(MapKind::Radar).cropCenterX, 100);
  EXPECT_EQ(maps.Map(MapKind::Satellite).cropCenterX, 170);
  EXPECT_NE(ReadBytes(File(L"iconradarsatellite.bmp")), merged)
      << "both pictures are held, so the icons are merged again";
}

// The map host of the product is the local weather-service; its two default paths serve the
// pictures the unattended run turns into the five map files.
TEST_F(WeatherMapSetTest, RefreshAgainstTheWeatherServiceWritesTheFiveFiles) {
  testing::WeatherServiceProcess service;
  ASSERT_TRUE(service.running());
  StoreString(HKEY_CURRENT_USER, kSettingsKey, L"RadarImageURL",
              service.WideUrl("/weather/live/brradar1.jpg"));
  StoreString(HKEY_CURRENT_USER, kSettingsKey, L"SatelliteImageURL",
              service.WideUrl("/weather/live/brsat1.jpg"));
  WeatherMapSet maps;
  maps.RefreshMaps(kFolder);
  for (MapKind kind : {MapKind::Radar, MapKind::Satellite}) {
    EXPECT_EQ(maps.Map(kind).picture.Width(), 400);
    EXPECT_EQ(maps.Map(kind).picture.Height(), 300);
    EXPECT_EQ(maps.Map(kind).icon.Width(), 30);
  }
  for (const wchar_t* name : {L"radar.jpg", L"Satellite.jpg"}) {
    ImageBuffer saved;
    EXPECT_TRUE(saved.LoadFile(std::wstring(kFolder) + L"\\" + name, ImageType::Jpeg))
        << testing::ToString(name);
    EXPECT_EQ(saved.Width(), 400);
  }
  for (const wchar_t* name : {L"iconradar.bmp", L"iconSatellite.bmp", L"iconradarsatellite.bmp"}) {
    const auto icon = platform::LoadDibFile(std::wstring(kFolder) + L"\\" + name);
    ASSERT_NE(icon, nullptr) << testing::ToString(name);
    EXPECT_EQ(icon->Width(), 30);
    EXPECT_EQ(icon->Height(), 30);
    EXPECT_EQ(icon->header.bitCount, 24);
  }
}

TEST_F(WeatherMapSetTest, DrawsThePictureStretchedAndTheIconAtItsOwnSize) {
  WeatherMapSet maps;
  CaptureContext dc(platform::Rect{0, 0, 240, 320});
  EXPECT_FALSE(maps.DrawMapPicture(MapKind::Radar, &dc, 0, 60, 240, 180));
  EXPECT_FALSE(maps.DrawMapIcon(MapKind::Radar, &dc, 0, 0));
  EXPECT_TRUE(dc.blits.empty());

  GivePicture(maps, MapKind::Radar, 400, 300);
  ASSERT_TRUE(maps.CropMapIcon(MapKind::Radar, kFolder));
  EXPECT_TRUE(maps.DrawMapPicture(MapKind::Radar, &dc, 0, 60, 240, 180));
  EXPECT_TRUE(maps.DrawMapIcon(MapKind::Radar, &dc, 40, 0));
  ASSERT_EQ(dc.blits.size(), 2u);
  EXPECT_EQ((platform::Rect{dc.blits[0].x, dc.blits[0].y, dc.blits[0].width, dc.blits[0].height}),
            (platform::Rect{0, 60, 240, 180}));
  // Row 0 of 180 stretched from 300 takes source row ceil(300 / 180) - 1 = 1.
  EXPECT_EQ(dc.blits[0].At(0, 0), PatternColor(0, 1));
  EXPECT_EQ((platform::Rect{dc.blits[1].x, dc.blits[1].y, dc.blits[1].width, dc.blits[1].height}),
            (platform::Rect{40, 0, 30, 30}));
  EXPECT_EQ(dc.blits[1].At(0, 0), PatternColor(15, 15));
}

TEST_F(WeatherMapSetTest, RunningOutOfMemoryShowsTheOperationsMessage) {
  const struct {
    const wchar_t* text;
    bool (*run)(WeatherMapSet&);
  } cases[] = {
      {L"Loading Image Error",
       [](WeatherMapSet& m) { return m.LoadSavedMap(MapKind::Radar, kFolder); }},
      {L"Cropping Image Error",
       [](WeatherMapSet& m) { return m.CropMapIcon(MapKind::Radar, kFolder); }},
      {L"Merging Image Error",
       [](WeatherMapSet& m) {
         m.MergeMapIcons(kFolder);
         return false;
       }},
  };
  for (const auto& c : cases) {
    WeatherMapSet maps;
    GivePicture(maps, MapKind::Radar, 100, 100);
    GivePicture(maps, MapKind::Satellite, 100, 100);
    ASSERT_TRUE(maps.CropMapIcon(MapKind::Radar, kFolder));
    std::filesystem::remove(File(L"iconradar.bmp"));
    testing::RecordingMessageBoxes boxes;
    bool result;
    {
      testing::FailAllocations fail;
      result = c.run(maps);
    }
    SCOPED_TRACE(testing::ToString(c.text));
    EXPECT_FALSE(result);
    const auto shown = boxes.boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].owner, nullptr);
    EXPECT_EQ(shown[0].type, platform::MB_OK);
    EXPECT_EQ(shown[0].text, c.text);
    EXPECT_EQ(shown[0].caption, c.text);
    EXPECT_EQ(maps.Map(MapKind::Radar).picture.Width(), 100);
  }
}

}  // namespace
}  // namespace cirrodex
