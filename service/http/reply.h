// What the service answers to one request, before it is written.
#pragma once

#include <ctime>
#include <string>
#include <utility>

namespace cirrodex::service {

// How long a city's weather is fresh: answers count max-age down to it, and the made-up weather
// changes no more often.
inline constexpr std::time_t kFreshness = 15 * 60;

struct Reply {
  int status = 200;
  std::string body;
  std::string type = "text/plain";
  std::string location;  // for a redirect; sent when `hasLocation`
  bool hasLocation = false;
  bool cacheable = false;  // carries validators and a freshness lifetime
  std::string etag;
  std::time_t since = 0;       // Last-Modified
  std::time_t freshUntil = 0;  // max-age counts down to this
  int retryAfter = 0;          // seconds, sent as Retry-After when positive
};

// A map picture as the map host serves it.
struct MapPicture {
  std::string jpeg;            // empty: it could not be made
  std::time_t freshUntil = 0;  // a made picture: when the next one is due; 0: not known
  bool unknownCode = false;    // no location has the asked code
  int busySeconds = 0;         // positive: too many pictures under way; ask again after this
};

// A short plain-text answer.
inline Reply Text(int status, std::string body) {
  Reply reply;
  reply.status = status;
  reply.body = std::move(body);
  return reply;
}

}  // namespace cirrodex::service
