// libcurl (through the project's one wrapper, curl_get) here plays the handheld's HTTP client: it
// connects, sends one GET and hands over the status, the raw header text and the body; everything
// the system decides (the single redirect, the body limit, the result codes) is done here.
#include "update/http_fetch.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <mutex>
#include <new>
#include <string>

#include "platform/text.h"
#include "update/curl_get.h"

namespace cirrodex {

namespace {

// Transport failures without a closer platform number (the connection dropped, the reply was
// not HTTP, sending failed) report ERROR_INTERNET_CONNECTION_ABORTED.
constexpr uint32_t kResultConnectionAborted = 12030;

constexpr size_t kChunkSize = 1024;
// Header text beyond this is not kept; no real reply comes near it.
constexpr size_t kRawHeaderLimit = 256 * 1024;

std::atomic<long> g_connectMs{HttpTimeouts{}.connectMs};
std::atomic<long> g_idleMs{HttpTimeouts{}.idleMs};

// The client's own failure, carrying the number that becomes the result.
struct InternetError {
  uint32_t number;
};

bool MemoryToSpare() {
  // Through a volatile pointer, so that the allocation cannot be optimised away.
  void* volatile probe = std::malloc(1 << 20);
  const bool spare = probe != nullptr;
  std::free(probe);
  return spare;
}

bool IsHostChar(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
         c == L'-' || c == L'.' || c == L'_';
}

bool IsWhite(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

// Printable ASCII but the space goes into a request path as it is.
bool KeptInPath(char c) { return c > 0x20 && c < 0x7F; }

// Control characters and what is no Unicode scalar value make no request path.
bool PathCharAllowed(wchar_t wc) {
  const auto c = static_cast<uint32_t>(wc);
  return c >= 0x20 && c != 0x7F && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

bool SplitAuthority(std::wstring_view authority, HttpUrl& parts) {
  const size_t at = authority.rfind(L'@');
  if (at != std::wstring_view::npos) authority.remove_prefix(at + 1);
  if (authority.empty()) return false;

  std::wstring_view host = authority;
  std::wstring_view port;
  if (authority.front() == L'[') {
    const size_t close = authority.find(L']');
    if (close == std::wstring_view::npos || close < 2) return false;
    host = authority.substr(0, close + 1);
    for (wchar_t c : host.substr(1, host.size() - 2)) {
      if (!(std::iswxdigit(c) || c == L':' || c == L'.')) return false;
    }
    std::wstring_view rest = authority.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != L':') return false;
      port = rest.substr(1);
      if (port.empty()) return false;
    }
  } else {
    const size_t colon = authority.find(L':');
    if (colon != std::wstring_view::npos) {
      host = authority.substr(0, colon);
      port = authority.substr(colon + 1);
      if (port.empty()) return false;
    }
    if (host.empty()) return false;
    for (wchar_t c : host) {
      if (!IsHostChar(c)) return false;
    }
  }

  uint32_t number = 80;
  if (!port.empty()) {
    if (port.size() > 5) return false;
    number = 0;
    for (wchar_t c : port) {
      if (c < L'0' || c > L'9') return false;
      number = number * 10 + static_cast<uint32_t>(c - L'0');
    }
    if (number == 0 || number > 65535) return false;
  }
  parts.host.assign(host.begin(), host.end());  // plain ASCII by now
  parts.port = static_cast<uint16_t>(number);
  return true;
}

// One request, on a connection left open by an earlier one to the same host where there is one
// (the download run asks the same service for every city's feed and hours): the body is read
// only when the status is 200; for any other status the exchange ends with the header block.
class Exchange : public CurlGet {
 public:
  // The status goes into `result` as soon as the header block is in; `body` and `length` receive
  // the body of a 200 reply.
  Exchange(const HttpUrl& url, uint32_t& result, std::unique_ptr<wchar_t[]>& body, uint32_t& length)
      : url_(url), result_(result), body_(body), length_(length) {}

  // Sends the request and reads the reply. Throws InternetError for a transport failure and
  // std::bad_alloc when memory runs out. Returns false only when the body buffer could not be
  // allocated (the status is then 200).
  bool Run() {
    idleMs_ = g_idleMs.load();
    connectMs_ = g_connectMs.load();
    CurlRequest request;
    request.url = "http://" + url_.host + ":" + std::to_string(url_.port) + url_.path;
    request.protocols = "http";
    request.pathAsIs = true;
    // The agent name is the client's; the added header replaces it, as it did on the handheld.
    request.userAgent = "Hello";
    request.headers = {"Accept: text/*", "User-Agent: Web Browser", "Pragma: no-cache"};
    request.bufferSize = static_cast<long>(kChunkSize);
    request.connectTimeoutMs = connectMs_;
    request.reuseConnection = true;

    start_ = lastActivity_ = Now();
    const CurlOutcome outcome = CurlGet::Run(request);

    if (outOfMemory_ || outcome == CurlOutcome::NoClient) throw std::bad_alloc();
    if (allocationFailed_) return false;
    if (notHttp_) throw InternetError{kResultConnectionAborted};
    if (outcome == CurlOutcome::Done || stoppedAtHeaders_) return true;
    if (idleExpired_) throw InternetError{kResultTimeout};
    throw InternetError{MapOutcome(outcome)};
  }

  long status() const { return status_; }
  const std::string& rawHeaders() const { return rawHeaders_; }

 private:
  using Clock = std::chrono::steady_clock;
  static Clock::time_point Now() { return Clock::now(); }

  uint32_t MapOutcome(CurlOutcome outcome) const {
    switch (outcome) {
      case CurlOutcome::NameNotResolved:
        return kResultNameNotResolved;
      case CurlOutcome::CannotConnect:
        return kResultCannotConnect;
      case CurlOutcome::TimedOut:
        return kResultTimeout;
      case CurlOutcome::OutOfMemory:
        // libcurl also refuses a header line over its 100 kB limit this way. While the header
        // block is being read and a megabyte can still be had, the reply is at fault.
        if (!headersDone_ && MemoryToSpare()) return kResultConnectionAborted;
        throw std::bad_alloc();
      case CurlOutcome::BadUrl:
        return kResultBadUrl;
      // The URL was checked before the request; an unsupported protocol here means a reply that
      // is not HTTP (no status line libcurl can read), which is no fault of the URL.
      default:
        return kResultConnectionAborted;
    }
  }

  bool OnHeaderLine(std::string_view line) override {
    lastActivity_ = Now();
    const size_t n = line.size();
    if (line.starts_with("HTTP/")) {
      // A new status line: an interim reply (100 Continue) is forgotten.
      rawHeaders_.clear();
      headersDone_ = false;
    }
    try {
      if (rawHeaders_.size() + n <= kRawHeaderLimit) rawHeaders_.append(line);
    } catch (const std::bad_alloc&) {
      outOfMemory_ = true;
      return false;
    }
    if (line != "\r\n" && line != "\n") return true;

    const long status = Status();
    // libcurl lets some mangled status lines through with no status at all; such a reply is not
    // HTTP, and its "status" must not become a result (0 would read as "not tried").
    if (status < 100 || status > 999) {
      notHttp_ = true;
      return false;
    }
    if (status < 200) return true;
    status_ = status;
    result_ = static_cast<uint32_t>(status);
    headersDone_ = true;
    if (status_ != 200) {
      // Nothing of this reply's body is wanted: end the exchange here.
      stoppedAtHeaders_ = true;
      return false;
    }
    body_.reset(new (std::nothrow) wchar_t[kBodyLimit + 1]());
    if (!body_) {
      allocationFailed_ = true;
      return false;
    }
    length_ = 0;
    return true;
  }

  bool OnBody(std::string_view data) override {
    lastActivity_ = Now();
    if (!headersDone_ || !body_) return false;
    wchar_t* out = body_.get();
    for (size_t i = 0; i < data.size() && length_ < kBodyLimit; ++i) {
      out[length_++] = static_cast<wchar_t>(static_cast<unsigned char>(data[i]));
    }
    return true;  // the rest of a longer body is read and dropped
  }

  bool OnProgress() override {
    const auto now = Now();
    if (!connected_) {
      // The connect time-out covers the time before the connection stands.
      connected_ = Connected();
      if (!connected_ && now - start_ < std::chrono::milliseconds(connectMs_)) {
        lastActivity_ = now;
        return true;
      }
    }
    const int64_t received = Received();
    if (received != lastReceived_) {
      lastReceived_ = received;
      lastActivity_ = now;
    }
    if (now - lastActivity_ > std::chrono::milliseconds(idleMs_)) {
      idleExpired_ = true;
      return false;
    }
    return true;
  }

  const HttpUrl& url_;
  uint32_t& result_;
  std::unique_ptr<wchar_t[]>& body_;
  uint32_t& length_;
  long status_ = 0;
  std::string rawHeaders_;
  bool headersDone_ = false;
  bool stoppedAtHeaders_ = false;
  bool notHttp_ = false;
  bool allocationFailed_ = false;
  bool outOfMemory_ = false;
  bool idleExpired_ = false;
  long idleMs_ = 0;
  long connectMs_ = 0;
  bool connected_ = false;
  int64_t lastReceived_ = 0;
  Clock::time_point start_;
  Clock::time_point lastActivity_;
};

}  // namespace

bool FindLocation(std::string_view raw, std::wstring& url) {
  static constexpr std::string_view kLocation = "Location: ";
  const size_t at = raw.find(kLocation);
  if (at == std::string_view::npos) return false;
  const size_t start = at + kLocation.size();
  const size_t feed = raw.find('\n', start);
  const size_t end = feed == std::string_view::npos ? raw.size() : feed;
  url.clear();
  for (size_t i = start; i < end; ++i) {
    url += static_cast<wchar_t>(static_cast<unsigned char>(raw[i]));
  }
  return true;
}

bool SplitHttpUrl(std::wstring_view url, HttpUrl& parts) {
  while (!url.empty() && IsWhite(url.front())) url.remove_prefix(1);
  while (!url.empty() && IsWhite(url.back())) url.remove_suffix(1);

  const size_t schemeEnd = url.find(L"://");
  if (schemeEnd != 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    if (static_cast<wchar_t>(std::towlower(url[i])) != L"http"[i]) return false;
  }
  std::wstring_view rest = url.substr(7);

  const size_t authorityEnd = rest.find_first_of(L"/?#");
  HttpUrl split;
  if (!SplitAuthority(rest.substr(0, authorityEnd), split)) return false;

  std::wstring_view path =
      authorityEnd == std::wstring_view::npos ? std::wstring_view() : rest.substr(authorityEnd);
  const size_t fragment = path.find(L'#');
  if (fragment != std::wstring_view::npos) path = path.substr(0, fragment);
  if (path.empty() || path.front() != L'/') split.path = "/";
  for (wchar_t c : path) {
    if (!PathCharAllowed(c)) return false;
  }
  split.path += platform::PercentEncode(path, KeptInPath);
  parts = std::move(split);
  return true;
}

void SetHttpTimeouts(const HttpTimeouts& timeouts) {
  g_connectMs = timeouts.connectMs > 0 ? timeouts.connectMs : HttpTimeouts{}.connectMs;
  g_idleMs = timeouts.idleMs > 0 ? timeouts.idleMs : HttpTimeouts{}.idleMs;
}

HttpTimeouts GetHttpTimeouts() { return {g_connectMs.load(), g_idleMs.load()}; }

bool HttpFetch(const wchar_t* url, std::unique_ptr<wchar_t[]>& body, uint32_t& length,
               uint32_t* result) {
  uint32_t local = 0;
  uint32_t& code = result != nullptr ? *result : local;
  code = kResultUnderWay;

  try {
    HttpUrl parts;
    if (url == nullptr || !SplitHttpUrl(url, parts)) throw InternetError{kResultBadUrl};

    {
      Exchange first(parts, code, body, length);
      if (!first.Run()) return false;
      const long status = first.status();
      if (status == 200) return true;
      if (status != 301 && status != 302 && status != 303) return false;

      std::wstring location;
      if (!FindLocation(first.rawHeaders(), location)) throw InternetError{kResultBadRedirect};
      if (!SplitHttpUrl(location, parts)) throw InternetError{kResultBadRedirect};
    }

    // One redirect only: its answer must be 200 with the body.
    Exchange second(parts, code, body, length);
    if (!second.Run()) return false;
    if (second.status() != 200) throw InternetError{kResultBadRedirect};
    return true;
  } catch (const InternetError& error) {
    code = error.number;
  } catch (const std::bad_alloc&) {
    code = kResultOutOfMemory;
  }
  return false;
}

}  // namespace cirrodex
