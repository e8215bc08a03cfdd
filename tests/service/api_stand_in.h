// A stand-in for the forecast API on a free port of 127.0.0.1, answering as the test says.
#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>

#include "tests/support/temp_device.h"

namespace cirrodex::service {

inline std::string ReadGolden(const std::string& name) {
  std::ifstream in(testing::SourceDir() / "tests" / "service" / "golden" / name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Answers GET /v1/forecast with the London fog answer until told otherwise. Counts requests and
// remembers the last one.
class StandIn {
 public:
  StandIn() {
    server_.Get("/v1/forecast",
                [this](const httplib::Request& request, httplib::Response& response) {
                  std::unique_lock lock(mutex_);
                  ++requests_;
                  lastQuery_ = request.params;
                  lastAgent_ = request.get_header_value("User-Agent");
                  changed_.notify_all();
                  changed_.wait(lock, [this] { return !held_; });
                  response.status = status_;
                  response.set_content(body_, "application/json");
                });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // stop() does nothing to a server not yet running, which would leave the destructor waiting.
    while (port_ > 0 && !server_.is_running()) std::this_thread::yield();
  }
  ~StandIn() {
    Release();
    server_.stop();
    thread_.join();
  }

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
    const auto found = lastQuery_.find(name);
    return found == lastQuery_.end() ? "" : found->second;
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
  httplib::Server server_;
  std::thread thread_;
  int port_ = -1;
  std::mutex mutex_;
  std::condition_variable changed_;
  int requests_ = 0;
  httplib::Params lastQuery_;
  std::string lastAgent_;
  bool held_ = false;
  int status_ = 200;
  std::string body_ = ReadGolden("london_fog.json");
};

}  // namespace cirrodex::service
