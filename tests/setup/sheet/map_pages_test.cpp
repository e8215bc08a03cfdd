// The Radar, Satellite and Icon pages against the real weather service: how pictures are fitted
// and drawn, the URL edits and "Update", taps on the Icon page, and pages without any picture.
// The installed download run's map files are checked in tests/end_to_end.

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/weather_report.h"
#include "dialog/input_panel.h"
#include "setup/sheet/gantrel_dlg.h"
#include "setup/sheet/map_page_layout.h"
#include "tests/imaging/image_test_util.h"
#include "tests/setup/sheet/sheet_test_util.h"
#include "tests/support/raw_server.h"

namespace cirrodex {
namespace {

namespace fs = std::filesystem;

using platform::RecordingContext;
using testing::CaptureContext;
using testing::Le32;
using testing::ReadBytes;

constexpr char kRadarPath[] = "/weather/live/brradar1.jpg";
constexpr char kSatellitePath[] = "/weather/live/brsat1.jpg";

template <class Page>
class Probe : public Page {
 public:
  using Page::OnPaint;
  using Page::Page;
};

// Serves one JPEG on 127.0.0.1, or "503" while it is unavailable, and counts the requests.
class CountingMapHost {
 public:
  explicit CountingMapHost(std::vector<uint8_t> jpeg)
      : body_(jpeg.begin(), jpeg.end()),
        server_(
            [this](testing::RawServer::Connection& connection) {
              if (connection.Path() != "/map.jpg") {
                connection.Reply(404, "text/plain", "");
                return;
              }
              ++requests_;
              if (available_) {
                connection.Reply(200, "image/jpeg", body_);
              } else {
                connection.Reply(503, "text/plain", "");
              }
            },
            testing::RawServer::Serving::Concurrently) {}
  std::wstring Url() const { return server_.WideUrl("/map.jpg"); }
  int requests() const { return requests_; }
  void SetAvailable(bool available) { available_ = available; }

 private:
  std::string body_;
  std::atomic<int> requests_{0};
  std::atomic<bool> available_{true};
  testing::RawServer server_;  // last: it stops before the state above goes
};

std::wstring UnreachableUrl() {
  const std::string url =
      "http://127.0.0.1:" + std::to_string(testing::UnusedPort()) + "/nothing.jpg";
  return std::wstring(url.begin(), url.end());
}

// A smooth picture of the given size, as JPEG bytes.
std::vector<uint8_t> GradientJpeg(int width, int height) {
  ImageBuffer picture(ImageType::Jpeg);
  testing::FillGradient(picture, width, height);
  return testing::EncodeJpeg(picture);
}

class MapPages : public testing::SheetTest {
 protected:
  void SetUp() override {
    SheetTest::SetUp();
    fs::create_directories(testing::InstallFolderPath());
    PointMapsAt(Service().WideUrl(kRadarPath), Service().WideUrl(kSatellitePath));
  }

  // Stores both URLs and starts the maps afresh from the registry, as a new run of the program
  // would. No page may be alive.
  static void PointMapsAt(const std::wstring& radar, const std::wstring& satellite) {
    StoreString(HKEY_CURRENT_USER, kSettingsKey, L"RadarImageURL", radar);
    StoreString(HKEY_CURRENT_USER, kSettingsKey, L"SatelliteImageURL", satellite);
    ResetWeatherMapsForTesting();
    WeatherMaps();
  }
  static fs::path MapFile(const char* name) { return testing::InstallFolderPath() / name; }
  static std::wstring Setting(const wchar_t* name) {
    std::wstring value = L"(missing)";
    ReadString(HKEY_CURRENT_USER, kSettingsKey, name, value);
    return value;
  }
  static uint32_t Crop(const wchar_t* name) {
    return ReadDwordOr(HKEY_CURRENT_USER, kSettingsKey, name, 0xDEAD);
  }
  // Whether the map file holds a picture of that size: JPEGs as the pages load them, BMPs as the
  // Today screen reads them.
  static bool FileLoads(const fs::path& file, ImageType type, int width, int height) {
    const std::wstring handheld =
        std::wstring(kDefaultInstallFolder) + L"\\" + file.filename().wstring();
    if (type == ImageType::Bmp) {
      const auto bitmap = platform::LoadDibFile(handheld);
      return bitmap != nullptr && bitmap->Width() == width && bitmap->Height() == height;
    }
    ImageBuffer image(type);
    return image.LoadFile(handheld, type) && image.Width() == width && image.Height() == height;
  }
  // Where each SetDIBitsToDevice of a paint went: x, y, width, height.
  static std::vector<platform::Rect> Blits(const RecordingContext& dc) {
    std::vector<platform::Rect> blits;
    for (const auto& call : dc.CallsOf(RecordingContext::Kind::SetDIBits)) {
      blits.push_back(call.rect);
    }
    return blits;
  }

  // A sheet shown and active on `page`, so focus and clicks behave as for a user.
  template <class Page>
  Page& ShowSheetOn(Page CGantrelDlg::*page) {
    sheet_ = std::make_unique<CGantrelDlg>();
    sheet_->SetActivePage(&(sheet_.get()->*page));
    QDialog* window = sheet_->Create();
    window->show();
    QApplication::setActiveWindow(window);
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    return sheet_.get()->*page;
  }
  void TearDown() override {
    sheet_.reset();
    SheetTest::TearDown();
  }

  QWidget parent_;
  std::unique_ptr<CGantrelDlg> sheet_;
};

TEST(MapPageLayout, FitsPicturesIntoTheSquareByTheirAspect) {
  struct Case {
    int width, height, side;
    FittedSize expected;
  };
  const Case cases[] = {
      {400, 300, 240, {240, 180}},
      {300, 400, 240, {180, 240}},
      {400, 300, 200, {200, 150}},
      {300, 400, 200, {150, 200}},
      {100, 100, 240, {240, 240}},
      {1000, 333, 240, {240, 79}},
      {333, 1000, 240, {79, 240}},
      {640, 480, 200, {200, 150}},
      {401, 300, 240, {240, 179}},
      // A sliver still shows as one pixel rather than at the picture's own size.
      {16384, 1, 240, {240, 1}},
      {1, 16384, 200, {1, 200}},
  };
  for (const Case& c : cases) {
    const float aspect = static_cast<float>(c.height) / static_cast<float>(c.width);
    const FittedSize fitted = FitToSquare(aspect, c.side);
    EXPECT_EQ(fitted.width, c.expected.width) << c.width << "x" << c.height << " in " << c.side;
    EXPECT_EQ(fitted.height, c.expected.height) << c.width << "x" << c.height << " in " << c.side;
  }
}

TEST_F(MapPages, UrlPagesShowTheirLabelOnOneLineAndTheUrlFromItsStart) {
  Probe<CWeatherMaps> radar;
  Probe<CSatelliteMap> satellite;
  struct Case {
    MapUrlPage* page;
    const char* label;
    const char* path;
  };
  const Case cases[] = {{&radar, "Radar Image URL Path", kRadarPath},
                        {&satellite, "Satellite Image URL Path", kSatellitePath}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_TRUE(c.page->Create(&parent_));
    const auto labels = c.page->Window()->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0]->text(), c.label);
    auto* update = DialogItemAs<QPushButton>(c.page->Window(), 1032);
    ASSERT_NE(update, nullptr);
    EXPECT_TRUE(update->isDefault());
    // A text wider than its box takes room up to the button rather than wrapping.
    QLabel oneLine(labels[0]->text());
    oneLine.setFont(labels[0]->font());
    EXPECT_GE(labels[0]->width(), oneLine.sizeHint().width());
    EXPECT_LT(labels[0]->geometry().right(), update->geometry().left());

    auto* edit = DialogItemAs<QLineEdit>(c.page->Window(), 1031);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(FromQString(edit->text()), Service().WideUrl(c.path)) << "the map's URL";
    EXPECT_EQ(edit->cursorPosition(), 0) << "shown from its start";
  }
}

TEST_F(MapPages, UrlPagesFetchTheirMapOnOpeningAndShowIt400By300As240By180) {
  struct Case {
    MapKind kind;
    const wchar_t* urlValue;
    const char* path;
    const char* jpeg;
    const char* icon;
    const char* otherJpeg;
  };
  const Case cases[] = {
      {MapKind::Radar, L"RadarImageURL", kRadarPath, "radar.jpg", "iconradar.bmp", "Satellite.jpg"},
      {MapKind::Satellite, L"SatelliteImageURL", kSatellitePath, "Satellite.jpg",
       "iconSatellite.bmp", "radar.jpg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.jpeg);
    fs::remove_all(testing::InstallFolderPath());
    fs::create_directories(testing::InstallFolderPath());
    // Stored before, so the page must write it again for the check to see it.
    DeleteValue(HKEY_CURRENT_USER, kSettingsKey, c.urlValue);
    waits_.begun = 0;
    std::unique_ptr<MapUrlPage> page;
    if (c.kind == MapKind::Radar) {
      page = std::make_unique<Probe<CWeatherMaps>>();
    } else {
      page = std::make_unique<Probe<CSatelliteMap>>();
    }
    ASSERT_TRUE(page->Create(&parent_));

    EXPECT_EQ(waits_.begun, 1);
    EXPECT_EQ(waits_.depth, 0);
    EXPECT_EQ(Setting(c.urlValue), Service().WideUrl(c.path));
    EXPECT_EQ(page->PictureWidth(), 240);
    EXPECT_EQ(page->PictureHeight(), 180);
    EXPECT_TRUE(FileLoads(MapFile(c.jpeg), ImageType::Jpeg, 400, 300));
    EXPECT_TRUE(FileLoads(MapFile(c.icon), ImageType::Bmp, 30, 30)) << "the first icon is cut";
    EXPECT_FALSE(fs::exists(MapFile(c.otherJpeg)));
    EXPECT_FALSE(fs::exists(MapFile("iconradarsatellite.bmp")));

    CaptureContext dc;
    if (c.kind == MapKind::Radar) {
      static_cast<Probe<CWeatherMaps>*>(page.get())->OnPaint(dc);
    } else {
      static_cast<Probe<CSatelliteMap>*>(page.get())->OnPaint(dc);
    }
    ASSERT_EQ(Blits(dc), (std::vector<platform::Rect>{{0, 60, 240, 240}}));
    // The blit is the map's picture stretched: its corners are the pixels that the buffer's
    // stretch picks for them.
    const ImageBuffer& picture = WeatherMaps().Map(c.kind).picture;
    EXPECT_EQ(dc.blits[0].At(0, 0), testing::PixelFromTop(picture, 0, 1));
    EXPECT_EQ(dc.blits[0].At(239, 179), testing::PixelFromTop(picture, 398, 299));
    EXPECT_TRUE(messages_.boxes().empty());
  }
}

TEST_F(MapPages, APortraitPictureFromTheSavedJpegFitsAs180By240) {
  testing::WriteBytes(MapFile("radar.jpg"), GradientJpeg(300, 400));
  PointMapsAt(UnreachableUrl(), UnreachableUrl());
  Probe<CWeatherMaps> radar;
  ASSERT_TRUE(radar.Create(&parent_));
  EXPECT_EQ(radar.PictureWidth(), 180);
  EXPECT_EQ(radar.PictureHeight(), 240);
  RecordingContext radarDc;
  radar.OnPaint(radarDc);
  EXPECT_EQ(Blits(radarDc), (std::vector<platform::Rect>{{0, 60, 180, 300}}));

  Probe<CWeatherIcon> icon;
  ASSERT_TRUE(icon.Create(&parent_));
  EXPECT_EQ(icon.Display(), (platform::Rect{0, 40, 150, 240}));
  EXPECT_FALSE(fs::exists(MapFile("Satellite.jpg")));
}

TEST_F(MapPages, IconPageStandsTheRadarPictureOnLine240BelowBothIcons) {
  Probe<CWeatherIcon> page;
  ASSERT_TRUE(page.Create(&parent_));
  EXPECT_EQ(waits_.begun, 2) << "one fetch for each map";
  EXPECT_EQ(page.Display(), (platform::Rect{0, 90, 200, 240}));
  EXPECT_TRUE(FileLoads(MapFile("radar.jpg"), ImageType::Jpeg, 400, 300));
  EXPECT_TRUE(FileLoads(MapFile("Satellite.jpg"), ImageType::Jpeg, 400, 300));
  EXPECT_TRUE(FileLoads(MapFile("iconradar.bmp"), ImageType::Bmp, 30, 30));
  EXPECT_TRUE(FileLoads(MapFile("iconSatellite.bmp"), ImageType::Bmp, 30, 30));
  EXPECT_FALSE(fs::exists(MapFile("iconradarsatellite.bmp"))) << "opening merges nothing";

  CaptureContext dc;
  page.OnPaint(dc);
  EXPECT_EQ(Blits(dc),
            (std::vector<platform::Rect>{{0, 90, 200, 240}, {0, 0, 30, 30}, {40, 0, 70, 30}}));
  // The icons are the default crop, centred 30 pixels from the left and top.
  const ImageBuffer& radar = WeatherMaps().Map(MapKind::Radar).picture;
  ASSERT_EQ(dc.blits.size(), 3u);
  EXPECT_EQ(dc.blits[1].At(0, 0), testing::PixelFromTop(radar, 15, 15));
  EXPECT_EQ(dc.blits[1].At(29, 29), testing::PixelFromTop(radar, 44, 44));
}

TEST_F(MapPages, IconPageFetchesOnlyTheMapsItDoesNotHoldYet) {
  CWeatherMaps radar;
  ASSERT_TRUE(radar.Create(&parent_));
  ASSERT_EQ(waits_.begun, 1);
  const ImageBuffer& picture = WeatherMaps().Map(MapKind::Radar).picture;
  const uint8_t* heldPixels = picture.Pixels();

  CWeatherIcon icon;
  ASSERT_TRUE(icon.Create(&parent_));
  EXPECT_EQ(waits_.begun, 2) << "only the satellite map is fetched";
  EXPECT_EQ(picture.Pixels(), heldPixels) << "the radar picture was not replaced";
  EXPECT_TRUE(WeatherMaps().Map(MapKind::Satellite).picture.IsValid());
}

TEST_F(MapPages, ATapCentresBothIconsOnTheTappedPointOfEachPicture) {
  CWeatherIcon& page = ShowSheetOn(&CGantrelDlg::icon_);
  ASSERT_EQ(page.Display(), (platform::Rect{0, 90, 200, 240}));
  QTest::mouseClick(page.Window(), Qt::LeftButton, {}, QPoint(100, 140));

  for (const wchar_t* map : {L"Radar", L"Satellite"}) {
    const std::wstring prefix = map;
    SCOPED_TRACE(testing::ToString(prefix));
    EXPECT_EQ(Crop((prefix + L"CropSizeX").c_str()), 30u);
    EXPECT_EQ(Crop((prefix + L"CropSizeY").c_str()), 30u);
    EXPECT_EQ(Crop((prefix + L"CropCenterX").c_str()), 200u);
    EXPECT_EQ(Crop((prefix + L"CropCenterY").c_str()), 100u);
  }
  for (MapKind kind : {MapKind::Radar, MapKind::Satellite}) {
    const WeatherMap& map = WeatherMaps().Map(kind);
    ASSERT_EQ(map.icon.Width(), 30);
    ASSERT_EQ(map.icon.Height(), 30);
    EXPECT_EQ(testing::PixelFromTop(map.icon, 0, 0), testing::PixelFromTop(map.picture, 185, 85));
    EXPECT_EQ(testing::PixelFromTop(map.icon, 29, 29),
              testing::PixelFromTop(map.picture, 214, 114));
  }
  // The merged icon: a 24-bit picture of the radar icon's size.
  const std::vector<uint8_t> merged = ReadBytes(MapFile("iconradarsatellite.bmp"));
  ASSERT_EQ(merged.size(), 54u + 92u * 30u);
  EXPECT_EQ(Le32(merged, 18), 30u);
  EXPECT_EQ(Le32(merged, 22), 30u);
  EXPECT_EQ(merged[28], 24);
  // The icon file holds the new cut.
  const auto saved =
      platform::LoadDibFile(std::wstring(kDefaultInstallFolder) + L"\\iconradar.bmp");
  ASSERT_NE(saved, nullptr);
  const ImageBuffer& radarIcon = WeatherMaps().Map(MapKind::Radar).icon;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 30; ++x) {
      ASSERT_EQ(saved->PixelFromTop(x, y), testing::PixelFromTop(radarIcon, x, y)) << x << "," << y;
    }
  }
}

TEST_F(MapPages, ATapOutsideThePictureStillCutsAnIconInsideIt) {
  CWeatherIcon page;
  ASSERT_TRUE(page.Create(&parent_));
  struct Case {
    int x, y;
    uint32_t centreX, centreY;
  };
  const Case cases[] = {
      {250, 0, 385, 15},     // right of and above the picture
      {-20, 300, 15, 285},   // left of and below it
      {0, 90, 15, 15},       // its top-left corner
      {199, 239, 385, 285},  // its bottom-right pixel
  };
  for (const Case& c : cases) {
    page.Tap(c.x, c.y);
    EXPECT_EQ(Crop(L"RadarCropCenterX"), c.centreX) << c.x << "," << c.y;
    EXPECT_EQ(Crop(L"RadarCropCenterY"), c.centreY) << c.x << "," << c.y;
    EXPECT_EQ(WeatherMaps().Map(MapKind::Radar).icon.Width(), 30);
    EXPECT_EQ(WeatherMaps().Map(MapKind::Radar).icon.Height(), 30);
  }
}

TEST_F(MapPages, WithoutNetworkOrSavedPictureOnlyTheControlsShowAndTapsDoNothing) {
  PointMapsAt(UnreachableUrl(), UnreachableUrl());
  Probe<CWeatherMaps> radar;
  ASSERT_TRUE(radar.Create(&parent_));
  EXPECT_EQ(radar.PictureWidth(), 0);
  EXPECT_EQ(radar.PictureHeight(), 0);
  RecordingContext radarDc;
  radar.OnPaint(radarDc);
  EXPECT_TRUE(radarDc.calls().empty());

  Probe<CWeatherIcon> icon;
  icon.Create(&parent_);
  parent_.show();
  EXPECT_EQ(icon.Display(), (platform::Rect{0, 240, 0, 240}));
  RecordingContext iconDc;
  icon.OnPaint(iconDc);
  EXPECT_TRUE(iconDc.calls().empty());
  QTest::mouseClick(icon.Window(), Qt::LeftButton, {}, QPoint(100, 140));
  icon.Tap(100, 140);

  EXPECT_EQ(Crop(L"RadarCropCenterX"), 0xDEADu) << "nothing stored";
  EXPECT_EQ(Crop(L"SatelliteCropSizeX"), 0xDEADu);
  EXPECT_TRUE(fs::is_empty(testing::InstallFolderPath())) << "no file written";
  EXPECT_TRUE(messages_.boxes().empty()) << "nothing is reported";
}

TEST_F(MapPages, LeavingTheEditStoresTheUrlWithoutFetchingAndUpdateFetchesIt) {
  CountingMapHost host(GradientJpeg(300, 400));
  QWidget panel;
  panel.setProperty(kWindowClassProperty, QString::fromLatin1(kInputPanelClass));
  panel.hide();

  CWeatherMaps& page = ShowSheetOn(&CGantrelDlg::radar_);
  ASSERT_EQ(page.PictureWidth(), 240);
  const std::vector<uint8_t> iconBefore = ReadBytes(MapFile("iconradar.bmp"));
  ASSERT_FALSE(iconBefore.empty());

  auto* edit = DialogItemAs<QLineEdit>(page.Window(), 1031);
  edit->setFocus(Qt::MouseFocusReason);
  EXPECT_TRUE(panel.isVisible()) << "the input panel shows while the edit has the focus";
  edit->selectAll();
  QTest::keyClicks(edit, ToQString(host.Url()));
  sheet_->Window()->findChild<QTabBar*>()->setFocus(Qt::MouseFocusReason);

  EXPECT_FALSE(panel.isVisible());
  EXPECT_EQ(Setting(L"RadarImageURL"), host.Url());
  EXPECT_EQ(WeatherMaps().Map(MapKind::Radar).url, host.Url());
  EXPECT_EQ(host.requests(), 0) << "leaving the edit fetches nothing";
  EXPECT_EQ(WeatherMaps().Map(MapKind::Radar).picture.Width(), 400);

  QTest::mouseClick(DialogItemAs<QPushButton>(page.Window(), 1032), Qt::LeftButton);
  EXPECT_EQ(host.requests(), 1);
  EXPECT_EQ(Setting(L"RadarImageURL"), host.Url());
  EXPECT_EQ(WeatherMaps().Map(MapKind::Radar).picture.Width(), 300);
  EXPECT_EQ(page.PictureWidth(), 180);
  EXPECT_EQ(page.PictureHeight(), 240);
  EXPECT_TRUE(FileLoads(MapFile("radar.jpg"), ImageType::Jpeg, 300, 400));
  EXPECT_EQ(ReadBytes(MapFile("iconradar.bmp")), iconBefore) << "an icon once cut is kept";
  EXPECT_EQ(waits_.depth, 0);
}

TEST_F(MapPages, EnterInTheEditPressesUpdateAndLeavesTheSheetOpen) {
  CountingMapHost host(GradientJpeg(300, 400));
  CWeatherMaps& page = ShowSheetOn(&CGantrelDlg::radar_);
  auto* edit = DialogItemAs<QLineEdit>(page.Window(), 1031);
  edit->setFocus(Qt::MouseFocusReason);
  edit->selectAll();
  QTest::keyClicks(edit, ToQString(host.Url()));
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(host.requests(), 1);
  EXPECT_EQ(page.PictureWidth(), 180);
  EXPECT_TRUE(sheet_->Window()->isVisible());
}

TEST_F(MapPages, AFailedUpdateFallsBackToTheSavedPictureAndKeepsTheIcon) {
  Probe<CWeatherMaps> page;
  ASSERT_TRUE(page.Create(&parent_));
  const std::vector<uint8_t> jpegBefore = ReadBytes(MapFile("radar.jpg"));
  const std::vector<uint8_t> iconBefore = ReadBytes(MapFile("iconradar.bmp"));
  ASSERT_FALSE(iconBefore.empty());
  // A picture held in memory that differs from the saved one shows whether the page reloaded.
  ImageBuffer& held = WeatherMaps().Map(MapKind::Radar).picture;
  testing::FillGradient(held, 64, 64);

  page.SetDlgItemText(1031, UnreachableUrl());
  page.UpdateMap();
  EXPECT_EQ(held.Width(), 400) << "the saved map JPEG was loaded";
  EXPECT_EQ(page.PictureWidth(), 240);
  EXPECT_EQ(ReadBytes(MapFile("radar.jpg")), jpegBefore);
  EXPECT_EQ(ReadBytes(MapFile("iconradar.bmp")), iconBefore);
  EXPECT_EQ(Setting(L"RadarImageURL"), page.Url()) << "the URL is stored all the same";
  EXPECT_TRUE(messages_.boxes().empty());
}

// A page that found no picture when it opened shows one that another page fetched later, fitted
// as its own would have been rather than at the picture's own size.
TEST_F(MapPages, TheRadarPageFitsAPictureThatTheIconPageFetched) {
  CountingMapHost host(GradientJpeg(400, 300));
  PointMapsAt(host.Url(), host.Url());
  host.SetAvailable(false);
  CWeatherMaps& radar = ShowSheetOn(&CGantrelDlg::radar_);
  ASSERT_EQ(radar.PictureWidth(), 0);

  host.SetAvailable(true);
  ASSERT_TRUE(sheet_->SetActivePage(&sheet_->icon_));
  ASSERT_EQ(sheet_->icon_.Display(), (platform::Rect{0, 90, 200, 240}));
  ASSERT_TRUE(sheet_->SetActivePage(&sheet_->radar_));
  EXPECT_EQ(radar.PictureWidth(), 240);
  EXPECT_EQ(radar.PictureHeight(), 180);
  EXPECT_EQ(host.requests(), 3) << "the Radar page fetched nothing on its return";
}

TEST_F(MapPages, TheIconPageFitsAPictureThatTheSatellitePageFetched) {
  CountingMapHost host(GradientJpeg(300, 400));
  PointMapsAt(host.Url(), host.Url());
  host.SetAvailable(false);
  CWeatherIcon& icon = ShowSheetOn(&CGantrelDlg::icon_);
  ASSERT_EQ(icon.DisplayWidth(), 0);
  QTest::mouseClick(icon.Window(), Qt::LeftButton, {}, QPoint(100, 140));
  EXPECT_EQ(Crop(L"SatelliteCropCenterX"), 0xDEADu);

  host.SetAvailable(true);
  ASSERT_TRUE(sheet_->SetActivePage(&sheet_->satellite_));
  ASSERT_EQ(sheet_->satellite_.PictureWidth(), 180);
  ASSERT_TRUE(sheet_->SetActivePage(&sheet_->icon_));
  EXPECT_EQ(icon.Display(), (platform::Rect{0, 40, 150, 240}));
  QTest::mouseClick(icon.Window(), Qt::LeftButton, {}, QPoint(75, 140));
  EXPECT_EQ(Crop(L"SatelliteCropCenterX"), 150u) << "taps work once a picture shows";
  EXPECT_EQ(Crop(L"SatelliteCropCenterY"), 200u);
  EXPECT_EQ(Crop(L"RadarCropCenterX"), 0xDEADu) << "the radar map holds no picture";
}

// With URLs that name "{city}" the maps show the area of the city chosen on the Locations page,
// saved or not, and follow a new choice when their pages show again.
TEST_F(MapPages, CityMapsFollowTheCityChosenOnTheLocationsPage) {
  const std::vector<uint8_t> wide = GradientJpeg(400, 300), tall = GradientJpeg(300, 400);
  testing::RawServer host([&](testing::RawServer::Connection& connection) {
    const auto& jpeg = connection.Path().find("FRXX0076") != std::string::npos ? tall : wide;
    connection.Reply(200, "image/jpeg", std::string(jpeg.begin(), jpeg.end()));
  });
  PointMapsAt(host.WideUrl("/r/{city}.jpg"), host.WideUrl("/s/{city}.jpg"));
  testing::StoreCities(testing::kSixCities, 0);
  CWeatherMaps& radar = ShowSheetOn(&CGantrelDlg::radar_);
  EXPECT_EQ(radar.PictureWidth(), 240) << "London";
  EXPECT_EQ(Setting(L"RadarImageURL"), host.WideUrl("/r/{city}.jpg")) << "stored as it is";
  ASSERT_TRUE(sheet_->SetActivePage(&sheet_->locations_));
  DialogItemAs<QRadioButton>(sheet_->locations_.Window(), 1010)->click();
  ASSERT_TRUE(sheet_->SetActivePage(&sheet_->radar_));
  EXPECT_EQ(radar.PictureWidth(), 180) << "Paris";
  ASSERT_TRUE(sheet_->SetActivePage(&sheet_->icon_));
  EXPECT_EQ(sheet_->icon_.Display(), (platform::Rect{0, 40, 150, 240}));
  ASSERT_TRUE(sheet_->SetActivePage(&sheet_->locations_));
  DialogItemAs<QRadioButton>(sheet_->locations_.Window(), 1011)->click();
  ASSERT_TRUE(sheet_->PressOk()) << "the strip's city changes: its map icons follow";
  std::string asked;
  for (const std::string& head : host.Requests()) asked += head.substr(0, head.find(" HTTP"));
  EXPECT_EQ(asked,
            "GET /r/UKXX0085.jpgGET /r/FRXX0076.jpgGET /s/FRXX0076.jpgGET /r/SZXX0013.jpgGET "
            "/s/SZXX0013.jpg");
}

// Pictures of the three pages as a person sees them, in <build>/page-shots.
TEST_F(MapPages, PicturesOfThePagesAfterATap) {
  const fs::path folder = testing::BuildDir() / "page-shots";
  fs::create_directories(folder);
  ShowSheetOn(&CGantrelDlg::radar_);
  struct Shot {
    PropertyPage* page;
    const char* name;
  };
  const Shot shots[] = {{&sheet_->radar_, "map-radar.png"},
                        {&sheet_->satellite_, "map-satellite.png"},
                        {&sheet_->icon_, "map-icon.png"}};
  for (const Shot& shot : shots) {
    ASSERT_TRUE(sheet_->SetActivePage(shot.page));
    if (shot.page == &sheet_->icon_) {
      QTest::mouseClick(shot.page->Window(), Qt::LeftButton, {}, QPoint(120, 170));
    }
    testing::ProcessEvents();
    const QImage image = shot.page->Window()->grab().toImage();
    // The picture covers the page's lower part: its middle is not the page's white.
    EXPECT_NE(image.pixel(100, 180), image.pixel(image.width() - 1, image.height() - 1))
        << shot.name;
    EXPECT_TRUE(
        sheet_->Window()->grab().save(QString::fromStdString((folder / shot.name).string())));
  }
}

}  // namespace
}  // namespace cirrodex
