// The fetch against a server on 127.0.0.1 whose answer is the fuzz input: status line, headers,
// "Location: " and body as raw bytes. The input up to its first zero byte answers the first
// request; the rest, when there is one, answers the request a redirect makes.
//
// Only this machine may be reached: every "Location: " URL is pointed at the fuzzing server
// before the answer is served, and an input whose redirect could still lead elsewhere is skipped.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "tests/fuzz/fuzz_device.h"
#include "tests/support/raw_server.h"
#include "update/http_fetch.h"

namespace {

using cirrodex::fuzzing::Fail;

constexpr std::string_view kLocation = "Location: ";
constexpr std::string_view kLoopback = "127.0.0.1";
// Well above what any answer takes on the loopback, well below libFuzzer's time-out.
constexpr auto kFetchBound = std::chrono::seconds(8);

// Serves queued answers, one per connection, in order; each connection is closed once its
// answer is written. With the queue empty, a connection gets nothing and is closed.
class AnswerServer {
 public:
  AnswerServer()
      : server_([this](cirrodex::testing::RawServer::Connection& connection) {
          std::string answer;
          {
            std::lock_guard lock(mutex_);
            if (!answers_.empty()) {
              answer = std::move(answers_.front());
              answers_.pop_front();
            }
          }
          connection.Send(answer);
        }) {
    if (!server_.listening()) Fail("listen");
  }

  uint16_t port() const { return static_cast<uint16_t>(server_.port()); }

  void SetAnswers(std::deque<std::string> answers) {
    std::lock_guard lock(mutex_);
    answers_ = std::move(answers);
  }

 private:
  std::mutex mutex_;
  std::deque<std::string> answers_;
  cirrodex::testing::RawServer server_;  // last: it stops before the queue goes
};

AnswerServer* g_server = nullptr;

// Points the URL after every "Location: " at the fuzzing server, keeping the rest of it.
std::string PointLocationsHere(std::string answer, const std::string& authority) {
  for (size_t at = answer.find(kLocation); at != std::string::npos;
       at = answer.find(kLocation, at + 1)) {
    const size_t start = at + kLocation.size();
    const size_t lineEnd = std::min(answer.find('\n', start), answer.size());
    const size_t scheme = answer.find("://", start);
    if (scheme == std::string::npos || scheme >= lineEnd) continue;
    const size_t hostStart = scheme + 3;
    size_t hostEnd = answer.find_first_of("/?#\r\n\t ", hostStart);
    if (hostEnd == std::string::npos || hostEnd > lineEnd) hostEnd = lineEnd;
    answer.replace(hostStart, hostEnd - hostStart, authority);
  }
  return answer;
}

// True when every URL a "Location: " could give leads to the fuzzing server or fails to split.
bool StaysHere(std::string_view answer) {
  for (size_t at = answer.find(kLocation); at != std::string_view::npos;
       at = answer.find(kLocation, at + 1)) {
    std::wstring url;
    cirrodex::FindLocation(answer.substr(at), url);
    cirrodex::HttpUrl parts;
    if (!cirrodex::SplitHttpUrl(url, parts)) continue;
    if (parts.host != kLoopback || parts.port != g_server->port()) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The fetch uses no proxy of its own; one from the environment would take the requests away.
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) unsetenv(name);
  setenv("no_proxy", "*", 1);
  cirrodex::SetHttpTimeouts({1000, 1000});
  g_server = new AnswerServer();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string authority = std::string(kLoopback) + ":" + std::to_string(g_server->port());
  const size_t zero = input.find('\0');
  std::string first = PointLocationsHere(input.substr(0, zero), authority);
  std::string second =
      zero == std::string::npos ? first : PointLocationsHere(input.substr(zero + 1), authority);
  if (!StaysHere(first) || !StaysHere(second)) return 0;
  g_server->SetAnswers({std::move(first), std::move(second)});

  const std::wstring url =
      L"http://127.0.0.1:" + std::to_wstring(g_server->port()) + L"/weather/feed?code=UKXX0085";
  std::unique_ptr<wchar_t[]> body;
  uint32_t length = 0;
  uint32_t result = 0;
  const auto start = std::chrono::steady_clock::now();
  const bool fetched = cirrodex::HttpFetch(url.c_str(), body, length, &result);
  if (std::chrono::steady_clock::now() - start > kFetchBound) Fail("the fetch took too long");

  if (result == 0) Fail("a tried fetch left the result at 0");
  if (result == cirrodex::kResultBadUrl) Fail("a valid URL reported as bad");
  if (fetched && result != cirrodex::kResultOk) Fail("fetched without status 200");
  if (fetched && !body) Fail("fetched without a body");
  if (body) {
    if (length > cirrodex::kBodyLimit) Fail("body longer than the limit");
    if (body[length] != 0 || body[cirrodex::kBodyLimit] != 0) Fail("body not terminated");
    for (uint32_t i = 0; i < length; ++i) {
      if (static_cast<uint32_t>(body[i]) > 0xFF) Fail("body character above one byte");
    }
  }
  return 0;
}
