// The weather-service program itself: started, asked over HTTP, stopped.
#include "tests/support/weather_service.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <future>
#include <set>
#include <thread>

#include "core/weather_report.h"
#include "tests/service/api_stand_in.h"
#include "tests/support/eventually.h"
#include "tests/support/temp_device.h"
#include "update/http_fetch.h"

namespace cirrodex {
namespace {

using testing::WeatherServiceProcess;

constexpr char kFeedPath[] = "/m/chnk/d/weather_d_src.asp?acid=";

struct Answer {
  bool ok = false;
  uint32_t result = 0;
  std::string body;  // the low byte of each character
};

Answer Get(const std::wstring& url) {
  Answer answer;
  std::unique_ptr<wchar_t[]> body;
  uint32_t length = 0;
  answer.ok = HttpFetch(url.c_str(), body, length, &answer.result);
  for (uint32_t i = 0; body && i < length; ++i) answer.body += static_cast<char>(body[i] & 0xFF);
  return answer;
}

class WeatherServiceTest : public testing::DeviceTest {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(device_.root() / "data" / "feeds");
    std::filesystem::create_directories(device_.root() / "data" / "maps");
  }
  std::string Data() const { return (device_.root() / "data").string(); }
};

TEST_F(WeatherServiceTest, ServesSampleFeedsForTodayForShippedCodes) {
  WeatherServiceProcess service;
  ASSERT_TRUE(service.running());
  const std::time_t before = std::time(nullptr);
  const Answer answer = Get(service.WideUrl(std::string(kFeedPath) + "UKXX0085"));
  const std::time_t after = std::time(nullptr);
  ASSERT_TRUE(answer.ok);
  EXPECT_LT(answer.body.size(), 1000u);

  WeatherReport report;
  bool changed = false;
  ParseFeed(report, std::wstring(answer.body.begin(), answer.body.end()).c_str(), changed);
  EXPECT_STREQ(report.city, L"London (sample)");
  EXPECT_STREQ(report.country, L"United Kingdom");
  // The forecast starts today (GMT), which the parser finds and merges.
  std::set<std::wstring> today;
  for (std::time_t t : {before, after}) {
    std::tm gmt{};
    gmtime_r(&t, &gmt);
    wchar_t date[16];
    std::swprintf(date, 16, L"%02d/%02d/%04d", gmt.tm_mday, gmt.tm_mon + 1, gmt.tm_year + 1900);
    today.insert(date);
  }
  EXPECT_TRUE(today.count(report.blocks[1].dateText)) << report.blocks[1].dateText;
  EXPECT_TRUE(std::wstring(report.lastUpdated).ends_with(L" GMT"));
}

TEST_F(WeatherServiceTest, SendsAFeedFileOfTheDataFolderAsItIs) {
  const std::string text = "var swCity = \"Fixed\";\r\nanything at all \xE9\n";
  std::ofstream(device_.root() / "data" / "feeds" / "UKXX0085.txt", std::ios::binary) << text;
  std::ofstream(device_.root() / "data" / "feeds" / "ZZXX9999.txt", std::ios::binary) << "own";
  WeatherServiceProcess service({"--data", Data()});
  ASSERT_TRUE(service.running());
  EXPECT_EQ(Get(service.WideUrl(std::string(kFeedPath) + "UKXX0085")).body, text);
  EXPECT_EQ(Get(service.WideUrl(std::string(kFeedPath) + "ZZXX9999")).body, "own");
  // Codes in any case, as the registry takes them; the code of a slot without one is London.
  EXPECT_EQ(Get(service.WideUrl(std::string(kFeedPath) + "ukxx0085")).body, text);
  EXPECT_NE(Get(service.WideUrl(std::string(kFeedPath) + "UKXX0260")).body.find("\"London ("),
            std::string::npos);
  EXPECT_NE(Get(service.WideUrl(std::string(kFeedPath) + "FRXX0076")).body.find("Paris"),
            std::string::npos);
}

// Files of the data folder that are not plain feeds or pictures: each is refused with one line
// naming it (however often it is asked for), counts as missing, and the service goes on.
TEST_F(WeatherServiceTest, RefusesBadDataFilesWithOneLineAndGoesOn) {
  namespace fs = std::filesystem;
  const struct {
    const char* name;
    void (*plant)(const fs::path& file);
  } cases[] = {
      {"FIFO", [](const fs::path& file) { mkfifo(file.c_str(), 0600); }},
      {"folder", [](const fs::path& file) { fs::create_directory(file); }},
      {"link", [](const fs::path& file) { fs::create_symlink("/etc/hostname", file); }},
      {"50 MB",
       [](const fs::path& file) { std::ofstream(file) << "x", fs::resize_file(file, 50 << 20); }},
      {"unreadable",
       [](const fs::path& file) { std::ofstream(file) << "x", fs::permissions(file, {}); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.name == std::string("unreadable") && geteuid() == 0) continue;  // root reads it anyway
    const fs::path data = device_.root() / c.name;
    const fs::path feed = data / "feeds" / "ZZXX9999.txt", map = data / "maps" / "brradar1.jpg";
    for (const fs::path& file : {feed, map})
      fs::create_directories(file.parent_path()), c.plant(file);
    {
      WeatherServiceProcess service({"--data", data.string()}, data / "log");
      for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(Get(service.WideUrl(std::string(kFeedPath) + "ZZXX9999")).result, 404u);
        EXPECT_EQ(Get(service.WideUrl("/weather/live/brradar1.jpg")).body.substr(0, 2), "\xFF\xD8");
      }
      EXPECT_TRUE(Get(service.WideUrl(std::string(kFeedPath) + "UKXX0085")).ok);
    }
    const std::string log = testing::ReadFile(data / "log");
    for (const fs::path& file : {feed, map}) {
      EXPECT_EQ(log.find(file.string()), log.rfind(file.string())) << log;
      EXPECT_NE(log.find(file.string()), std::string::npos) << log;
    }
  }
}

TEST_F(WeatherServiceTest, AnswersUnknownCodesPathsAndBadCodesWithNotFound) {
  std::ofstream(device_.root() / "secret.txt") << "not for the network";
  WeatherServiceProcess service({"--data", Data()});
  ASSERT_TRUE(service.running());
  for (const std::string& path :
       {std::string(kFeedPath) + "NOSUCH01", std::string(kFeedPath),
        std::string("/m/chnk/d/weather_d_src.asp"), std::string(kFeedPath) + "..%2F..%2Fsecret",
        std::string(kFeedPath) + "..%2Fsecret", std::string(kFeedPath) + std::string(40, 'A'),
        std::string("/weather/live/other.jpg"), std::string("/")}) {
    const Answer answer = Get(service.WideUrl(path));
    EXPECT_FALSE(answer.ok) << path;
    EXPECT_EQ(answer.result, 404u) << path;
  }
}

TEST_F(WeatherServiceTest, ServesMapPicturesMadeOrFromTheDataFolder) {
  {
    WeatherServiceProcess service({"--faults"});
    ASSERT_TRUE(service.running());
    for (const char* path : {"/weather/live/brradar1.jpg", "/weather/live/brsat1.jpg"}) {
      const Answer answer = Get(service.WideUrl(path));
      ASSERT_TRUE(answer.ok) << path;
      EXPECT_LT(answer.body.size(), 64000u);
      EXPECT_EQ(answer.body.substr(0, 2), "\xFF\xD8") << path;
    }
    const Answer text = Get(service.WideUrl("/weather/live/brsat1.jpg?notjpeg=1"));
    EXPECT_TRUE(text.ok);
    EXPECT_NE(text.body.substr(0, 2), "\xFF\xD8");
  }
  std::ofstream(device_.root() / "data" / "maps" / "brradar1.jpg", std::ios::binary) << "RADAR";
  WeatherServiceProcess service({"--data", Data()});
  ASSERT_TRUE(service.running());
  EXPECT_EQ(Get(service.WideUrl("/weather/live/brradar1.jpg")).body, "RADAR");
  EXPECT_EQ(Get(service.WideUrl("/weather/live/brsat1.jpg")).body.substr(0, 2), "\xFF\xD8");
}

TEST_F(WeatherServiceTest, HelpDocumentsEveryMisbehaviourAndBadArgumentsAreRefused) {
  const auto program = testing::BuildDir() / "bin" / "weather-service";
  std::string help;
  EXPECT_EQ(testing::RunProgram(program, {"--help"}, &help), 0);
  for (const char* word :
       {"--port",     "--data",         "--regions",  "--upstream", "none",         "auto",
        "open-meteo", "--upstream-url", "(sample)",   "status=",    "redirect=URL", "redirect=",
        "size=",      "binary=",        "notjpeg=",   "stall=",     "stallbody=",   "slow=",
        "truncate=",  "brradar1.jpg",   "brsat1.jpg", "acid=CODE"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--port"},
                                               {"--port", "70000"},
                                               {"--port", "x"},
                                               {"--bogus"},
                                               {"--upstream"},
                                               {"--upstream", "cloud"},
                                               {"--upstream", "Auto"},
                                               {"--upstream-url"},
                                               {"--upstream-url", "ftp://127.0.0.1/v1/forecast"},
                                               {"--upstream-url", "api.open-meteo.com"}}) {
    EXPECT_EQ(testing::RunProgram(program, args), 2) << args[0];
  }
}

TEST_F(WeatherServiceTest, APortInUseIsReportedAndNotShared) {
  WeatherServiceProcess first;
  ASSERT_TRUE(first.running());
  std::string output;
  EXPECT_EQ(testing::RunProgram(testing::BuildDir() / "bin" / "weather-service",
                                {"--port", std::to_string(first.port())}, &output, 10000),
            1);
  EXPECT_NE(output.find("cannot listen on 127.0.0.1:" + std::to_string(first.port())),
            std::string::npos)
      << output;
}

TEST_F(WeatherServiceTest, StopsCleanlyOnTerminateEvenWithARequestStalled) {
  for (int signal : {SIGTERM, SIGINT}) {
    WeatherServiceProcess service({"--faults"});
    ASSERT_TRUE(service.running());
    auto stalled = std::async(std::launch::async, [&service] {
      return Get(service.WideUrl(std::string(kFeedPath) + "UKXX0085&stall=600"));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let the request arrive
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(service.Stop(10000, signal), 0) << signal;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    const Answer answer = stalled.get();
    EXPECT_FALSE(answer.ok);
  }
}

// Answers that are being written when SIGTERM comes are finished, every byte, before it exits.
TEST_F(WeatherServiceTest, TerminateFinishesTheAnswersUnderWay) {
  const auto log = device_.root() / "service.log";
  WeatherServiceProcess service({"--faults"}, log);
  ASSERT_TRUE(service.running());
  constexpr int kClients = 16;
  // 16 pieces of 1 KB, 25 ms apart: each answer takes about 0.4 s to write.
  const std::wstring url = service.WideUrl(std::string(kFeedPath) + "UKXX0085&size=16384&slow=25");
  std::vector<std::future<Answer>> answers;
  for (int i = 0; i < kClients; ++i) {
    answers.push_back(std::async(std::launch::async, [&url] { return Get(url); }));
  }
  // The service logs each request as its answer begins.
  ASSERT_TRUE(testing::Eventually([&] {
    std::ifstream in(log);
    int lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    return lines == kClients;
  }));
  EXPECT_EQ(service.Stop(10000, SIGTERM), 0);
  for (auto& answer : answers) {
    const Answer got = answer.get();
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.body.size(), 16384u);
  }
}

// ---- live weather ----------------------------------------------------------------------------

class LiveWeatherServiceTest : public WeatherServiceTest {
 protected:
  std::string FeedOf(const WeatherServiceProcess& service, const std::string& code,
                     uint32_t* result = nullptr) {
    const Answer answer = Get(service.WideUrl(std::string(kFeedPath) + code));
    if (result != nullptr) *result = answer.result;
    return answer.body;
  }
  std::string Nowhere() const {
    return "http://127.0.0.1:" + std::to_string(testing::UnusedPort()) + "/v1/forecast";
  }

  service::StandIn api_;
};

TEST_F(LiveWeatherServiceTest, ServesTheApisWeatherUnmarkedAndAsksOnce) {
  api_.Answer(200, service::AnswerAt(service::ReadGolden("london_fog.json"), std::time(nullptr)));
  WeatherServiceProcess service({"--upstream", "auto", "--upstream-url", api_.Url()});
  ASSERT_TRUE(service.running());
  const std::string feed = FeedOf(service, "UKXX0085");
  EXPECT_NE(feed.find("var swCity = \"London\";\nvar swSubDiv = \"\";\nvar swCountry = "
                      "\"United Kingdom\";\nvar swRegion = \"England\";\nvar swTemp = \"44.8\";"),
            std::string::npos)
      << feed;
  EXPECT_EQ(FeedOf(service, "UKXX0085"), feed);
  EXPECT_EQ(api_.Requests(), 1);
}

TEST_F(LiveWeatherServiceTest, AnAnswerOfLongAgoIsNotLiveWeather) {
  // The recorded answer as it was recorded, months ago.
  for (const auto& [mode, result] : {std::pair{"auto", 200u}, std::pair{"open-meteo", 503u}}) {
    SCOPED_TRACE(mode);
    WeatherServiceProcess service({"--upstream", mode, "--upstream-url", api_.Url()});
    ASSERT_TRUE(service.running());
    uint32_t got = 0;
    const std::string feed = FeedOf(service, "UKXX0085", &got);
    EXPECT_EQ(got, result);
    if (result == 200) {
      EXPECT_NE(feed.find("London (sample)"), std::string::npos) << feed;
    }
  }
}

TEST_F(LiveWeatherServiceTest, FeedFilesStillWinOverLiveWeather) {
  std::ofstream(device_.root() / "data" / "feeds" / "UKXX0085.txt", std::ios::binary) << "own";
  WeatherServiceProcess service(
      {"--upstream", "open-meteo", "--upstream-url", api_.Url(), "--data", Data()});
  ASSERT_TRUE(service.running());
  EXPECT_EQ(FeedOf(service, "UKXX0085"), "own");
  EXPECT_EQ(api_.Requests(), 0);
}

TEST_F(LiveWeatherServiceTest, EachModeServesWhatItSaysWithoutTheApi) {
  struct Case {
    const char* mode;
    uint32_t result;
    const char* city;  // what the feed's city statement holds
  };
  for (const Case& c : {Case{"open-meteo", 503, ""}, Case{"auto", 200, "London (sample)"},
                        Case{"none", 200, "London (sample)"}}) {
    SCOPED_TRACE(c.mode);
    WeatherServiceProcess service({"--upstream", c.mode, "--upstream-url", Nowhere()});
    ASSERT_TRUE(service.running());
    uint32_t result = 0;
    const std::string feed = FeedOf(service, "UKXX0085", &result);
    EXPECT_EQ(result, c.result);
    if (*c.city != '\0') {
      EXPECT_NE(feed.find("var swCity = \"" + std::string(c.city) + "\";"), std::string::npos)
          << feed;
    }
    FeedOf(service, "NOSUCH01", &result);
    EXPECT_EQ(result, 404u);
  }
}

TEST_F(LiveWeatherServiceTest, NoneNeverAsksTheApi) {
  WeatherServiceProcess service({"--upstream", "none", "--upstream-url", api_.Url()});
  ASSERT_TRUE(service.running());
  for (const char* code : {"UKXX0085", "FRXX0076", "JAXX0085"}) {
    EXPECT_NE(FeedOf(service, code).find(" (sample)\";"), std::string::npos) << code;
  }
  EXPECT_EQ(api_.Requests(), 0);
}

TEST_F(LiveWeatherServiceTest, SaysWhichWeatherItServesAfterTheListeningLine) {
  const auto program = testing::BuildDir() / "bin" / "weather-service";
  struct Case {
    const char* mode;  // null: not given
    const char* says;
  };
  const std::string url = Nowhere();
  for (const Case& c :
       {Case{"none", "mode none: sample weather only"},
        Case{nullptr, "mode auto: live weather from http://127.0.0.1:"},
        Case{"auto", "mode auto: live weather from http://127.0.0.1:"},
        Case{"open-meteo", "mode open-meteo: live weather from http://127.0.0.1:"}}) {
    SCOPED_TRACE(c.mode ? c.mode : "default");
    std::vector<std::string> args = {"--port", "0", "--upstream-url", url};
    if (c.mode != nullptr) args.insert(args.end(), {"--upstream", c.mode});
    std::string output;
    // The service runs until stopped; the run is cut short once it has spoken.
    testing::RunProgram(program, args, &output, 1000);
    EXPECT_TRUE(output.starts_with("listening on http://127.0.0.1:")) << output;
    const size_t second = output.find('\n') + 1;
    EXPECT_EQ(output.compare(second, std::strlen(c.says), c.says), 0) << output;
  }
}

}  // namespace
}  // namespace cirrodex
