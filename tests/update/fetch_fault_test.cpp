// The fetch against a server that misbehaves at the byte level: no answer, a reset in the middle
// of the body, a 10 MB body, a redirect to itself, broken status lines and "Location" headers
// with odd line endings. Every fetch must end in bounded time with a result code.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/raw_server.h"
#include "update/http_fetch.h"

namespace cirrodex {
namespace {

using testing::RawServer;
using Clock = std::chrono::steady_clock;

// Connection reset, reply not HTTP and the like (ERROR_INTERNET_CONNECTION_ABORTED).
constexpr uint32_t kResultConnectionAborted = 12030;

constexpr char kFeed[] = "var swCity = \"Testville\";\nvar swTemp = \"61\";\n";

struct Fetched {
  bool ok = false;
  std::unique_ptr<wchar_t[]> body;
  uint32_t length = 0;
  uint32_t result = 0;
  Clock::duration took{};
};

Fetched Fetch(const std::wstring& url) {
  Fetched f;
  const auto start = Clock::now();
  f.ok = HttpFetch(url.c_str(), f.body, f.length, &f.result);
  f.took = Clock::now() - start;
  return f;
}

std::string Ok(std::string_view body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

// A body of `size` bytes "ABC...Z" repeated.
std::string Letters(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('A' + i % 26);
  return text;
}

class FetchFaultTest : public ::testing::Test {
 protected:
  // Short time-outs: a fetch that waits does so for half a second, not a minute.
  void SetUp() override {
    saved_ = GetHttpTimeouts();
    SetHttpTimeouts({2000, 500});
  }
  void TearDown() override { SetHttpTimeouts(saved_); }

  HttpTimeouts saved_;
};

// Far above the time-outs above, far below anything a hang would take.
constexpr auto kBound = std::chrono::seconds(10);

TEST_F(FetchFaultTest, NoAnswerAtAllTimesOut) {
  RawServer server([](RawServer::Connection& c) { c.Hold(30000); });
  ASSERT_TRUE(server.listening());
  const Fetched f = Fetch(server.WideUrl("/feed"));
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.result, kResultTimeout);
  EXPECT_FALSE(f.body);
  EXPECT_LT(f.took, kBound);
}

TEST_F(FetchFaultTest, HeadersWithoutTheirBodyTimeOut) {
  RawServer server([](RawServer::Connection& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
    c.Hold(30000);
  });
  const Fetched f = Fetch(server.WideUrl("/feed"));
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.result, kResultTimeout);
  ASSERT_TRUE(f.body);  // the status was 200
  EXPECT_EQ(f.length, 0u);
  EXPECT_LT(f.took, kBound);
}

TEST_F(FetchFaultTest, AConnectionClosedOrResetBeforeAnyAnswerIsAborted) {
  for (const bool reset : {false, true}) {
    RawServer server([reset](RawServer::Connection& c) {
      if (reset) c.Reset();
    });
    const Fetched f = Fetch(server.WideUrl("/feed"));
    EXPECT_FALSE(f.ok) << reset;
    EXPECT_EQ(f.result, kResultConnectionAborted) << reset;
    EXPECT_FALSE(f.body) << reset;
    EXPECT_LT(f.took, kBound);
  }
}

// The connection a reply left open, closed or reset by the server meanwhile: the next fetch
// must still get its own answer.
TEST_F(FetchFaultTest, TheNextFetchSurvivesAConnectionTheServerEnded) {
  for (const int end : {0, 1, 2}) {  // closed at once, reset, closed after a while
    RawServer server([end](RawServer::Connection& c) {
      c.Send(Ok("answer " + std::to_string(c.index())));
      if (end == 1) c.Reset();
      if (end == 2) c.Hold(300);
    }, RawServer::Serving::Concurrently);
    for (int i = 0; i < 2; ++i) {
      const Fetched f = Fetch(server.WideUrl("/feed"));
      ASSERT_TRUE(f.ok) << end << " fetch " << i;
      EXPECT_EQ(std::wstring(f.body.get(), f.length), L"answer " + std::to_wstring(i)) << end;
    }
  }
}

TEST_F(FetchFaultTest, AResetInTheMiddleOfTheBodyIsAborted) {
  RawServer server([](RawServer::Connection& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + Letters(1000));
    c.Reset();
  });
  const Fetched f = Fetch(server.WideUrl("/feed"));
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.result, kResultConnectionAborted);
  // A reset may overtake data still on its way, so only an upper bound holds.
  if (f.body) {
    EXPECT_LE(f.length, 1000u);
    for (uint32_t i = 0; i < f.length; ++i) ASSERT_EQ(f.body[i], L'A' + i % 26) << i;
  }
  EXPECT_LT(f.took, kBound);
}

TEST_F(FetchFaultTest, AResetInTheMiddleOfTheHeadersIsAborted) {
  RawServer server([](RawServer::Connection& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Le");
    c.Reset();
  });
  const Fetched f = Fetch(server.WideUrl("/feed"));
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.result, kResultConnectionAborted);
  EXPECT_FALSE(f.body);
}

// A 10 MB body, announced by its length or ended by the close: the first 64000 bytes are kept and
// the rest is read and dropped.
TEST_F(FetchFaultTest, ATenMegabyteBodyKeepsItsFirst64000Bytes) {
  const std::string big = Letters(10 << 20);
  for (const bool announced : {true, false}) {
    RawServer server([&](RawServer::Connection& c) {
      c.Send(announced
                 ? "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(big.size()) + "\r\n\r\n"
                 : "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
      c.Send(big);
    });
    const Fetched f = Fetch(server.WideUrl("/big"));
    EXPECT_TRUE(f.ok) << announced;
    EXPECT_EQ(f.result, kResultOk) << announced;
    ASSERT_EQ(f.length, kBodyLimit) << announced;
    for (uint32_t i = 0; i < kBodyLimit; ++i) ASSERT_EQ(f.body[i], L'A' + i % 26) << i;
    EXPECT_EQ(f.body[kBodyLimit], L'\0');
    EXPECT_LT(f.took, kBound);
  }
}

TEST_F(FetchFaultTest, ATenMegabyteErrorPageIsNotRead) {
  const std::string big = Letters(10 << 20);
  RawServer server([&](RawServer::Connection& c) {
    c.Send("HTTP/1.1 404 Not Found\r\nContent-Length: " + std::to_string(big.size()) + "\r\n\r\n");
    c.Send(big);
  });
  const Fetched f = Fetch(server.WideUrl("/missing"));
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.result, 404u);
  EXPECT_FALSE(f.body);
  EXPECT_LT(f.took, kBound);
}

TEST_F(FetchFaultTest, ARedirectToItselfIsFollowedOnceAndRefused) {
  for (const char* status : {"301 Moved Permanently", "302 Found", "303 See Other"}) {
    std::string self;
    RawServer server([&](RawServer::Connection& c) {
      c.Send(std::string("HTTP/1.1 ") + status + "\r\nLocation: " + self +
             "\r\nContent-Length: 0\r\n\r\n");
    });
    self = server.Url("/loop");
    const Fetched f = Fetch(server.WideUrl("/loop"));
    EXPECT_FALSE(f.ok) << status;
    EXPECT_EQ(f.result, kResultBadRedirect) << status;
    EXPECT_FALSE(f.body) << status;
    EXPECT_EQ(server.connections(), 2) << status;
    EXPECT_LT(f.took, kBound);
  }
}

// `count` header lines of `size` bytes each.
std::string Headers(int count, size_t size) {
  std::string lines;
  for (int i = 0; i < count; ++i) {
    lines += "X-Filler-" + std::to_string(i) + ": " + std::string(size, 'y') + "\r\n";
  }
  return lines;
}

struct StatusLineCase {
  const char* name;
  std::string reply;
  uint32_t result;
};

// Replies whose status line is not what HTTP/1.x allows. None may pass as a success.
TEST_F(FetchFaultTest, MalformedStatusLinesEndWithAResultCode) {
  const std::string body = "Content-Length: 5\r\n\r\nhello";
  const std::vector<StatusLineCase> cases = {
      {"words instead of a code", "HTTP/1.1 abc OK\r\n" + body, kResultConnectionAborted},
      {"not HTTP", "HTTX/1.1 200 OK\r\n" + body, kResultConnectionAborted},
      {"plain text", "hello, this is no reply\r\n\r\n", kResultConnectionAborted},
      {"binary", std::string("\0\x01\x02\xff\r\n\r\n", 8), kResultConnectionAborted},
      {"four-digit code", "HTTP/1.1 2000 OK\r\n" + body, kResultConnectionAborted},
      {"negative code", "HTTP/1.1 -200 OK\r\n" + body, kResultConnectionAborted},
      {"no line end before the close", "HTTP/1.1 200 OK", kResultConnectionAborted},
      {"a status line of 100 kB", "HTTP/1.1 200 " + std::string(100 << 10, 'x') + "\r\n" + body,
       kResultConnectionAborted},
      {"only a blank line", "\r\n", kResultConnectionAborted},
      {"a header block of 1 MB", "HTTP/1.1 200 OK\r\n" + Headers(1024, 1000) + body,
       kResultConnectionAborted},
  };
  for (const StatusLineCase& test : cases) {
    RawServer server([&](RawServer::Connection& c) { c.Send(test.reply); });
    const Fetched f = Fetch(server.WideUrl("/feed"));
    EXPECT_FALSE(f.ok) << test.name;
    EXPECT_EQ(f.result, test.result) << test.name;
    EXPECT_LT(f.took, kBound) << test.name;
  }
}

struct LocationCase {
  const char* name;
  // The whole redirect reply; "URL" stands for the target.
  std::string reply;
  uint32_t result;  // 200 when the redirect was followed
};

// "Location" lines ended by LF alone, CR CR LF or trailing blanks still lead to their URL; a CR
// alone inside the line is refused, so nothing after it can reach the next request; a reply whose
// lines end in CR alone never ends its header block and is no HTTP reply at all.
TEST_F(FetchFaultTest, LocationHeadersWithOddLineEndings) {
  const std::vector<LocationCase> cases = {
      {"CR LF", "HTTP/1.1 302 Found\r\nLocation: URL\r\nContent-Length: 0\r\n\r\n", kResultOk},
      {"LF only", "HTTP/1.1 302 Found\nLocation: URL\nContent-Length: 0\n\n", kResultOk},
      {"CR CR LF", "HTTP/1.1 302 Found\r\nLocation: URL\r\r\nContent-Length: 0\r\n\r\n", kResultOk},
      {"trailing spaces", "HTTP/1.1 302 Found\r\nLocation: URL   \r\nContent-Length: 0\r\n\r\n",
       kResultOk},
      {"trailing tab", "HTTP/1.1 302 Found\r\nLocation: URL\t\r\nContent-Length: 0\r\n\r\n",
       kResultOk},
      {"last header, LF only", "HTTP/1.1 302 Found\nContent-Length: 0\nLocation: URL\n\n",
       kResultOk},
      {"CR alone inside the line",
       "HTTP/1.1 302 Found\r\nLocation: URL\rX-Smuggled: 1\r\nContent-Length: 0\r\n\r\n",
       kResultBadRedirect},
      {"CR only everywhere", "HTTP/1.1 302 Found\rLocation: URL\rContent-Length: 0\r\r",
       kResultConnectionAborted},
  };
  for (const LocationCase& test : cases) {
    std::string target;
    RawServer server([&](RawServer::Connection& c) {
      if (c.Target() == "/feed") {
        c.Send(Ok(kFeed));
        return;
      }
      std::string reply = test.reply;
      reply.replace(reply.find("URL"), 3, target);
      c.Send(reply);
    });
    target = server.Url("/feed");
    const Fetched f = Fetch(server.WideUrl("/moved"));
    const bool followed = test.result == kResultOk;
    EXPECT_EQ(f.ok, followed) << test.name;
    EXPECT_EQ(f.result, test.result) << test.name;
    EXPECT_EQ(server.connections(), followed ? 2 : 1) << test.name;
    if (followed && f.ok) {
      EXPECT_EQ(f.length, std::string(kFeed).size()) << test.name;
    }
    for (const std::string& request : server.Requests()) {
      EXPECT_EQ(request.find("Smuggled"), std::string::npos) << test.name;
    }
    EXPECT_LT(f.took, kBound) << test.name;
  }
}

}  // namespace
}  // namespace cirrodex
