// The project's one wrapper of libcurl: a single GET, following no redirect, whose header lines,
// body bytes and progress go to the hooks of a derived class. The product's fetch and the weather
// service's upstream client are both built on it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cirrodex {

struct CurlRequest {
  std::string url;
  std::string protocols = "http,https";  // the schemes libcurl may use
  bool pathAsIs = false;                 // send the path exactly as given
  std::string userAgent;                 // empty: none of our own
  std::vector<std::string> headers;      // whole lines, "Name: value"
  bool anyEncoding = false;              // accept whatever content coding libcurl can decode
  long connectTimeoutMs = 0;             // 0: libcurl's own
  long totalTimeoutMs = 0;               // 0: none
  long bufferSize = 0;                   // bytes handed to OnBody at most at once; 0: libcurl's
  // Leave the connection open for, and take one left open by, the next such request to the same
  // host and port (within the process); otherwise a connection of its own.
  bool reuseConnection = false;
};

// How a transfer ended, in the terms its callers tell apart.
enum class CurlOutcome {
  Done,
  NoClient,  // the client could not be set up (out of memory)
  NameNotResolved,
  CannotConnect,
  TimedOut,
  OutOfMemory,  // libcurl's, which also means a header line over its own limit
  BadUrl,
  Failed,  // anything else, including a hook that ended the transfer
};

class CurlGet {
 public:
  CurlGet() = default;
  virtual ~CurlGet() = default;
  CurlGet(const CurlGet&) = delete;
  CurlGet& operator=(const CurlGet&) = delete;

  // Runs the request. Safe on several objects in several threads at once; uses no signals.
  CurlOutcome Run(const CurlRequest& request);
  // libcurl's words for the last failure.
  const std::string& error() const { return error_; }

  // The status of the last status line read so far (0: none yet); also after Run().
  long Status() const;
  // During Run(): whether the connection stands, and the body bytes received so far.
  bool Connected() const;
  int64_t Received() const;

 protected:
  // Each hook returns false to end the transfer at once (Run() then says Failed).
  virtual bool OnHeaderLine(std::string_view line) {
    static_cast<void>(line);
    return true;
  }
  virtual bool OnBody(std::string_view data) = 0;
  virtual bool OnProgress() { return true; }

 private:
  static size_t HeaderCallback(char* data, size_t size, size_t count, void* self);
  static size_t BodyCallback(char* data, size_t size, size_t count, void* self);
  static int ProgressCallback(void* self, int64_t, int64_t, int64_t, int64_t);

  void* handle_ = nullptr;  // the CURL easy handle while Run() runs
  long finalStatus_ = 0;
  std::string error_;
};

}  // namespace cirrodex
