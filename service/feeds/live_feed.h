// Live weather: feeds made from the answers of the forecast API, asked at most once per city per
// 15 minutes, with the last good answer kept for a day when the API cannot be reached.
#pragma once

#include <ctime>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "service/feeds/call_budget.h"
#include "service/feeds/feed_source.h"
#include "service/feeds/locations.h"
#include "service/source_health.h"
#include "service/upstream_client.h"

namespace cirrodex::service {

// At most one upstream request per city in this time after a good answer; after a failed one the
// city waits only for the source's pause.
inline constexpr std::time_t kUpstreamInterval = 15 * 60;
// A kept answer is served this long after it was fetched, not longer.
inline constexpr std::time_t kKeptAnswerLifetime = 24 * 3600;
// After the API could not be reached (or answered with a server error or "too many requests"
// without saying how long to wait), no city asks it again for this long, so that an offline
// machine waits for a time-out once rather than once per city.
inline constexpr std::time_t kUpstreamPause = 5 * 60;
// An answer whose current conditions are older than this, or further ahead than kLiveAhead, is
// not live weather: it counts as a failed request.
inline constexpr std::time_t kLiveAge = 3 * 3600;
inline constexpr std::time_t kLiveAhead = 3600;
// The cities whose state is kept; the least recently asked for goes first, so that clients
// sending ever new codes cannot make the service grow without end.
inline constexpr size_t kCachedCities = 4096;

// What the source answers for a city it knows when it has nothing to serve.
enum class WhenNoLiveWeather {
  AskTheNextSource,  // the made-up weather after it answers instead
  Unavailable,       // the service answers 503
};

// Seconds to wait from `now` by a Retry-After value (seconds, or an HTTP date); nothing for a
// value that is neither.
std::optional<std::time_t> RetryAfterSeconds(const std::string& value, std::time_t now);

class LiveFeedSource : public FeedSource {
 public:
  // `locations` is not owned and must outlive the source. `note` (may be empty) receives one line
  // whenever live weather becomes unavailable or available again, on every failed request, and
  // once when the API says the day's requests are spent or the service's own budget of `limits`
  // is spent. At most `capacity` cities are kept.
  LiveFeedSource(const LocationIndex& locations, std::string upstreamUrl,
                 std::unique_ptr<UpstreamClient> client, WhenNoLiveWeather whenNone,
                 std::function<void(const std::string&)> note = {}, size_t capacity = kCachedCities,
                 CallLimits limits = kOpenMeteoLimits);

  // Unknown for a code that the locations cannot resolve. Otherwise a fresh or kept feed, asking
  // the API first when the city's last good answer is at least kUpstreamInterval old, or its last
  // failed request as old as the pause it called for (by `now`, in either direction, so that a
  // clock set back does not stop the requests for long), the API has not asked to be left alone
  // and the budget allows the call; with nothing to serve, as `whenNone` says (Unavailable with
  // the seconds to wait when known). Requests for one city wait for each other, other cities do
  // not. A served answer carries the time of its current conditions.
  FeedAnswer Feed(const std::string& code, std::time_t now) override;
  // The hourly document made from the same answers as the feed, by the same rules: the request
  // that refreshes one refreshes both.
  FeedAnswer Hourly(const std::string& code, std::time_t now) override;

 private:
  struct City {
    std::mutex mutex;
    bool asked = false;
    std::time_t askedAt = 0;
    std::time_t wait = 0;  // no request within this span of askedAt
    int asks = 0;          // how often a client asked for it: its standing in the budget
    std::string document;  // the last good feed; empty: none
    std::string hourly;    // its hourly document; empty: the answer had no hours
    std::time_t fetchedAt = 0;
    std::time_t updated = 0;  // the time of its current conditions
  };
  struct Entry {
    std::shared_ptr<City> city;
    std::list<std::string>::iterator place;  // in recent_
  };
  struct Outcome {
    std::string problem;   // what went wrong, or empty
    bool noted = false;    // already said
    std::time_t wait = 0;  // seconds until asking again may help; 0: not known
  };

  // The kept `document` or `hourly` of the city of `code`, asking first when it is time.
  FeedAnswer Serve(const std::string& code, std::time_t now, std::string City::*kept);
  std::shared_ptr<City> CityOf(const std::string& code);
  // True when a request for `city` may go out at `now`.
  bool MayAsk(const City& city, std::time_t now);
  // Spends one call of the budget; says once that it is spent.
  Outcome Spend(const City& city, std::time_t now);
  // Asks the API for `location` and keeps a good answer in `city`.
  Outcome Ask(City& city, const Location& location, std::time_t now);
  void Note(const std::string& line);

  const LocationIndex& locations_;
  const std::string upstreamUrl_;
  const std::unique_ptr<UpstreamClient> client_;
  const WhenNoLiveWeather whenNone_;
  const std::function<void(const std::string&)> note_;
  const size_t capacity_;
  CallBudget budget_;

  std::mutex mutex_;  // guards the members below, never held during a request
  std::unordered_map<std::string, Entry> cities_;
  std::list<std::string> recent_;  // the codes of cities_, most recently asked for first
  SourceHealth health_{static_cast<double>(kUpstreamPause)};
  bool dailyLimit_ = false;  // the pause is the API's daily limit
  bool budgetNoted_ = false;  // the log has said that the budget is spent
};

}  // namespace cirrodex::service
