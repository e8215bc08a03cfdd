// The live map pictures against stand-ins for RainViewer and GIBS on 127.0.0.1, through the real
// libcurl client; the test drives the clock.
#include "service/maps/live_maps.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "imaging/image_buffer.h"
#include "service/maps/picture_queue.h"
#include "tests/service/map_stand_in.h"

namespace cirrodex::service {
namespace {

constexpr std::time_t kStart = 1796659500;  // 2026-12-07 16:05 UTC, 5 minutes after the frame

RgbPicture Decode(const std::string& jpeg) {
  ImageBuffer image(ImageType::Jpeg);
  RgbPicture out;
  if (!image.DecodeMemory(reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size(),
                          ImageType::Jpeg)) {
    return out;
  }
  out = BlankPicture(image.Width(), image.Height(), 0, 0, 0);
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      const RgbQuad c = image.ReadPixelColor(x, out.height - 1 - y);
      uint8_t* p = &out.pixels[(static_cast<size_t>(y) * out.width + x) * 3];
      p[0] = c.red, p[1] = c.green, p[2] = c.blue;
    }
  }
  return out;
}

const uint8_t* At(const RgbPicture& p, int x, int y) {
  return &p.pixels[(static_cast<size_t>(y) * p.width + x) * 3];
}

Location Place(const std::string& code, double latitude, double longitude) {
  return Location{code, code, "", latitude, longitude, ""};
}

class LiveMapsTest : public ::testing::Test {
 protected:
  std::unique_ptr<LiveMaps> Maps(MapSources sources = {}) {
    sources.radarIndexUrl = standIn_.IndexUrl();
    sources.imageryUrl = standIn_.WmsUrl();
    return std::make_unique<LiveMaps>(sources, MakeCurlUpstreamClient(), clock_,
                                      [this](const std::string& line) {
                                        std::lock_guard lock(mutex_);
                                        notes_ += line + "\n";
                                      });
  }
  std::string Notes() {
    std::lock_guard lock(mutex_);
    return notes_;
  }

  MapStandIn standIn_;
  DrivenClock clock_{kStart};
  std::mutex mutex_;
  std::string notes_;
};

struct Alignment {
  const char* name;
  double latitude, longitude;          // the city
  double blobLatitude, blobLongitude;  // the stand-in's blob
};

class MapAlignment : public LiveMapsTest, public ::testing::WithParamInterface<Alignment> {};

// Where a point falls at zoom 6 relative to the city in the picture's centre, from the textbook
// formulas, across the antimeridian the short way.
std::pair<double, double> Expected(const Alignment& a) {
  const double side = 256.0 * 64;
  auto y = [side](double lat) {
    lat *= M_PI / 180;
    return (1 - std::log(std::tan(lat) + 1 / std::cos(lat)) / M_PI) / 2 * side;
  };
  double dLon = a.blobLongitude - a.longitude;
  dLon -= 360 * std::round(dLon / 360);
  return {200 + dLon / 360 * side, 150 + y(a.blobLatitude) - y(a.latitude)};
}

TEST_P(MapAlignment, BlobLandsOnItsPixelBothPicturesAskTheSameBoxWithMarkerAndCredit) {
  const Alignment& a = GetParam();
  standIn_.SetBlob(a.blobLatitude, a.blobLongitude);
  auto maps = Maps();
  const LivePicture radar = maps->Picture(MapKind::Radar, Place("X", a.latitude, a.longitude));
  ASSERT_FALSE(radar.sample) << Notes();
  const RgbPicture picture = Decode(radar.jpeg);
  ASSERT_EQ(picture.width, 400);
  ASSERT_EQ(picture.height, 300);

  double sumX = 0, sumY = 0, count = 0;
  for (int y = 0; y < 300; ++y) {
    for (int x = 0; x < 400; ++x) {
      const uint8_t* p = At(picture, x, y);
      if (p[0] > 170 && p[1] < 90 && p[2] < 90) sumX += x, sumY += y, ++count;
    }
  }
  ASSERT_GT(count, 10) << "no blob in the picture";
  const auto [ex, ey] = Expected(a);
  EXPECT_NEAR(sumX / count, ex, 2.0);
  EXPECT_NEAR(sumY / count, ey, 2.0);

  // The marker's white ring around the centre, the credit's dark band on the grey base.
  EXPECT_GT(At(picture, 200 + 3, 150)[0], 200);
  EXPECT_LT(At(picture, 200 + 5, 150)[0], 60);
  EXPECT_LT(At(picture, 100, 296)[0], 70);
  EXPECT_NE(radar.credit.find("RAINVIEWER.COM"), std::string::npos);
  EXPECT_NE(radar.credit.find("2026-12-07 16:00 UTC"), std::string::npos);
  int light = 0;
  for (int x = 0; x < 200; ++x) light += At(picture, x, 293)[0] > 180;
  EXPECT_GT(light, 20) << "no text in the credit line";

  const size_t radarRequests = standIn_.WmsTargets().size();
  const LivePicture satellite =
      maps->Picture(MapKind::Satellite, Place("X", a.latitude, a.longitude));
  ASSERT_FALSE(satellite.sample) << Notes();
  EXPECT_NE(satellite.credit.find("NASA GIBS"), std::string::npos);
  const auto targets = standIn_.WmsTargets();
  ASSERT_EQ(targets.size(), radarRequests * 2);
  for (size_t i = 0; i < radarRequests; ++i) {
    for (const char* name : {"BBOX", "WIDTH", "HEIGHT", "CRS"}) {
      EXPECT_EQ(testing::QueryParam(targets[i], name),
                testing::QueryParam(targets[radarRequests + i], name))
          << name;
    }
  }
  EXPECT_GT(At(Decode(satellite.jpeg), 203, 150)[0], 200);
}

INSTANTIATE_TEST_SUITE_P(Places, MapAlignment,
                         ::testing::Values(Alignment{"London", 51.51, -0.13, 52.2, 1.1},
                                           Alignment{"Sydney", -33.87, 151.21, -34.6, 149.9},
                                           Alignment{"Suva", -18.14, 178.44, -17.5, 179.6},
                                           Alignment{"WestOfTheDateLine", -16.0, -179.5, -15.4,
                                                     179.2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LiveMapsTest, SourceDownServesTheLastGoodPictureForThreeHoursThenSample) {
  auto maps = Maps();
  const Location london = Place("UKXX0085", 51.51, -0.13);
  const LivePicture good = maps->Picture(MapKind::Radar, london);
  ASSERT_FALSE(good.sample);
  standIn_.SetFault(MapFault::Down);
  // The frame is 5 minutes old at the start: 2.9 hours later it is 2.98 hours old.
  for (double hours : {0.5, 2.4}) {
    clock_.Advance(hours * 3600);
    const LivePicture kept = maps->Picture(MapKind::Radar, london);
    EXPECT_FALSE(kept.sample);
    EXPECT_TRUE(kept.jpeg == good.jpeg);
    EXPECT_EQ(kept.frameTime, good.frameTime);
  }
  clock_.Advance(0.2 * 3600);
  const LivePicture sample = maps->Picture(MapKind::Radar, london);
  EXPECT_TRUE(sample.sample);
  EXPECT_TRUE(sample.jpeg != good.jpeg);
  EXPECT_EQ(sample.jpeg.substr(0, 2), "\xFF\xD8");

  standIn_.SetFault(MapFault::None);
  standIn_.SetFrame(kStart + 3 * 3600);
  clock_.Advance(600);
  EXPECT_FALSE(maps->Picture(MapKind::Radar, london).sample);
  const std::string notes = Notes();
  EXPECT_NE(notes.find("radar pictures are live\n"), std::string::npos) << notes;
  EXPECT_NE(notes.find("radar pictures fail (the radar index answered status 500)"),
            std::string::npos)
      << notes;
  EXPECT_NE(notes.find("radar pictures are live again"), std::string::npos) << notes;
}

TEST_F(LiveMapsTest, RadarFramesTooOldOrTooFarAheadAreNotLive) {
  const std::pair<std::time_t, bool> frames[] = {
      {kStart - 170 * 60, true}, {kStart + 9 * 60, true}, {kStart - 190 * 60, false},
      {kStart + 11 * 60, false}, {4102444800, false},  // 2100-01-01
  };
  for (const auto& [frame, live] : frames) {
    standIn_.SetFrame(frame);
    EXPECT_EQ(Maps()->Picture(MapKind::Radar, Place("UKXX0085", 51.51, -0.13)).sample, !live)
        << frame - kStart;
  }
}

TEST_F(LiveMapsTest, TheRadarIndexIsAskedAtMostOncePerFiveMinutes) {
  auto maps = Maps();
  const std::pair<double, int> steps[] = {{0, 1}, {10, 1}, {230, 1}, {61, 2}, {299, 2}, {1, 3}};
  int place = 0;
  for (const auto& [seconds, asked] : steps) {
    clock_.Advance(seconds);
    ++place;
    EXPECT_FALSE(
        maps->Picture(MapKind::Radar, Place("P" + std::to_string(place), 40, place)).sample);
    EXPECT_EQ(standIn_.IndexRequests(), asked) << "after " << seconds << " s more";
  }
}

TEST_F(LiveMapsTest, AFailingImageryServiceIsAskedAgainOnlyAfterAMinute) {
  auto maps = Maps();
  standIn_.SetFault(MapFault::Down);
  const std::pair<double, size_t> steps[] = {{0, 1}, {20, 1}, {39, 1}, {2, 2}};
  int place = 0;
  for (const auto& [seconds, asked] : steps) {
    clock_.Advance(seconds);
    ++place;
    EXPECT_TRUE(maps->Picture(MapKind::Satellite, Place("S" + std::to_string(place), 0, 0)).sample);
    EXPECT_EQ(standIn_.WmsTargets().size(), asked) << "after " << seconds << " s more";
  }
}

TEST_F(LiveMapsTest, WithoutSourcesEveryPictureIsSampleAndNothingIsAsked) {
  MapSources none;
  none.live = false;
  auto maps = Maps(none);
  EXPECT_TRUE(maps->Picture(MapKind::Satellite, Place("X", 10, 10)).sample);
  EXPECT_TRUE(standIn_.WmsTargets().empty());
  EXPECT_EQ(standIn_.TileRequests(), 0);
}

class BadInput : public LiveMapsTest, public ::testing::WithParamInterface<MapFault> {};

TEST_P(BadInput, LeavesTheLastGoodPictureInPlace) {
  auto maps = Maps();
  // Toronto: under GOES-East, whose satellite steps change every 10 minutes.
  const Location toronto = Place("CAXX0504", 43.65, -79.38);
  const MapKind kind =
      GetParam() == MapFault::ServiceException ? MapKind::Satellite : MapKind::Radar;
  const LivePicture good = maps->Picture(kind, toronto);
  ASSERT_FALSE(good.sample);
  // A new radar frame and a new satellite step, so that both are asked for again.
  standIn_.SetFault(GetParam());
  standIn_.SetFrame(kStart + 1200);
  clock_.Advance(1200);
  const LivePicture after = maps->Picture(kind, toronto);
  EXPECT_FALSE(after.sample);
  EXPECT_TRUE(after.jpeg == good.jpeg);
  EXPECT_NE(Notes().find("pictures fail"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Faults, BadInput,
                         ::testing::Values(MapFault::TruncatedTile, MapFault::HugeTile,
                                           MapFault::HtmlTile, MapFault::IndexWithoutFrames,
                                           MapFault::ServiceException));

// Records when (on the driven clock) each request left, per source.
class Recording : public UpstreamClient {
 public:
  Recording(MapClock& clock, std::mutex& mutex, std::vector<std::pair<bool, double>>& log)
      : clock_(clock), mutex_(mutex), log_(log), inner_(MakeCurlUpstreamClient()) {}
  UpstreamReply Get(const std::string& url) override {
    {
      std::lock_guard lock(mutex_);
      log_.emplace_back(url.find("/wms/") != std::string::npos, clock_.Monotonic());
    }
    return inner_->Get(url);
  }

 private:
  MapClock& clock_;
  std::mutex& mutex_;
  std::vector<std::pair<bool, double>>& log_;
  std::unique_ptr<UpstreamClient> inner_;
};

TEST_F(LiveMapsTest, TwentyFourThousandCitiesAtOnceStayWithinEachSourcesRate) {
  std::mutex logMutex;
  std::vector<std::pair<bool, double>> log;  // (WMS, when)
  MapSources sources;
  sources.radarIndexUrl = standIn_.IndexUrl();
  sources.imageryUrl = standIn_.WmsUrl();
  LiveMaps maps(sources, std::make_unique<Recording>(clock_, logMutex, log), clock_);
  PictureQueue<bool> queue(48);
  std::mt19937 random(7);
  std::uniform_real_distribution<double> lat(-60, 70), lon(-180, 180);
  std::vector<Location> places;
  for (int i = 0; i < 24000; ++i)
    places.push_back(Place("C" + std::to_string(i), lat(random), lon(random)));
  EXPECT_GE(maps.RetryAfterSeconds(48), 60);

  // Every city asks at once, again and again: each round admits 48 and turns the rest away.
  std::atomic<int> live{0};
  for (int round = 0; round < 3; ++round) {
    std::vector<Location> admitted;
    int full = 0;
    for (const Location& place : places) {
      const auto admission = queue.Add(place.code, [](bool) {});
      if (admission == PictureQueue<bool>::Admission::Started) admitted.push_back(place);
      full += admission == PictureQueue<bool>::Admission::Full;
    }
    ASSERT_EQ(admitted.size(), 48u);
    EXPECT_EQ(full, static_cast<int>(places.size()) - 48);
    std::vector<std::thread> workers;
    std::atomic<size_t> next{0};
    for (int t = 0; t < 8; ++t) {
      workers.emplace_back([&] {
        for (size_t i; (i = next++) < admitted.size();) {
          const MapKind kind = i % 2 ? MapKind::Satellite : MapKind::Radar;
          live += !maps.Picture(kind, admitted[i]).sample;
        }
      });
    }
    for (auto& w : workers) w.join();
    for (const Location& place : admitted) queue.Finish(place.code, true);
    places.erase(places.begin(), places.begin() + 48);
  }
  EXPECT_GT(live.load(), 100);
  for (bool wms : {false, true}) {
    std::vector<double> times;
    for (const auto& [isWms, when] : log) {
      if (isWms == wms) times.push_back(when);
    }
    std::sort(times.begin(), times.end());
    const size_t limit = wms ? kImageryRequestsPerMinute : kRadarRequestsPerMinute;
    ASSERT_GT(times.size(), limit) << "the rate was never reached";
    for (size_t i = limit; i < times.size(); ++i) {
      EXPECT_GE(times[i] - times[i - limit], 60.0) << (wms ? "imagery" : "radar") << " at " << i;
    }
  }
}

TEST(MapPieces, BoxAcrossTheAntimeridianSplitsIntoTwoPiecesThatFillIt) {
  const PictureBox box = BoxAround({-18.14, 179.9}, 6, 400, 300);
  const auto pieces = PiecesInWorld(box);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].width + pieces[1].width, 400);
  EXPECT_EQ(pieces[1].column, pieces[0].width);
  EXPECT_NEAR(pieces[0].maxX, kWorldHalfMetres, 1);
  EXPECT_NEAR(pieces[1].minX, -kWorldHalfMetres, 1);
  const BoxPiece north = PiecesInWorld(BoxAround({84.9, 0}, 6, 400, 300)).at(0);
  EXPECT_GT(north.row, 50);
  EXPECT_EQ(north.row + north.height, 300);
  EXPECT_NEAR(north.maxY, kWorldHalfMetres, 1300);
}

TEST(RadarIndexParser, TakesPastFramesInTimeOrderAndRefusesWhatCannotServe) {
  std::string error;
  const auto index = ParseRadarIndex(
      R"({"host":"https://tiles.example/","radar":{"past":[{"time":20,"path":"/v2/radar/b"},
          {"time":10,"path":"/v2/radar/a"},{"time":30,"path":"/../x y"}]}})",
      error);
  ASSERT_TRUE(index) << error;
  EXPECT_EQ(index->Latest().path, "/v2/radar/b");
  EXPECT_EQ(RadarTileUrl(*index, index->Latest(), 6, 31, 20),
            "https://tiles.example/v2/radar/b/256/6/31/20/2/1_1.png");
  for (const char* bad : {"<html>Error</html>", R"({"host":"https://t","radar":{"past":[]}})",
                          R"({"host":"file:///etc","radar":{"past":[{"time":1,"path":"/a"}]}})",
                          R"({"radar":{"past":[{"time":1,"path":"/a"}]}})", "[]"}) {
    EXPECT_FALSE(ParseRadarIndex(bad, error)) << bad;
  }
}

}  // namespace
}  // namespace cirrodex::service

namespace cirrodex::service {
namespace {

TEST(SatelliteLayers, GeostationaryWhereASatelliteSeesThePlaceElseYesterdaysTrueColour) {
  const struct {
    double longitude;
    const char* layer;
    const char* time;
  } cases[] = {{-75, "GOES-East_ABI_Band13_Clean_Infrared", "2026-12-07T15:20:00Z"},
               {-150, "GOES-West_ABI_Band13_Clean_Infrared", "2026-12-07T15:20:00Z"},
               {139.7, "Himawari_AHI_Band13_Clean_Infrared", "2026-12-07T15:20:00Z"},
               {178.4, "Himawari_AHI_Band13_Clean_Infrared", "2026-12-07T15:20:00Z"},
               {10.7, "VIIRS_SNPP_CorrectedReflectance_TrueColor", "2026-12-06"}};
  for (const auto& c : cases) {
    const ImageryLayers layers = SatelliteLayers(c.longitude, kStart);  // 16:05 UTC
    EXPECT_EQ(layers.layers, std::string(c.layer) + ",Coastlines_15m") << c.longitude;
    EXPECT_EQ(layers.time, c.time) << c.longitude;
  }
}

}  // namespace
}  // namespace cirrodex::service
