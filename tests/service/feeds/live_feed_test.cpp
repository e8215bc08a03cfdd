// The live source against a stand-in for the forecast API on 127.0.0.1, through the real libcurl
// client; the test drives the clock.
#include "service/feeds/live_feed.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>

#include "service/feeds/open_meteo.h"
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
    api.Answer(200, AnswerAt(tomorrow, kStart + 31 * kHour));
    const FeedAnswer fresh = source->Feed("UKXX0085", kStart + 31 * kHour);
    EXPECT_EQ(fresh.status, Status::Served);
    EXPECT_NE(fresh.document.find("swTemp = \"50.2\""), std::string::npos);
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

TEST_F(LiveFeed, AnAnswerThatIsNotCurrentIsAFailedRequest) {
  struct Case {
    std::time_t age;  // of the answer's current conditions at the request
    bool live;
  };
  const Case cases[] = {
      {487 * 24 * kHour, false},
      {3 * kHour + 15 * kMinute, false},
      {3 * kHour, true},
      {15 * kMinute, true},
      {-kHour, true},
      {-kHour - 15 * kMinute, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.age);
    StandIn api;
    auto source = Source(WhenNoLiveWeather::Unavailable, api.Url());
    api.Answer(200, AnswerAt(ReadGolden("london_fog.json"), kStart - c.age));
    const FeedAnswer answer = source->Feed("UKXX0085", kStart);
    EXPECT_EQ(answer.status, c.live ? Status::Served : Status::Unavailable);
    if (c.live) {
      EXPECT_EQ(answer.updated, kStart - c.age);
    }
  }
  EXPECT_NE(Notes().find("current conditions are 701280 minutes old"), std::string::npos)
      << Notes();
  EXPECT_NE(Notes().find("75 minutes ahead"), std::string::npos) << Notes();

  // A stale answer leaves the last good one in place, with its own time.
  auto source = Source(WhenNoLiveWeather::Unavailable);
  ASSERT_EQ(source->Feed("UKXX0085", kStart).status, Status::Served);
  const FeedAnswer kept = source->Feed("UKXX0085", kStart + 5 * kHour);
  EXPECT_EQ(standIn_.Requests(), 2);
  EXPECT_EQ(kept.document, londonFeed_);
  EXPECT_EQ(kept.updated, kStart);
}

TEST_F(LiveFeed, WaitsAsLongAsRetryAfterSays) {
  struct Case {
    int status;
    std::string header;  // a Retry-After line, or none
    std::time_t wait;
  };
  char date[64];
  const std::time_t at = kStart + 10 * kMinute;
  std::tm fields{};
  gmtime_r(&at, &fields);
  std::strftime(date, sizeof date, "Retry-After: %a, %d %b %Y %H:%M:%S GMT\r\n", &fields);
  const Case cases[] = {
      {429, "Retry-After: 120\r\n", 120},
      {429, "", kUpstreamPause},
      {503, "Retry-After: 3600\r\n", kHour},
      {429, date, 10 * kMinute},
      {429, "Retry-After: soon\r\n", kUpstreamPause},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    StandIn api;
    api.Answer(c.status, R"({"error":true,"reason":"Too many concurrent requests"})", c.header);
    auto source = Source(WhenNoLiveWeather::Unavailable, api.Url());
    source->Feed("UKXX0085", kStart);
    source->Feed("FRXX0076", kStart + c.wait - 1);
    EXPECT_EQ(api.Requests(), 1);
    source->Feed("SZXX0013", kStart + c.wait);
    EXPECT_EQ(api.Requests(), 2);
  }
}

TEST_F(LiveFeed, TheDailyLimitStopsTheRequestsUntilTheNextGmtDay) {
  const std::string spent =
      R"({"error":true,"reason":"Daily API request limit exceeded. Please try again tomorrow."})";
  const std::time_t midnight = kStart - kStart % (24 * kHour) + 24 * kHour;
  for (int status : {429, 200}) {
    SCOPED_TRACE(status);
    StandIn api;
    auto source = Source(WhenNoLiveWeather::Unavailable, api.Url());
    ASSERT_EQ(source->Feed("UKXX0085", kStart).status, Status::Served);
    api.Answer(status, spent);
    EXPECT_EQ(source->Feed("FRXX0076", kStart + kMinute).status, Status::Unavailable);
    // London keeps its answer of the morning; nobody asks until midnight GMT.
    for (std::time_t later : {kHour, 10 * kHour, midnight - kStart - 1}) {
      EXPECT_EQ(source->Feed("UKXX0085", kStart + later).document, londonFeed_);
      EXPECT_EQ(source->Feed("FRXX0076", kStart + later).status, Status::Unavailable);
    }
    EXPECT_EQ(api.Requests(), 2);
    source->Feed("FRXX0076", midnight);
    EXPECT_EQ(api.Requests(), 3);
  }
  const std::string notes = Notes();
  size_t said = 0;
  for (size_t at = notes.find("Daily API"); at != std::string::npos;
       at = notes.find("Daily API", at + 1)) {
    ++said;
  }
  EXPECT_EQ(said, 4u) << notes;  // once a day for each of the two sources
}

TEST_F(LiveFeed, KeepsOnlyTheCitiesAskedForMostRecently) {
  auto source =
      std::make_unique<LiveFeedSource>(locations_, standIn_.Url(), MakeCurlUpstreamClient(),
                                       WhenNoLiveWeather::Unavailable, nullptr, 3);
  const char* codes[] = {"UKXX0085", "FRXX0076", "SZXX0013", "NOXX0029", "N5151W00013"};
  for (const char* code : codes) EXPECT_EQ(source->Feed(code, kStart).status, Status::Served);
  EXPECT_EQ(standIn_.Requests(), 5);
  // The most recent are answered from memory; the first was let go and is asked again.
  source->Feed("N5151W00013", kStart + kMinute);
  source->Feed("SZXX0013", kStart + kMinute);
  EXPECT_EQ(standIn_.Requests(), 5);
  source->Feed("UKXX0085", kStart + kMinute);
  EXPECT_EQ(standIn_.Requests(), 6);
  // Oslo, asked least recently, went when London came back.
  source->Feed("NOXX0029", kStart + kMinute);
  EXPECT_EQ(standIn_.Requests(), 7);
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

TEST_F(LiveFeed, AFailedAskWaitsForTheSourcesPauseNotTheCitysInterval) {
  auto source = Source(WhenNoLiveWeather::Unavailable);
  standIn_.Answer(429, R"({"error":true,"reason":"Too many concurrent requests"})",
                  "Retry-After: 2\r\n");
  const FeedAnswer refused = source->Feed("UKXX0085", kStart);
  EXPECT_EQ(refused.status, Status::Unavailable);
  EXPECT_EQ(refused.retryAfter, 2);
  standIn_.Answer(200, ReadGolden("london_fog.json"));
  EXPECT_EQ(source->Feed("UKXX0085", kStart + 1).status, Status::Unavailable);
  EXPECT_EQ(source->Feed("UKXX0085", kStart + 4).document, londonFeed_);
  EXPECT_EQ(standIn_.Requests(), 2);
}

// Answers every call with the same forecast and counts the calls.
struct CountingApi : UpstreamClient {
  UpstreamReply Get(const std::string&) override {
    ++calls;
    return {true, 200, answer, "", ""};
  }
  std::string answer;
  std::atomic<int> calls = 0;
};

TEST_F(LiveFeed, ThousandsOfNewCodesStayWithinTheBudgetAndKeptAnswersAreServed) {
  std::vector<std::string> codes;  // 3,100 points of the Southern Ocean
  for (int i = 0; i < 3100; ++i) {
    codes.push_back("S" + std::to_string(6000 + i / 100) + "W" + std::to_string(14000 + i % 100));
  }
  auto counting = std::make_unique<CountingApi>();
  CountingApi& api = *counting;
  api.answer = AnswerAt(ReadGolden("london_fog.json"), kStart);
  LiveFeedSource source(locations_, "http://api.test/v1/forecast", std::move(counting),
                        WhenNoLiveWeather::Unavailable, [this](const std::string& line) {
                          std::lock_guard lock(notesMutex_);
                          notes_.push_back(line);
                        });
  const std::string kept = source.Feed("N5151W00013", kStart - 20 * kMinute).document;
  ASSERT_FALSE(kept.empty());

  // 16 clients ask for 3,000 codes over and over, so that even the last calls find takers.
  for (int round = 0; round < 16; ++round) {
    std::atomic<size_t> next = 0;
    std::vector<std::thread> clients;
    for (int i = 0; i < 16; ++i) {
      clients.emplace_back([&] {
        for (size_t at; (at = next++) < 3000;) {
          const FeedAnswer answer = source.Feed(codes[at], kStart);
          if (answer.status == Status::Unavailable) {
            EXPECT_TRUE(answer.retryAfter >= 1 && answer.retryAfter <= 60) << answer.retryAfter;
          }
        }
      });
    }
    for (auto& client : clients) client.join();
  }
  EXPECT_EQ(api.calls, 1 + 500);
  // Its quarter hour is over, but the minute's calls are spent: the answer of before is served.
  EXPECT_EQ(source.Feed("N5151W00013", kStart).document, kept);
  EXPECT_EQ(api.calls, 1 + 500);

  for (size_t at = 3000; at < 3100; ++at) {
    EXPECT_EQ(source.Feed(codes[at], kStart + kMinute).status, Status::Served);
  }
  EXPECT_EQ(api.calls, 1 + 500 + 100);
  const std::string notes = Notes();
  EXPECT_EQ(std::count(notes.begin(), notes.end(), '\n'), 1) << notes;
  EXPECT_NE(notes.find("budget of 500 calls a minute, 4000 an hour and 8000 a day is spent"),
            std::string::npos)
      << notes;
}

TEST_F(LiveFeed, LeavesCodesWithoutALocationToTheNextSource) {
  auto source = Source(WhenNoLiveWeather::Unavailable);
  EXPECT_EQ(source->Feed("ZZXX9999", kStart).status, Status::Unknown);
  EXPECT_EQ(standIn_.Requests(), 0);
}

}  // namespace
}  // namespace cirrodex::service
