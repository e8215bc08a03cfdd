// A TCP server on a free port of 127.0.0.1 whose every answer a test writes byte by byte, for
// replies no well-behaved HTTP server would give: broken status lines, odd header line endings,
// resets in the middle of a body, no answer at all. With Reply() it is also the tests' plain HTTP
// stand-in (one request per connection), so the tests need no other server.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace cirrodex::testing {

class RawServer {
 public:
  // One accepted connection, handed to the handler with the request head already read.
  class Connection {
   public:
    // The request up to and including its blank line (less when the peer stopped sending).
    const std::string& request() const { return request_; }
    // The request target of the request line ("/path?query"), empty when there is none.
    std::string Target() const;
    // The target's path ("/path"), and the value of a query parameter ("" when absent; "%XX"
    // and "+" decoded).
    std::string Path() const;
    std::string Param(std::string_view name) const;
    // The value of the first header `name` (any case), "" when absent.
    std::string Header(std::string_view name) const;
    // Sends a whole HTTP/1.1 answer with Content-Length and "Connection: close".
    bool Reply(int status, std::string_view type, std::string_view body);
    // 0 for the first connection the server accepted, then 1, 2, ...
    int index() const { return index_; }
    // Sends all of `bytes`; false when the peer is gone.
    bool Send(std::string_view bytes);
    // Closes with a reset (RST) instead of an orderly close.
    void Reset();
    // Waits until the peer closes, the server is stopped or `ms` pass, without answering.
    void Hold(int ms);

   private:
    friend class RawServer;
    Connection(int fd, int index, int stopFd) : fd_(fd), index_(index), stopFd_(stopFd) {}
    int fd_;
    int index_;
    int stopFd_;
    bool reset_ = false;
    std::string request_;
  };
  using Handler = std::function<void(Connection&)>;

  enum class Serving {
    InTurn,       // one connection after another on the server's thread
    Concurrently  // each connection on a thread of its own, so a held one stops no other
  };
  // Starts listening on 127.0.0.1 (a free port) and serves connections as `serving` says,
  // calling `handler` for each. The connection is closed when the handler returns.
  explicit RawServer(Handler handler, Serving serving = Serving::InTurn);
  // Stops serving: a handler that holds a connection is woken, and the thread is joined.
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  bool listening() const { return port_ > 0; }
  int port() const { return port_; }
  // "http://127.0.0.1:PORT" followed by `pathAndQuery`.
  std::string Url(std::string_view pathAndQuery = "") const;
  std::wstring WideUrl(std::string_view pathAndQuery = "") const;

  // Closes the listening socket, from a handler or from the test: later connections are refused
  // as if the server had died. The connection being handled is left to its handler.
  void StopListening();

  // Connections accepted so far.
  int connections() const { return accepted_.load(); }
  // The request heads received so far, in order.
  std::vector<std::string> Requests() const;

 private:
  void Serve();
  void Handle(int fd, int index);

  Handler handler_;
  Serving serving_;
  std::vector<std::thread> connectionThreads_;  // Concurrently only
  int listenFd_ = -1;
  int stopPipe_[2] = {-1, -1};
  int port_ = -1;
  std::atomic<int> accepted_{0};
  int nextIndex_ = 0;
  std::atomic<bool> stopListening_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// The value of query parameter `name` in a request target, "%XX" and "+" decoded; "" when absent.
std::string QueryParam(std::string_view target, std::string_view name);

}  // namespace cirrodex::testing
