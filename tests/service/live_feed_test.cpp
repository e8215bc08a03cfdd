// The live source against a stand-in for the forecast API on 127.0.0.1, through the real libcurl
// client; the test drives the clock.
#include "service/live_feed.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>

#include "service/open_meteo.h"
#include "tests/service/api_stand_in.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"

namespace cirrodex::service {
namespace {

using Status = FeedAnswer::Status;

constexpr std::time_t kStart = 1730790900;  // 2024-11-05 07:15 GMT
constexpr std::time_t kMinute = 60;
constexpr std::time_t kHour = 3600;

class LiveFeed : public ::testing::Test {
 protected:
  LiveFeed() { locations_.LoadFolder(testing::SourceDir() / "package" / "citycodes"); }

  std::unique_ptr<LiveFeedSource> Source(WhenNoLiveWeather whenNone, std::string url = "",
                                         UpstreamLimits limits = {}) {
    return std::make_unique<LiveFeedSource>(locations_, url.empty() ? standIn_.Url() : url,
                                            MakeCurlUpstreamClient(limits), whenNone,
                                            [this](const std::string& line) {
                                              std::lock_guard lock(notesMutex_);
                                              notes_.push_back(line);
                                            });
  }
  std::string Notes() {
    std::lock_guard lock(notesMutex_);
    std::string all;
    for (const auto& line : notes_) all += line + "\n";
    return all;
  }

  LocationIndex locations_;
  StandIn standIn_;
  const std::string londonFeed_ = ReadGolden("london_fog.feed");
  std::mutex notesMutex_;
  std::vector<std::string> notes_;
};

TEST_F(LiveFeed, AsksOncePerCityPerFifteenMinutes) {
  auto source = Source(WhenNoLiveWeather::Unavailable);
  FeedAnswer answer = source->Feed("UKXX0085", kStart);
  EXPECT_EQ(answer.status, Status::Served);
  EXPECT_EQ(answer.document, londonFeed_);
  EXPECT_EQ(standIn_.Requests(), 1);

  for (std::time_t later : {kMinute, 14 * kMinute, 15 * kMinute - 1}) {
    EXPECT_EQ(source->Feed("UKXX0085", kStart + later).document, londonFeed_);
  }
  EXPECT_EQ(standIn_.Requests(), 1);

  // Another city has its own time.
  answer = source->Feed("FRXX0076", kStart + kMinute);
  EXPECT_EQ(standIn_.Requests(), 2);
  EXPECT_EQ(standIn_.Param("latitude"), "48.8600");
  EXPECT_NE(answer.document.find("swCity = \"Paris\""), std::string::npos);

  source->Feed("UKXX0085", kStart + 15 * kMinute);
  EXPECT_EQ(standIn_.Requests(), 3);
  EXPECT_EQ(standIn_.Param("latitude"), "51.5100");
  // A clock set back by more than the interval asks again rather than waiting for it.
  source->Feed("UKXX0085", kStart - kHour);
  EXPECT_EQ(standIn_.Requests(), 4);
}

TEST_F(LiveFeed, SaysWhoIsAsking) {
  Source(WhenNoLiveWeather::Unavailable)->Feed("UKXX0085", kStart);
  EXPECT_EQ(standIn_.Agent(), UpstreamUserAgent());
  EXPECT_TRUE(standIn_.Agent().starts_with("Cirrodex-weather-service/")) << standIn_.Agent();
}

TEST_F(LiveFeed, ServesTheLastGoodAnswerAsItWasForADay) {
  for (WhenNoLiveWeather whenNone :
       {WhenNoLiveWeather::Unavailable, WhenNoLiveWeather::AskTheNextSource}) {
    StandIn api;
    auto source = Source(whenNone, api.Url());
    ASSERT_EQ(source->Feed("UKXX0085", kStart).status, Status::Served);
    api.Answer(500, "{\"error\": true, \"reason\": \"overloaded\"}");

    for (std::time_t later : {15 * kMinute, 12 * kHour, 24 * kHour - 1}) {
      const FeedAnswer kept = source->Feed("UKXX0085", kStart + later);
      EXPECT_EQ(kept.status, Status::Served) << later;
      EXPECT_EQ(kept.document, londonFeed_) << later;  // its own update time, unchanged
    }
    EXPECT_EQ(api.Requests(), 4);

    const Status none =
        whenNone == WhenNoLiveWeather::Unavailable ? Status::Unavailable : Status::Unknown;
    EXPECT_EQ(source->Feed("UKXX0085", kStart + 24 * kHour).status, none);
    EXPECT_EQ(source->Feed("UKXX0085", kStart + 30 * kHour).status, none);
    EXPECT_NE(Notes().find("HTTP status 500"), std::string::npos) << Notes();

    // Back again: fresh weather, and a note that says so.
    std::string tomorrow = ReadGolden("london_fog.json");
    tomorrow.replace(tomorrow.find("\"temperature_2m\": 44.8"), 22, "\"temperature_2m\": 50.2");
    api.Answer(200, tomorrow);
    const FeedAnswer fresh = source->Feed("UKXX0085", kStart + 31 * kHour);
    EXPECT_EQ(fresh.status, Status::Served);
    EXPECT_NE(fresh.document.find("swTemp = \"50\""), std::string::npos);
    EXPECT_NE(Notes().find("available again"), std::string::npos) << Notes();
  }
}

TEST_F(LiveFeed, WithoutTheApiAnswersUnavailableOrLeavesItToTheNextSource) {
  const std::string nowhere =
      "http://127.0.0.1:" + std::to_string(testing::UnusedPort()) + "/v1/forecast";
  EXPECT_EQ(Source(WhenNoLiveWeather::Unavailable, nowhere)->Feed("UKXX0085", kStart).status,
            Status::Unavailable);
  EXPECT_EQ(Source(WhenNoLiveWeather::AskTheNextSource, nowhere)->Feed("UKXX0085", kStart).status,
            Status::Unknown);
  EXPECT_NE(Notes().find("live weather for UKXX0085 (London) failed"), std::string::npos)
      << Notes();
  EXPECT_NE(Notes().find("answering 503"), std::string::npos) << Notes();
  EXPECT_NE(Notes().find("serving sample weather"), std::string::npos) << Notes();
}

TEST_F(LiveFeed, AnswersThatAreNoForecastCountAsFailures) {
  auto source = Source(WhenNoLiveWeather::Unavailable);
  standIn_.Answer(200, "<html>maintenance</html>");
  EXPECT_EQ(source->Feed("UKXX0085", kStart).status, Status::Unavailable);
  EXPECT_NE(Notes().find("not a JSON object"), std::string::npos) << Notes();
  // A bad answer for one city does not stop the others.
  standIn_.Answer(200, ReadGolden("london_fog.json"));
  EXPECT_EQ(source->Feed("FRXX0076", kStart + 1).status, Status::Served);
  EXPECT_EQ(standIn_.Requests(), 2);
}

TEST_F(LiveFeed, ServerErrorsPauseEveryCityButRefusalsDoNot) {
  struct Case {
    int status;
    bool pauses;
  };
  for (const Case& c :
       {Case{503, true}, Case{429, true}, Case{500, true}, Case{400, false}, Case{404, false}}) {
    SCOPED_TRACE(c.status);
    StandIn api;
    api.Answer(c.status, "{\"error\": true, \"reason\": \"no\"}");
    auto source = Source(WhenNoLiveWeather::Unavailable, api.Url());
    source->Feed("UKXX0085", kStart);
    source->Feed("FRXX0076", kStart + kMinute);
    EXPECT_EQ(api.Requests(), c.pauses ? 1 : 2);
    source->Feed("SZXX0013", kStart + kUpstreamPause);
    EXPECT_EQ(api.Requests(), c.pauses ? 2 : 3);
  }
}

TEST_F(LiveFeed, CallsAtOnceForOneCityMakeOneRequest) {
  auto source = Source(WhenNoLiveWeather::Unavailable);
  standIn_.Hold();
  auto first = std::async(std::launch::async, [&] { return source->Feed("UKXX0085", kStart); });
  standIn_.WaitForRequests(1);
  auto second =
      std::async(std::launch::async, [&] { return source->Feed("UKXX0085", kStart + 1); });
  // The second call waits for the first rather than asking again.
  EXPECT_EQ(second.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  standIn_.Release();
  EXPECT_EQ(first.get().document, londonFeed_);
  EXPECT_EQ(second.get().document, londonFeed_);
  EXPECT_EQ(standIn_.Requests(), 1);
}

TEST_F(LiveFeed, OtherCitiesDoNotWaitForAHeldRequest) {
  auto source = Source(WhenNoLiveWeather::Unavailable);
  standIn_.Hold();
  auto held = std::async(std::launch::async, [&] { return source->Feed("UKXX0085", kStart); });
  standIn_.WaitForRequests(1);
  // Paris's request reaches the stand-in while London's is still held there.
  auto paris = std::async(std::launch::async, [&] { return source->Feed("FRXX0076", kStart); });
  standIn_.WaitForRequests(2);
  EXPECT_EQ(standIn_.Requests(), 2);
  standIn_.Release();
  EXPECT_EQ(held.get().status, Status::Served);
  EXPECT_EQ(paris.get().status, Status::Served);
}

TEST_F(LiveFeed, GivesUpOnAnApiThatIsSlowOrSaysTooMuch) {
  UpstreamLimits quick;
  quick.totalMs = 300;
  standIn_.Hold();
  EXPECT_EQ(Source(WhenNoLiveWeather::Unavailable, "", quick)->Feed("UKXX0085", kStart).status,
            Status::Unavailable);
  standIn_.Release();
  EXPECT_NE(Notes().find("timed out"), std::string::npos) << Notes();

  UpstreamLimits small;
  small.maxBody = 1000;  // the answer has some 1400 bytes
  EXPECT_EQ(Source(WhenNoLiveWeather::Unavailable, "", small)->Feed("UKXX0085", kStart).status,
            Status::Unavailable);
  EXPECT_NE(Notes().find("longer than 1000 bytes"), std::string::npos) << Notes();
}

TEST_F(LiveFeed, LeavesCodesWithoutALocationToTheNextSource) {
  auto source = Source(WhenNoLiveWeather::Unavailable);
  EXPECT_EQ(source->Feed("ZZXX9999", kStart).status, Status::Unknown);
  EXPECT_EQ(standIn_.Requests(), 0);
}

}  // namespace
}  // namespace cirrodex::service
