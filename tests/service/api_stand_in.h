// A stand-in for the forecast API on a free port of 127.0.0.1, answering as the test says.
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>

#include "tests/support/raw_server.h"
#include "tests/support/temp_device.h"

namespace cirrodex::service {

inline std::string ReadGolden(const std::string& name) {
  return testing::ReadFile(testing::SourceDir() / "tests" / "service" / "golden" / name);
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
              } else {
                connection.Reply(status_, "application/json", body_);
              }
            },
            testing::RawServer::Serving::Concurrently),
        port_(server_.port()) {}
  ~StandIn() { Release(); }

  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/v1/forecast"; }
  int port() const { return port_; }

  void Answer(int status, std::string body) {
    std::lock_guard lock(mutex_);
    status_ = status;
    body_ = std::move(body);
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
  // Last, so that it stops (and its handlers end) before the state above goes.
  testing::RawServer server_;
  int port_ = -1;
};

}  // namespace cirrodex::service
