// Fetching one document over HTTP into a bounded wide-text body, with the result codes the rest
// of the system stores and shows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/download_result.h"

namespace cirrodex {

inline constexpr uint32_t kBodyLimit = 64000;

// Fetches `url`. As soon as the status is 200, `body` receives a zero-filled buffer of
// kBodyLimit + 1 characters (each body byte zero-extended to one character; the rest of a longer
// body is read and dropped) and `length` counts the characters kept. `result` (may be null) is set
// to 100 at once and then to the outcome. True only when the status was 200 and the whole body
// was read.
bool HttpFetch(const wchar_t* url, std::unique_ptr<wchar_t[]>& body, uint32_t& length,
               uint32_t* result);

// Time-outs of the HTTP client, in milliseconds: connecting, and going without any data.
struct HttpTimeouts {
  long connectMs = 60000;
  long idleMs = 60000;
};
void SetHttpTimeouts(const HttpTimeouts& timeouts);
HttpTimeouts GetHttpTimeouts();

// The parts of an http:// URL as the fetch sends them.
struct HttpUrl {
  std::string host;  // as written; an IPv6 literal keeps its brackets
  uint16_t port = 80;
  std::string path;  // starts with "/", query included, fragment dropped
};

// Splits `url` (scheme compared without regard to case). White space around the URL is dropped,
// so the carriage return a "Location: " header line leaves at its end does no harm; inside the
// path, spaces and characters above 126 are percent-encoded as UTF-8. User credentials are
// dropped (the fetch never sends any). Fails for a scheme other than http, no scheme, an empty or
// malformed host, a port outside 1-65535, and any other control character, so that nothing can be
// smuggled into the request.
bool SplitHttpUrl(std::wstring_view url, HttpUrl& parts);

// The URL of the first "Location: " (with the space, case as written) in a reply's raw header
// text: the bytes after it up to the next line feed, each zero-extended to one character, so the
// line's carriage return stays (SplitHttpUrl drops it). False when there is none.
bool FindLocation(std::string_view rawHeaders, std::wstring& url);

}  // namespace cirrodex
