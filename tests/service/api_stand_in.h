// A stand-in for the forecast API on a free port of 127.0.0.1, answering as the test says.
#pragma once

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/support/raw_server.h"
#include "tests/support/temp_device.h"

namespace cirrodex::service {

inline std::string ReadGolden(const std::string& name) {
  return testing::ReadFile(testing::SourceDir() / "tests" / "service" / "golden" / name);
}

// `answer` (a forecast answer) as the API would give it at `utc`: its current time moved there
// (in the answer's own zone, to the quarter hour) and its daily rows dated from that day on.
inline std::string AnswerAt(const std::string& answer, std::time_t utc) {
  nlohmann::json moved = nlohmann::json::parse(answer);
  const std::time_t wall = utc - utc % 900 + moved.value("utc_offset_seconds", 0);
  char text[32];
  std::tm fields{};
  gmtime_r(&wall, &fields);
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M", &fields);
  moved["current"]["time"] = text;
  for (size_t row = 0; row < moved["daily"]["time"].size(); ++row) {
    const std::time_t day = wall + static_cast<std::time_t>(row) * 86400;
    gmtime_r(&day, &fields);
    std::strftime(text, sizeof text, "%Y-%m-%d", &fields);
    moved["daily"]["time"][row] = text;
  }
  return moved.dump();
}

// Answers GET /v1/forecast with the London fog answer until told otherwise. Counts requests and
// remembers the last one.
class StandIn {
 public:
  StandIn()
      : server_(
            [this](testing::RawServer::Connection& connection) {
              std::unique_lock lock(mutex_);
              ++requests_;
              lastTarget_ = connection.Target();
              lastAgent_ = connection.Header("User-Agent");
              changed_.notify_all();
              changed_.wait(lock, [this] { return !held_; });
              if (connection.Path() != "/v1/forecast") {
                connection.Reply(404, "text/plain", "not found\n");
              } else if (headers_.empty()) {
                connection.Reply(status_, "application/json", body_);
              } else {
                connection.Send("HTTP/1.1 " + std::to_string(status_) +
                                " Answer\r\nContent-Type: application/json\r\nContent-Length: " +
                                std::to_string(body_.size()) + "\r\nConnection: close\r\n" +
                                headers_ + "\r\n" + body_);
              }
            },
            testing::RawServer::Serving::Concurrently),
        port_(server_.port()) {}
  ~StandIn() { Release(); }

  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/v1/forecast"; }
  int port() const { return port_; }

  // `headers`: more header lines ("Name: value\r\n" each).
  void Answer(int status, std::string body, std::string headers = "") {
    std::lock_guard lock(mutex_);
    status_ = status;
    body_ = std::move(body);
    headers_ = std::move(headers);
  }
  int Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  std::string Param(const std::string& name) {
    std::lock_guard lock(mutex_);
    return testing::QueryParam(lastTarget_, name);
  }
  std::string Agent() {
    std::lock_guard lock(mutex_);
    return lastAgent_;
  }
  // While held, requests wait before answering.
  void Hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
  }
  void Release() {
    {
      std::lock_guard lock(mutex_);
      held_ = false;
    }
    changed_.notify_all();
  }
  void WaitForRequests(int count) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return requests_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int requests_ = 0;
  std::string lastTarget_;
  std::string lastAgent_;
  bool held_ = false;
  int status_ = 200;
  std::string body_ = ReadGolden("london_fog.json");
  std::string headers_;
  // Last, so that it stops (and its handlers end) before the state above goes.
  testing::RawServer server_;
  int port_ = -1;
};

}  // namespace cirrodex::service
