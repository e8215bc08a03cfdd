// The service's made-up feeds and maps, called directly.
#include "service/feeds/feed_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>

#include "core/icon_table.h"
#include "core/weather_report.h"
#include "imaging/image_buffer.h"
#include "service/feeds/locations.h"
#include "service/log_line.h"
#include "service/maps/map_maker.h"
#include "tests/support/temp_device.h"

namespace cirrodex::service {
namespace {

// 2024-05-10 12:34:56 UTC, a Friday.
constexpr std::time_t kFriday = 1715344496;
constexpr std::time_t kDay = 86400;

LocationIndex ShippedLocations() {
  LocationIndex index;
  index.LoadFolder(testing::SourceDir() / "package" / "citycodes");
  return index;
}

std::vector<Location> AllShipped() {
  std::vector<Location> all;
  // The index has no iteration; the region files are read again line by line.
  for (const auto& entry :
       std::filesystem::directory_iterator(testing::SourceDir() / "package" / "citycodes")) {
    if (entry.path().extension() != ".csv") continue;
    std::ifstream in(entry.path());
    std::string line;
    while (std::getline(in, line)) {
      if (auto location = ParseLocationLine(line, entry.path().stem().string())) {
        all.push_back(*location);
      }
    }
  }
  return all;
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::unique_ptr<WeatherReport> Parse(const std::string& feed) {
  // A report reads its install folder from the registry when it is built: from a device folder of
  // its own, never the user's.
  const cirrodex::testing::TempDevice device;
  auto report = std::make_unique<WeatherReport>();
  bool changed = false;
  ParseFeed(*report, Wide(feed).c_str(), changed);
  return report;
}

size_t CountEntries(const std::string& feed) {
  const size_t at = feed.find("swFore = \"");
  const size_t end = feed.find('"', at + 10);
  const std::string list = feed.substr(at + 10, end - at - 10);
  return static_cast<size_t>(std::count(list.begin(), list.end(), '|')) + 1;
}

// ---- region files ----------------------------------------------------------------------------

TEST(RegionFiles, ReadLinesOfNameCodeLatitudeLongitudeAndState) {
  const auto london = ParseLocationLine("London, UKXX0085, 51.51, -0.13", "Europe");
  ASSERT_TRUE(london);
  EXPECT_EQ(london->name, "London");
  EXPECT_EQ(london->code, "UKXX0085");
  EXPECT_EQ(london->region, "Europe");
  EXPECT_DOUBLE_EQ(london->latitude, 51.51);
  EXPECT_DOUBLE_EQ(london->longitude, -0.13);
  EXPECT_EQ(london->state, "");
  const auto tromso =
      ParseLocationLine("Troms\xC3\xB8,NO000030,  69.65,18.96 , Troms og Finnmark", "Norway");
  ASSERT_TRUE(tromso);
  EXPECT_EQ(tromso->name, "Troms\xC3\xB8");
  EXPECT_EQ(tromso->state, "Troms og Finnmark");

  for (const char* bad :
       {"", "A heading", "London, UKXX0085", "London, UKXX008, 1, 2", "London, UKXX00851, 1, 2",
        "London, UKXX-085, 1, 2", "London, UKXX0085, north, 2", "London, UKXX0085, 91, 2",
        "London, UKXX0085, 1, 181", ", UKXX0085, 1, 2", "London, UKXX0085 1, 2"}) {
    EXPECT_FALSE(ParseLocationLine(bad, "Europe")) << bad;
  }
}

TEST(RegionFiles, EveryShippedLineIsALocationWithCoordinates) {
  const LocationIndex index = ShippedLocations();
  const std::vector<Location> all = AllShipped();
  EXPECT_GE(all.size(), 24000u);
  EXPECT_EQ(index.size(), all.size());  // every line is a location, each code once
  EXPECT_EQ(index.Find("UKXX0085")->name, "London");
  for (const Location& location : all) {
    // Not the 0, 0 of a missing value: no shipped city lies in the Gulf of Guinea.
    EXPECT_FALSE(location.latitude == 0 && location.longitude == 0) << location.code;
  }
}

// ---- coordinate codes ------------------------------------------------------------------------

TEST(CoordinateCode, ReadsHemispheresAndRefusesWhatIsNoPoint) {
  const struct {
    const char* code;
    double latitude, longitude;
  } kPoints[] = {{"N6965E01896", 69.65, 18.96},
                 {"S3387E15121", -33.87, 151.21},
                 {"N3222W11093", 32.22, -110.93},
                 {"S9000W18000", -90, -180},
                 {"N0000E00000", 0, 0}};
  for (const auto& p : kPoints) {
    const auto point = ParseCoordinateCode(p.code);
    ASSERT_TRUE(point) << p.code;
    EXPECT_DOUBLE_EQ(point->latitude, p.latitude) << p.code;
    EXPECT_DOUBLE_EQ(point->longitude, p.longitude) << p.code;
  }
  for (const char* bad :
       {"N9001E00000", "S0000W18001", "N9999E99999", "n6965e01896", "N6965E1896", "N696E018960",
        "E6965N01896", "N6965E018960", "N69.5E01896", "N6965X01896", "", "UKXX0085"}) {
    EXPECT_FALSE(ParseCoordinateCode(bad)) << bad;
  }
}

TEST(CoordinateCode, IsNamedAfterTheNearestCityWithin30KmOrByItsPoint) {
  const LocationIndex index = ShippedLocations();
  const struct {
    const char* code;
    const char* name;
    const char* country;
  } kCases[] = {
      {"N6965E01896", "Troms\xC3\xB8", "Norway"},       // the city itself
      {"N6950E01860", "near Troms\xC3\xB8", "Norway"},  // about 22 km away
      {"N6900E02000", "69.00N 20.00E", ""},             // no city of the files within 30 km
      {"S4500W15000", "45.00S 150.00W", ""},            // the Pacific
  };
  for (const auto& c : kCases) {
    const auto location = index.Resolve(c.code);
    ASSERT_TRUE(location) << c.code;
    EXPECT_EQ(location->name, c.name) << c.code;
    EXPECT_EQ(location->region, c.country) << c.code;
    EXPECT_EQ(location->code, c.code);
  }
  EXPECT_FALSE(index.Resolve("N9100E00000"));
  EXPECT_FALSE(index.Resolve("ZZXX9999"));
  EXPECT_EQ(index.Resolve("UKXX0085")->name, "London");

  // The feed names it in Latin-1, the feed's one byte per character, with the country.
  const FeedWeather weather = MakeSampleWeather(*index.Resolve("N6965E01896"), kFriday);
  EXPECT_EQ(weather.city, "Troms\xF8 (sample)");
  EXPECT_EQ(weather.country, "Norway");
  EXPECT_EQ(weather.region, "Troms og Finnmark");
}

// ---- made-up feeds ---------------------------------------------------------------------------

// Parsing 24,000 cities three times takes minutes under the sanitizers, so the feed is checked for
// every long name (where the name's cut matters) and a spread of the others.
std::vector<Location> LongNamesAndASpread() {
  std::vector<Location> chosen;
  const std::vector<Location> all = AllShipped();
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i].name.size() > 20 || i % 97 == 0) chosen.push_back(all[i]);
  }
  return chosen;
}

TEST(SampleFeed, ShippedCitiesGiveAShortConsistentFeed) {
  for (const Location& location : LongNamesAndASpread()) {
    for (std::time_t now : {kFriday, kFriday + 9 * 3600, kFriday + 40 * kDay}) {
      const std::string feed = FormatFeed(MakeSampleWeather(location, now));
      SCOPED_TRACE(location.code + " at " + std::to_string(now));
      EXPECT_LT(feed.size(), 1000u);
      EXPECT_EQ(CountEntries(feed), 45u);

      const auto report = Parse(feed);
      const std::wstring city = report->city;
      EXPECT_LE(city.size(), 31u);
      EXPECT_TRUE(city.ends_with(L" (sample)")) << feed;
      EXPECT_NE(report->conditionText[0], L'\0');
      for (int b = 1; b <= 5; ++b) {
        const ForecastDay& day = report->blocks[b];
        const auto dayIcon = IconFor(day.dayIcon);
        const auto nightIcon = IconFor(day.nightIcon);
        ASSERT_TRUE(dayIcon && nightIcon);
        EXPECT_FALSE(dayIcon->night) << day.dayIcon;
        EXPECT_TRUE(nightIcon->night) << day.nightIcon;
        EXPECT_EQ(day.dayTextCode, dayIcon->conditionCode);
        EXPECT_EQ(day.nightTextCode, nightIcon->conditionCode);
        EXPECT_GE(day.highTemperature.value, day.lowTemperature.value);
        EXPECT_GE(day.rainChance, 0);
        EXPECT_LE(day.rainChance, 100);
      }
    }
  }
}

TEST(SampleFeed, WritesTheUpdateTimeSixHoursBehindSoTheParserShowsGmt) {
  const Location london = *ShippedLocations().Find("UKXX0085");
  const FeedWeather weather = MakeSampleWeather(london, kFriday);
  EXPECT_EQ(weather.lastUpdate, "5/10/2024 6:34:56");
  const auto report = Parse(FormatFeed(weather));
  EXPECT_STREQ(report->lastUpdated, L"10/05/2024 12:34:56 GMT");
  EXPECT_STREQ(report->blocks[1].dateText, L"10/05/2024");
  // Today is in the forecast, so the parser merged it into the current block.
  EXPECT_EQ(report->blocks[0].weekday, 6);
  EXPECT_EQ(report->blocks[0].highTemperature.value, report->blocks[1].highTemperature.value);
  EXPECT_EQ(report->blocks[0].temperature.value, *weather.temperature);

  // Just after midnight GMT the update time still falls on the day before.
  const FeedWeather early = MakeSampleWeather(london, kFriday - 12 * 3600 - 1800);
  EXPECT_EQ(early.lastUpdate, "5/9/2024 18:04:56");
  EXPECT_EQ(early.days[0].day, 10);
}

TEST(SampleFeed, IsStableWithinTheDayAndChangesFromDayToDay) {
  const Location paris = *ShippedLocations().Find("FRXX0076");
  const std::time_t midnight = kFriday - kFriday % kDay;
  FeedWeather morning = MakeSampleWeather(paris, midnight + 60);
  FeedWeather evening = MakeSampleWeather(paris, midnight + kDay - 60);
  EXPECT_NE(morning.lastUpdate, evening.lastUpdate);
  morning.lastUpdate = evening.lastUpdate;
  morning.icon = evening.icon;
  morning.conditionText = evening.conditionText;
  EXPECT_EQ(FormatFeed(morning), FormatFeed(evening));

  std::set<int> highs;
  std::set<int> icons;
  for (int d = 0; d < 20; ++d) {
    const FeedWeather w = MakeSampleWeather(paris, kFriday + d * kDay);
    highs.insert(static_cast<int>(w.days[0].high.value_or(0)));
    icons.insert(w.days[0].dayIcon);
    // Tomorrow's forecast is what tomorrow's feed says of today.
    const FeedWeather next = MakeSampleWeather(paris, kFriday + (d + 1) * kDay);
    EXPECT_EQ(w.days[1].high, next.days[0].high);
    EXPECT_EQ(w.days[1].dayIcon, next.days[0].dayIcon);
  }
  EXPECT_GT(highs.size(), 3u);
  EXPECT_GT(icons.size(), 1u);

  const FeedWeather london = MakeSampleWeather(*ShippedLocations().Find("UKXX0085"), kFriday);
  const FeedWeather here = MakeSampleWeather(paris, kFriday);
  EXPECT_NE(FormatFeed(london).substr(60), FormatFeed(here).substr(60));
}

TEST(SampleFeed, FollowsTheSeasonsOfEachHemisphere) {
  const LocationIndex index = ShippedLocations();
  auto meanHigh = [](const Location& location, std::time_t from) {
    int sum = 0;
    for (int d = 0; d < 30; ++d)
      sum += static_cast<int>(*MakeSampleWeather(location, from + d * kDay).days[0].high);
    return sum / 30;
  };
  const std::time_t january = 1704067200;  // 2024-01-01
  const std::time_t july = 1719792000;     // 2024-07-01
  const Location& oslo = *index.Find("NOXX0029");
  const Location& sydney = *index.Find("ASXX0112");
  EXPECT_GT(meanHigh(oslo, july), meanHigh(oslo, january) + 20);
  EXPECT_GT(meanHigh(sydney, january), meanHigh(sydney, july) + 10);
  EXPECT_GT(meanHigh(*index.Find("SNXX0006"), january), meanHigh(oslo, january) + 40);
}

TEST(SampleFeed, ShowsTheNightIconWhenItIsNightAtThePlace) {
  const LocationIndex index = ShippedLocations();
  // 12:34 GMT: day in London, night in Auckland (about 00:14 solar time).
  const FeedWeather london = MakeSampleWeather(*index.Find("UKXX0085"), kFriday);
  const FeedWeather auckland = MakeSampleWeather(*index.Find("NZXX0003"), kFriday);
  EXPECT_EQ(london.icon, london.days[0].dayIcon);
  EXPECT_EQ(auckland.icon, auckland.days[0].nightIcon);
  EXPECT_TRUE(IconFor(auckland.icon)->night);
}

TEST(SampleFeed, MarksAndShortensNamesAndKeepsQuotesOut) {
  Location odd{"A \"Quoted\"; Very Long Place Name|Here", "ZZXX0001", "Nowhere", 10, 10, ""};
  const FeedWeather weather = MakeSampleWeather(odd, kFriday);
  EXPECT_LE(weather.city.size(), 31u);
  EXPECT_TRUE(weather.city.ends_with(" (sample)"));
  EXPECT_EQ(weather.city.find_first_of("\";|"), std::string::npos);
  const auto report = Parse(FormatFeed(weather));
  EXPECT_EQ(std::wstring(report->city), Wide(weather.city));
}

// ---- made-up maps ----------------------------------------------------------------------------

TEST(SampleMap, ShowsLandSeaAndWeatherThatMovesWithTheHour) {
  const auto satellite = PaintSampleMap(MapKind::Satellite, kFriday);
  ASSERT_EQ(satellite.size(), static_cast<size_t>(kMapWidth * kMapHeight * 3));
  size_t sea = 0, land = 0, cloud = 0;
  for (size_t i = 0; i < satellite.size(); i += 3) {
    const int r = satellite[i], g = satellite[i + 1], b = satellite[i + 2];
    if (r > 200 && g > 200 && b > 200)
      ++cloud;
    else if (b > r + 30 && b > g)
      ++sea;
    else if (g > b)
      ++land;
  }
  const size_t pixels = satellite.size() / 3;
  EXPECT_GT(sea, pixels / 10);
  EXPECT_GT(land, pixels / 10);
  EXPECT_GT(cloud, 0u);

  EXPECT_EQ(PaintSampleMap(MapKind::Radar, kFriday),
            PaintSampleMap(MapKind::Radar, kFriday - kFriday % 3600));
  EXPECT_NE(PaintSampleMap(MapKind::Radar, kFriday),
            PaintSampleMap(MapKind::Radar, kFriday + 3600));
  EXPECT_NE(PaintSampleMap(MapKind::Radar, kFriday), satellite);
}

TEST(SampleMap, IsAJpegUnderTheFetchLimitThatDecodesToItsSize) {
  for (MapKind kind : {MapKind::Radar, MapKind::Satellite}) {
    const std::string jpeg = MakeSampleMap(kind, kFriday);
    ASSERT_GT(jpeg.size(), 1000u);
    EXPECT_LT(jpeg.size(), 64000u);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[1]), 0xD8);
    ImageBuffer image;
    ASSERT_TRUE(image.DecodeMemory(reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size(),
                                   ImageType::Jpeg))
        << image.LastError();
    EXPECT_EQ(image.Width(), kMapWidth);
    EXPECT_EQ(image.Height(), kMapHeight);
  }
}

TEST(LogLine, ControlBytesFromASourceAreShownNotObeyed) {
  const std::pair<std::string, std::string> cases[] = {
      {"GIBS says \x1b[2J\x1b[31mno", "GIBS says \\x1b[2J\\x1b[31mno"},
      {"one\nforged line\r", "one\\x0aforged line\\x0d"},
      {"Troms\xc3\xb8 \\ \x7f", "Troms\xc3\xb8 \\\\ \\x7f"},
  };
  for (const auto& [raw, shown] : cases) EXPECT_EQ(LogSafe(raw), shown) << raw;
}

}  // namespace
}  // namespace cirrodex::service
