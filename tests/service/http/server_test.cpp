// The service's HTTP side under clients that misbehave: deadlines, the connection cap, size
// limits, the test switches, validators and 304, a slow API, shutdown and socket activation.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <future>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/service/api_stand_in.h"
#include "tests/service/map_stand_in.h"
#include "tests/support/eventually.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"

namespace cirrodex {
namespace {

using testing::Eventually;
using testing::WeatherServiceProcess;

constexpr char kFeed[] = "/m/chnk/d/weather_d_src.asp?acid=";

// A connected socket to 127.0.0.1:port, closed with the object.
class Client {
 public:
  explicit Client(int port) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~Client() {
    if (fd_ >= 0) close(fd_);
  }
  Client(Client&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

  bool connected() const { return fd_ >= 0; }
  bool Send(const std::string& bytes) {
    return fd_ >= 0 && send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                           static_cast<ssize_t>(bytes.size());
  }
  // Everything until the server closes (or `ms` pass without data).
  std::string ReadToClose(int ms = 10000) {
    std::string text;
    char buffer[4096];
    while (fd_ >= 0) {
      pollfd wait{fd_, POLLIN, 0};
      if (poll(&wait, 1, ms) <= 0) return text;
      const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) {
        closed_ = true;
        return text;
      }
      text.append(buffer, static_cast<size_t>(n));
    }
    return text;
  }
  // True when the server has closed the connection.
  bool Closed(int ms = 10000) {
    ReadToClose(ms);
    return closed_;
  }

 private:
  int fd_;
  bool closed_ = false;
};

// The answer to one GET with the given extra header lines ("Name: value\r\n" each).
std::string Get(int port, const std::string& target, const std::string& headers = "") {
  Client client(port);
  client.Send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers +
              "Connection: close\r\n\r\n");
  return client.ReadToClose();
}

int StatusOf(const std::string& answer) {
  return answer.starts_with("HTTP/1.1 ") ? std::atoi(answer.c_str() + 9) : 0;
}
std::string HeaderOf(const std::string& answer, const std::string& name) {
  const size_t at = answer.find("\r\n" + name + ": ");
  if (at == std::string::npos) return {};
  const size_t start = at + name.size() + 4;
  return answer.substr(start, answer.find("\r\n", start) - start);
}
std::string BodyOf(const std::string& answer) {
  const size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? "" : answer.substr(end + 4);
}

const std::filesystem::path& Program() {
  static const auto program = testing::BuildDir() / "bin" / "weather-service";
  return program;
}

class ServerTest : public testing::DeviceTest {};

TEST_F(ServerTest, MisbehaviourWorksOnlyWithFaults) {
  struct Case {
    const char* query;
    int statusWithout, statusWith;
    size_t bodyWith;  // 0: not checked
  };
  WeatherServiceProcess plain;
  WeatherServiceProcess faulty({"--faults"});
  ASSERT_TRUE(plain.running() && faulty.running());
  const std::string normal = BodyOf(Get(plain.port(), std::string(kFeed) + "UKXX0085"));
  ASSERT_NE(normal.find("London (sample)"), std::string::npos);
  for (const Case& c :
       {Case{"&size=10", 200, 200, 10}, Case{"&status=500", 200, 500, 0},
        Case{"&redirect=http://127.0.0.1:1/", 200, 302, 0}, Case{"&truncate=5", 200, 200, 5}}) {
    SCOPED_TRACE(c.query);
    const std::string target = std::string(kFeed) + "UKXX0085" + c.query;
    const std::string without = Get(plain.port(), target);
    EXPECT_EQ(StatusOf(without), c.statusWithout);
    EXPECT_EQ(BodyOf(without), normal);
    const std::string with = Get(faulty.port(), target);
    EXPECT_EQ(StatusOf(with), c.statusWith);
    if (c.bodyWith != 0) {
      EXPECT_EQ(BodyOf(with).size(), c.bodyWith);
    }
  }
}

TEST_F(ServerTest, FeedsAndMapsCarryValidatorsAndAnswerNotModified) {
  WeatherServiceProcess service;
  ASSERT_TRUE(service.running());
  for (const std::string& target :
       {std::string(kFeed) + "UKXX0085", std::string("/weather/live/brradar1.jpg")}) {
    SCOPED_TRACE(target);
    const std::string first = Get(service.port(), target);
    ASSERT_EQ(StatusOf(first), 200);
    const std::string tag = HeaderOf(first, "ETag");
    const std::string modified = HeaderOf(first, "Last-Modified");
    const std::string control = HeaderOf(first, "Cache-Control");
    ASSERT_TRUE(tag.starts_with("\"") && tag.size() > 2) << tag;  // strong: no W/
    ASSERT_TRUE(control.starts_with("max-age=")) << control;
    const int maxAge = std::atoi(control.c_str() + 8);
    EXPECT_GT(maxAge, 0);
    EXPECT_LE(maxAge, 3600);

    struct Ask {
      std::string header;
      int status;
    };
    for (const Ask& ask :
         {Ask{"If-None-Match: " + tag, 304}, Ask{"If-None-Match: \"other\", " + tag, 304},
          Ask{"If-None-Match: \"other\"", 200}, Ask{"If-Modified-Since: " + modified, 304},
          Ask{"If-Modified-Since: Mon, 01 Jan 2001 00:00:00 GMT", 200},
          Ask{"If-Modified-Since: yesterday", 200}}) {
      SCOPED_TRACE(ask.header);
      const std::string again = Get(service.port(), target, ask.header + "\r\n");
      EXPECT_EQ(StatusOf(again), ask.status);
      EXPECT_EQ(HeaderOf(again, "ETag"), tag);
      EXPECT_EQ(BodyOf(again).empty(), ask.status == 304);
    }
  }
}

TEST_F(ServerTest, LiveFeedsAreDatedByTheirWeatherNotByTheirServing) {
  service::StandIn api;
  const std::time_t now = std::time(nullptr);
  struct Case {
    const char* code;
    std::time_t age;  // of the answer's current conditions, before the quarter hour
  };
  for (const Case& c : {Case{"UKXX0085", 0}, Case{"FRXX0076", 40 * 60}}) {
    SCOPED_TRACE(c.age);
    const std::time_t updated = now - c.age - (now - c.age) % 900;
    api.Answer(200, service::AnswerAt(service::ReadGolden("london_fog.json"), updated));
    WeatherServiceProcess service({"--upstream", "open-meteo", "--upstream-url", api.Url()});
    ASSERT_TRUE(service.running());
    const std::string answer = Get(service.port(), std::string(kFeed) + c.code);
    ASSERT_EQ(StatusOf(answer), 200);
    char date[64];
    std::tm fields{};
    gmtime_r(&updated, &fields);
    std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", &fields);
    EXPECT_EQ(HeaderOf(answer, "Last-Modified"), date);
    const int maxAge = std::atoi(HeaderOf(answer, "Cache-Control").c_str() + 8);
    EXPECT_LE(maxAge, std::max<std::time_t>(0, updated + 900 - now));
    EXPECT_GE(maxAge, std::max<std::time_t>(0, updated + 900 - std::time(nullptr)));
  }
}

TEST_F(ServerTest, OnlyLocalOrAllowedHostsAreAnsweredAndOthersCostNoCall) {
  service::StandIn api;
  api.Answer(200, service::AnswerAt(service::ReadGolden("london_fog.json"), std::time(nullptr)));
  WeatherServiceProcess service(
      {"--upstream", "open-meteo", "--upstream-url", api.Url(), "--allow-host", "Cache.Internal"});
  ASSERT_TRUE(service.running());
  const std::string port = std::to_string(service.port());
  struct Case {
    std::string host;
    int status;
  };
  const Case cases[] = {
      {"attacker.example", 421},        {"attacker.example:" + port, 421},
      {"127.0.0.1.nip.io", 421},        {"localhost.:" + port, 421},
      {"127.0.0.1:" + port + "x", 421}, {"localhost:" + port, 200},
      {"[::1]:" + port, 200},           {"LOCALHOST", 200},
      {"cache.internal:8080", 200},
  };
  for (const Case& c : cases) {
    Client client(service.port());
    client.Send("GET " + std::string(kFeed) + "UKXX0085 HTTP/1.1\r\nHost: " + c.host +
                "\r\nOrigin: http://attacker.example\r\nConnection: close\r\n\r\n");
    const std::string answer = client.ReadToClose();
    EXPECT_EQ(StatusOf(answer), c.status) << c.host;
    EXPECT_EQ(answer.find("Access-Control-"), std::string::npos) << answer;
    if (c.status == 421) {
      EXPECT_EQ(api.Requests(), 0) << c.host;
    }
  }
}

TEST_F(ServerTest, HeadsOverTheLimitAreRefusedAndClosed) {
  WeatherServiceProcess service;
  ASSERT_TRUE(service.running());
  struct Case {
    std::string target, header;
    int status;
  };
  const std::string feed = std::string(kFeed) + "UKXX0085";
  for (const Case& c : {Case{feed + "&x=" + std::string(9000, 'a'), "", 414},
                        Case{feed, "X-Filler: " + std::string(9000, 'b') + "\r\n", 431},
                        Case{feed, "X-Filler: " + std::string(7000, 'c') + "\r\n", 200}}) {
    SCOPED_TRACE(c.status);
    Client client(service.port());
    client.Send("GET " + c.target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + c.header + "\r\n");
    // Keep-alive was asked for; a refused head is closed all the same.
    const std::string answer = client.ReadToClose(c.status == 200 ? 500 : 10000);
    EXPECT_EQ(StatusOf(answer), c.status);
  }
}

TEST_F(ServerTest, AClientDribblingItsRequestIsCutAtTheDeadline) {
  WeatherServiceProcess service({"--request-deadline", "300"});
  ASSERT_TRUE(service.running());
  Client dribbler(service.port());
  Client idle(service.port());
  const std::string request = "GET " + std::string(kFeed) + "UKXX0085 HTTP/1.1\r\n" +
                              "X-Slow: " + std::string(200, 'd') + "\r\n\r\n";
  bool cut = false;
  for (char c : request) {
    if (!dribbler.Send(std::string(1, c)) || dribbler.Closed(20)) {
      cut = true;
      break;
    }
  }
  EXPECT_TRUE(cut);
  EXPECT_TRUE(idle.Closed());
  EXPECT_EQ(StatusOf(Get(service.port(), std::string(kFeed) + "UKXX0085")), 200);
}

TEST_F(ServerTest, OneConnectionOverTheCapIsClosedAtOnce) {
  WeatherServiceProcess service({"--max-connections", "3"});
  ASSERT_TRUE(service.running());
  std::vector<Client> held;
  for (int i = 0; i < 3; ++i) held.emplace_back(service.port());
  // The held ones are counted once the server has taken them: then one more is closed at once.
  std::vector<Client> extras;
  ASSERT_TRUE(Eventually([&] {
    extras.emplace_back(service.port());
    return extras.back().Closed(200);
  }));
  held.pop_back();
  EXPECT_TRUE(Eventually(
      [&] { return StatusOf(Get(service.port(), std::string(kFeed) + "UKXX0085")) == 200; }));
}

TEST_F(ServerTest, ASlowApiDoesNotHoldUpOtherCities) {
  std::filesystem::create_directories(device_.root() / "data" / "feeds");
  std::ofstream(device_.root() / "data" / "feeds" / "ZZXX0001.txt") << "own";
  service::StandIn api;
  WeatherServiceProcess service({"--upstream", "auto", "--upstream-url", api.Url(), "--data",
                                 (device_.root() / "data").string()});
  ASSERT_TRUE(service.running());
  EXPECT_EQ(StatusOf(Get(service.port(), std::string(kFeed) + "FRXX0076")), 200);  // now kept
  api.Hold();
  auto held = std::async(std::launch::async,
                         [&] { return Get(service.port(), std::string(kFeed) + "UKXX0085"); });
  api.WaitForRequests(2);
  for (const char* code : {"FRXX0076", "ZZXX0001"}) {
    EXPECT_EQ(StatusOf(Get(service.port(), std::string(kFeed) + code)), 200) << code;
  }
  EXPECT_EQ(held.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
  api.Release();
  EXPECT_EQ(StatusOf(held.get()), 200);
}

TEST_F(ServerTest, StopsOnTerminateWithThousandsOfConnectionsOpen) {
  service::StandIn api;
  api.Hold();
  WeatherServiceProcess service({"--upstream", "auto", "--upstream-url", api.Url(), "--faults"});
  ASSERT_TRUE(service.running());
  std::vector<Client> clients;
  for (int i = 0; i < 2000; ++i) clients.emplace_back(service.port());
  clients[0].Send("GET " + std::string(kFeed) + "UKXX0085 HTTP/1.1\r\n\r\n");  // waits on the API
  clients[1].Send("GET /?stall=600 HTTP/1.1\r\n\r\n");
  clients[2].Send("GET / HTTP/1.1\r\nX-Unfinished: ");
  api.WaitForRequests(1);
  EXPECT_EQ(service.Stop(10000), 0);
  api.Release();
}

TEST_F(ServerTest, CommandLine) {
  std::string out;
  EXPECT_EQ(testing::RunProgram(Program(), {"--help"}, &out), 0);
  for (const char* word : {"--faults", "--idle-exit", "--request-deadline", "--max-connections",
                           "--version", "LISTEN_FDS", "304", "--allow-host", "421",
                           "500 calls to Open-Meteo a minute, 4,000 an hour\nand 8,000 a day"}) {
    EXPECT_NE(out.find(word), std::string::npos) << word;
  }
  EXPECT_EQ(testing::RunProgram(Program(), {"--version"}, &out), 0);
  EXPECT_TRUE(out.starts_with("weather-service ")) << out;
  // Usage goes to stderr for an unknown option: with stderr dropped, nothing is left.
  EXPECT_EQ(
      testing::RunProgram("/bin/sh", {"-c", Program().string() + " --bogus 2>/dev/null"}, &out), 2);
  EXPECT_EQ(out, "");
  EXPECT_EQ(testing::RunProgram(Program(), {"--bogus"}, &out), 2);
  EXPECT_NE(out.find("Usage: weather-service"), std::string::npos);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--idle-exit", "x"},
                                               {"--request-deadline", "0"},
                                               {"--max-connections", "-1"},
                                               {"--allow-host", "evil/x"},
                                               {"--idle-exit"}}) {
    EXPECT_EQ(testing::RunProgram(Program(), args), 2) << args[0];
  }
}

TEST_F(ServerTest, ServesASocketHandedOverBySystemdAndExitsWhenIdle) {
  const std::filesystem::path activate = "/usr/bin/systemd-socket-activate";
  if (!std::filesystem::exists(activate)) GTEST_SKIP() << "systemd-socket-activate is missing";
  const int port = testing::UnusedPort();
  std::string output;
  auto run = std::async(std::launch::async, [&] {
    return testing::RunProgram(activate,
                               {"-l", "127.0.0.1:" + std::to_string(port), Program().string(),
                                "--upstream", "none", "--idle-exit", "1"},
                               &output, 30000);
  });
  std::string answer;
  EXPECT_TRUE(Eventually([&] {
    answer = Get(port, std::string(kFeed) + "UKXX0085");
    return !answer.empty();
  }));
  EXPECT_EQ(StatusOf(answer), 200);
  EXPECT_NE(answer.find("London (sample)"), std::string::npos);
  EXPECT_EQ(run.get(), 0) << output;  // it ends by itself, idle
  EXPECT_NE(output.find("listening on http://127.0.0.1:" + std::to_string(port)), std::string::npos)
      << output;
}

// The nginx set-up of docs/HTTP_CACHE.md, as written there, in front of the service.
TEST_F(ServerTest, TheCacheNoteOfTheDocsWorksWithNginx) {
  const std::filesystem::path nginx = "/usr/sbin/nginx";
  if (!std::filesystem::exists(nginx)) GTEST_SKIP() << "nginx is missing";
  const std::string note = testing::ReadFile(testing::SourceDir() / "docs" / "HTTP_CACHE.md");
  const size_t start = note.find("```nginx\n");
  ASSERT_NE(start, std::string::npos);
  std::string block = note.substr(start + 9, note.find("```", start + 9) - start - 9);

  const std::filesystem::path logFile = device_.root() / "service.log";
  WeatherServiceProcess service({}, logFile);
  ASSERT_TRUE(service.running());
  const int port = testing::UnusedPort();
  const std::filesystem::path dir = device_.root() / "nginx";
  std::filesystem::create_directories(dir / "logs");
  block = std::regex_replace(block, std::regex("127\\.0\\.0\\.1:8611"),
                             "127.0.0.1:" + std::to_string(service.port()));
  block = std::regex_replace(block, std::regex("127\\.0\\.0\\.1:8080"),
                             "127.0.0.1:" + std::to_string(port));
  block = std::regex_replace(block, std::regex("/var/cache/cirrodex"), (dir / "cache").string());
  const std::filesystem::path conf = dir / "nginx.conf";
  std::ofstream(conf) << "daemon off;\nworker_processes 1;\nuser root;\npid "
                      << (dir / "pid").string()
                      << ";\nerror_log stderr;\nevents {}\nhttp {\naccess_log off;\n"
                      << "client_body_temp_path " << (dir / "body").string() << ";\n"
                      << "proxy_temp_path " << (dir / "proxy").string() << ";\n"
                      << block << "}\n";
  std::string output;
  const std::vector<std::string> base = {"-e", "stderr", "-p", dir.string(), "-c", conf.string()};
  auto run = std::async(std::launch::async,
                        [&] { return testing::RunProgram(nginx, base, &output, 60000); });

  const std::string target = std::string(kFeed) + "UKXX0085";
  std::string first;
  EXPECT_TRUE(Eventually([&] {
    first = Get(port, target);
    return !first.empty();
  }));
  const std::string second = Get(port, target);
  std::vector<std::string> stop = base;
  stop.insert(stop.end(), {"-s", "quit"});
  testing::RunProgram(nginx, stop);
  EXPECT_EQ(run.get(), 0) << output;

  EXPECT_EQ(StatusOf(first), 200) << first;
  EXPECT_EQ(HeaderOf(first, "X-Cache-Status"), "MISS");
  EXPECT_EQ(HeaderOf(second, "X-Cache-Status"), "HIT");
  EXPECT_EQ(BodyOf(second), BodyOf(first));
  service.Stop();
  std::ifstream log(logFile);
  std::string line;
  int asked = 0;
  while (std::getline(log, line)) asked += line.find("UKXX0085") != std::string::npos;
  EXPECT_EQ(asked, 1);
}

}  // namespace
}  // namespace cirrodex

namespace cirrodex {
namespace {

class MapPaths : public ServerTest {
 protected:
  std::vector<std::string> Args() const {
    return {"--upstream",     "auto",
            "--upstream-url", "http://127.0.0.1:1/v1/forecast",
            "--radar-url",    standIn_.IndexUrl(),
            "--imagery-url",  standIn_.WmsUrl()};
  }
  service::MapStandIn standIn_;
};

TEST_F(MapPaths, ServeAnyCodesAreaWithValidatorsAndRefuseUnknownCodes) {
  WeatherServiceProcess service(Args());
  ASSERT_TRUE(service.running());
  const struct {
    const char* target;
    int status;
  } cases[] = {{"/weather/live/radar/UKXX0085.jpg", 200},
               {"/weather/live/satellite/N6965E01896.jpg", 200},
               {"/weather/live/brsat1.jpg", 200},
               {"/weather/live/radar/ZZXX9999.jpg", 404},
               {"/weather/live/satellite/UKXX0085.png", 404},
               {"/weather/live/radar/..%2Fx.jpg", 404},
               {"/weather/live/radar/.jpg", 404}};
  for (const auto& c : cases) {
    const std::string answer = Get(service.port(), c.target);
    EXPECT_EQ(StatusOf(answer), c.status) << c.target;
    if (c.status != 200) continue;
    EXPECT_EQ(HeaderOf(answer, "Content-Type"), "image/jpeg") << c.target;
    EXPECT_TRUE(HeaderOf(answer, "Cache-Control").starts_with("max-age=")) << c.target;
    EXPECT_FALSE(HeaderOf(answer, "ETag").empty()) << c.target;
    EXPECT_FALSE(HeaderOf(answer, "Last-Modified").empty()) << c.target;
    EXPECT_TRUE(BodyOf(answer).starts_with("\xFF\xD8")) << c.target;
  }
  // The old fixed name is London's area, the same picture.
  EXPECT_TRUE(BodyOf(Get(service.port(), "/weather/live/brradar1.jpg")) ==
              BodyOf(Get(service.port(), "/weather/live/radar/UKXX0085.jpg")));
}

TEST_F(MapPaths, ManyDifferentPicturesAtOnceGet503WithRetryAfterBeyondTheQueue) {
  WeatherServiceProcess service(Args());
  ASSERT_TRUE(service.running());
  std::vector<Client> clients;
  for (int i = 0; i < 64; ++i) {
    clients.emplace_back(service.port());
    char code[16];
    std::snprintf(code, sizeof code, "N%04dE%05d", 1000 + i * 50, 1000 + i * 200);
    clients.back().Send(std::string("GET /weather/live/radar/") + code +
                        ".jpg HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  }
  int ok = 0, busy = 0;
  for (Client& client : clients) {
    const std::string answer = client.ReadToClose(30000);
    const int status = StatusOf(answer);
    ok += status == 200;
    if (status == 503) {
      ++busy;
      EXPECT_GE(std::atoi(HeaderOf(answer, "Retry-After").c_str()), 1);
    }
  }
  EXPECT_EQ(ok + busy, 64);
  EXPECT_GE(ok, 1);
  EXPECT_GE(busy, 1);
}

}  // namespace
}  // namespace cirrodex
