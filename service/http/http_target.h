// The parts of HTTP that the service reads and writes beside Beast: the request target (decoded
// path and query parameters), the Host header's name, HTTP dates, and the check of a conditional
// request.
#pragma once

#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace cirrodex::service {

// A request target split into its decoded path and query parameters. "%XX" is decoded where XX
// are hex digits and left as it is otherwise; "+" is a space in the query only. The first
// parameter of a name wins; a parameter without a name is dropped.
struct Target {
  std::string path;
  std::map<std::string, std::string> params;

  explicit Target(std::string_view target);
  bool Has(const char* name) const { return params.count(name) != 0; }
  // The value of `name`; empty when missing.
  std::string Param(const char* name) const;
};

// The name of a Host header value without its port ("[::1]:8611" gives "[::1]"), in lower case;
// nothing for a value that is not a name with an optional numeric port.
std::optional<std::string> HostWithoutPort(std::string_view value);

// `t` (seconds since the epoch) in UTC by strftime's `format`; at most 39 characters.
std::string UtcText(std::time_t t, const char* format);

// `t` (seconds since the epoch) as an IMF-fixdate, "Sun, 06 Nov 1994 08:49:37 GMT".
std::string HttpDate(std::time_t t);

// An IMF-fixdate as seconds since the epoch; nullopt for any other text.
std::optional<std::time_t> ReadHttpDate(const std::string& text);

// The validators a request sends; nullopt for a header it does not send.
struct Conditions {
  std::optional<std::string> ifNoneMatch;
  std::optional<std::string> ifModifiedSince;
};

// True when a document tagged `etag` (with its quotes) and last modified at `since` may be
// answered 304. If-None-Match decides when present (a list of tags, or "*"; a weak tag matches by
// its opaque part); else If-Modified-Since, when it is a date no earlier than `since`.
bool NotModified(const Conditions& conditions, const std::string& etag, std::time_t since);

}  // namespace cirrodex::service
