// The hourly document from a recorded answer moved into other zones, and beside the feed in the
// live source.
#include "service/feeds/hourly_weather.h"

#include <gtest/gtest.h>

#include "service/feeds/live_feed.h"
#include "tests/service/api_stand_in.h"

namespace cirrodex::service {
namespace {

using Json = nlohmann::json;

// The recorded Berlin answer (hours of 2026-03-02 to 03-04, wall times) placed in a zone
// `offset` east of GMT, with the current time `nowWall` (a wall time), sunrise and sunset rows
// and 15-minute precipitation around it; one temperature nulled.
std::string BerlinAnswer(int offset, const std::string& nowWall, size_t nulledRow) {
  Json answer = Json::parse(testing::ReadFile(testing::SourceDir() / "tests" / "service" /
                                              "recorded" / "berlin_hourly.json"));
  answer["utc_offset_seconds"] = offset;
  answer["current"] = {{"time", nowWall}, {"temperature_2m", 1.0}};
  answer["hourly"]["temperature_2m"][nulledRow] = nullptr;
  answer["daily"] = {{"time", {"2026-03-02", "2026-03-03", "2026-03-04"}},
                     {"sunrise", {"2026-03-02T06:58", "2026-03-03T06:56", nullptr}},
                     {"sunset", {"2026-03-02T18:02", "2026-03-03T18:04", "2026-03-04T18:06"}}};
  Json times = Json::array(), amounts = Json::array();
  for (int day = 2; day <= 3; ++day) {
    for (int quarter = 0; quarter < 96; ++quarter) {
      char text[20];
      std::snprintf(text, sizeof text, "2026-03-%02dT%02d:%02d", day, quarter / 4,
                    quarter % 4 * 15);
      times.push_back(text);
      amounts.push_back(quarter % 8 == 3 ? Json(nullptr) : Json(quarter % 8 == 5 ? 0.4 : 0.0));
    }
  }
  answer["minutely_15"] = {{"time", times}, {"precipitation", amounts}};
  return answer.dump();
}

std::time_t Utc(int day, int hour, int minute) {
  return 1772409600 + (day - 2) * 86400 + hour * 3600 + minute * 60;  // 2026-03-02 00:00 GMT
}

TEST(HourlyWeather, StartsAtTheCitysHourAndKeepsItsDatesAndNulls) {
  struct Case {
    int offset;
    const char* nowWall;
    std::time_t firstHourUtc;
    const char* firstHourText;
    size_t firstRow;  // of the recording
    const char* sunDate;
    std::time_t sunsetUtc;
  };
  const Case cases[] = {
      {9 * 3600, "2026-03-03T05:10", Utc(2, 20, 0), "2026-03-03T05:00+09:00", 29, "2026-03-03",
       Utc(3, 9, 4)},
      {-8 * 3600, "2026-03-02T23:45", Utc(3, 7, 0), "2026-03-02T23:00-08:00", 23, "2026-03-02",
       Utc(3, 2, 2)},
      {19800, "2026-03-03T00:15", Utc(2, 18, 30), "2026-03-03T00:00+05:30", 24, "2026-03-03",
       Utc(3, 12, 34)},
      {0, "2026-03-02T13:30", Utc(2, 13, 0), "2026-03-02T13:00+00:00", 13, "2026-03-02",
       Utc(2, 18, 2)},
  };
  const Json recorded = Json::parse(testing::ReadFile(testing::SourceDir() / "tests" / "service" /
                                                      "recorded" / "berlin_hourly.json"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.firstHourText);
    std::string error;
    const auto hours =
        ReadOpenMeteoHourly(BerlinAnswer(c.offset, c.nowWall, c.firstRow + 2), error);
    ASSERT_TRUE(hours) << error;
    ASSERT_EQ(hours->hours.size(), 48u);
    EXPECT_EQ(hours->hours[0].time, c.firstHourUtc);
    const double celsius = recorded["hourly"]["temperature_2m"][c.firstRow];
    EXPECT_NEAR(*hours->hours[0].temperature, celsius * 9 / 5 + 32, 1e-9);
    EXPECT_FALSE(hours->hours[2].temperature) << "a null stays null";
    EXPECT_TRUE(hours->hours[3].temperature) << "and costs no other value";
    // Hours beyond the recording are there, without values.
    const size_t recordedHours = 72 - c.firstRow;
    if (recordedHours < 48) {
      EXPECT_FALSE(hours->hours[recordedHours].temperature);
    }

    const std::string document = FormatHourlyForecast(*hours);
    const Json written = Json::parse(document);
    EXPECT_EQ(written["hours"][0]["time"], c.firstHourText);
    EXPECT_TRUE(written["hours"][2]["temperature"].is_null());
    ASSERT_EQ(hours->sun.size(), 5u);
    EXPECT_EQ(written["sun"][0]["date"], c.sunDate);
    EXPECT_EQ(hours->sun[0].sunset, c.sunsetUtc);
    EXPECT_LE(document.size(), kHourlyDocumentLimit);

    ASSERT_TRUE(hours->nowcast);
    EXPECT_EQ(hours->nowcast->start % kNowcastStep, 0);
    EXPECT_EQ(hours->nowcast->precipitation.size(), 8u);
    const auto parsed = ParseHourlyForecast(document);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->hours[0].time, c.firstHourUtc);
    EXPECT_EQ(parsed->nowcast->start, hours->nowcast->start);
  }
}

TEST(HourlyWeather, ThePathNamesTheCode) {
  const std::pair<const char*, const char*> cases[] = {
      {"/weather/hourly/UKXX0085.json", "UKXX0085"},
      {"/weather/hourly/N6965E01896.json", "N6965E01896"},
      {"/weather/hourly/.json", ""},
      {"/weather/hourly/UKXX0085", ""},
      {"/weather/live/radar/UKXX0085.jpg", ""},
  };
  for (const auto& [path, code] : cases) EXPECT_EQ(HourlyCodeOfPath(path), code) << path;
}

TEST(HourlyWeather, TheLiveSourceServesHoursFromTheFeedsOneRequest) {
  LocationIndex locations;
  locations.LoadFolder(testing::SourceDir() / "package" / "citycodes");
  StandIn api;
  const std::time_t now = 1772465400;  // 2026-03-02 15:30 GMT, 16:30 in Berlin
  api.Answer(200, BerlinAnswer(3600, "2026-03-02T16:30", 40));
  LiveFeedSource source(locations, api.Url(), MakeCurlUpstreamClient({}),
                        WhenNoLiveWeather::Unavailable);
  EXPECT_EQ(source.Feed("UKXX0085", now).status, FeedAnswer::Status::Served);
  const FeedAnswer hourly = source.Hourly("UKXX0085", now + 60);
  EXPECT_EQ(api.Requests(), 1);
  EXPECT_EQ(api.Param("forecast_hours"), "49");
  EXPECT_EQ(api.Param("minutely_15"), "precipitation");
  ASSERT_EQ(hourly.status, FeedAnswer::Status::Served);
  const auto parsed = ParseHourlyForecast(hourly.document);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->hours[0].time, now - 1800);
  EXPECT_FALSE(parsed->sample);

  // An answer too old to be live keeps no hours either.
  LiveFeedSource stale(locations, api.Url(), MakeCurlUpstreamClient({}),
                       WhenNoLiveWeather::Unavailable);
  EXPECT_EQ(stale.Hourly("UKXX0085", now + 4 * 3600).status, FeedAnswer::Status::Unavailable);
}

}  // namespace
}  // namespace cirrodex::service
