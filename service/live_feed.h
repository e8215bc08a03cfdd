// Live weather: feeds made from the answers of the forecast API, asked at most once per city per
// 15 minutes, with the last good answer kept for a day when the API cannot be reached.
#pragma once

#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "service/feed_source.h"
#include "service/locations.h"
#include "service/upstream_client.h"

namespace cirrodex::service {

// At most one upstream request per city in this time.
inline constexpr std::time_t kUpstreamInterval = 15 * 60;
// A kept answer is served this long after it was fetched, not longer.
inline constexpr std::time_t kKeptAnswerLifetime = 24 * 3600;
// After the API could not be reached (or answered with a server error or "too many requests"),
// no city asks it again for this long, so that an offline machine waits for a time-out once
// rather than once per city.
inline constexpr std::time_t kUpstreamPause = 5 * 60;

// What the source answers for a city it knows when it has nothing to serve.
enum class WhenNoLiveWeather {
  AskTheNextSource,  // the made-up weather after it answers instead
  Unavailable,       // the service answers 503
};

class LiveFeedSource : public FeedSource {
 public:
  // `locations` is not owned and must outlive the source. `note` (may be empty) receives one line
  // whenever live weather becomes unavailable or available again, and on every failed request.
  LiveFeedSource(const LocationIndex& locations, std::string upstreamUrl,
                 std::unique_ptr<UpstreamClient> client, WhenNoLiveWeather whenNone,
                 std::function<void(const std::string&)> note = {});

  // Unknown for a code that the locations cannot resolve. Otherwise a fresh or kept feed, asking
  // the API first when the city's last request is at least kUpstreamInterval old (by `now`, in
  // either direction, so that a clock set back does not stop the requests for long); with nothing
  // to serve, as `whenNone` says. Requests for one city wait for each other, other cities do not.
  FeedAnswer Feed(const std::string& code, std::time_t now) override;

 private:
  struct City {
    std::mutex mutex;
    bool asked = false;
    std::time_t askedAt = 0;
    std::string document;  // the last good feed; empty: none
    std::time_t fetchedAt = 0;
  };

  City& CityOf(const std::string& code);
  // True when a request for `city` may go out at `now`.
  bool MayAsk(const City& city, std::time_t now);
  // Asks the API for `location` and keeps a good answer in `city`; what went wrong, or empty.
  std::string Ask(City& city, const Location& location, std::time_t now);
  void Note(const std::string& line);

  const LocationIndex& locations_;
  const std::string upstreamUrl_;
  const std::unique_ptr<UpstreamClient> client_;
  const WhenNoLiveWeather whenNone_;
  const std::function<void(const std::string&)> note_;

  std::mutex mutex_;  // guards the members below, never held during a request
  std::map<std::string, std::unique_ptr<City>> cities_;
  bool paused_ = false;
  std::time_t pausedAt_ = 0;
  bool failing_ = false;  // the last request failed
};

}  // namespace cirrodex::service
