#include "service/feeds/live_feed.h"

#include <algorithm>
#include <cctype>

#include "service/feeds/hourly_weather.h"
#include "service/feeds/open_meteo.h"
#include "service/http/http_target.h"

namespace cirrodex::service {

namespace {

bool Within(std::time_t a, std::time_t b, std::time_t span) {
  const std::time_t difference = a - b;
  return difference < span && difference > -span;
}

// The start of an answer body as one printable line, for a note.
std::string Excerpt(const std::string& body) {
  std::string line;
  for (char c : body.substr(0, 160)) {
    line += std::isprint(static_cast<unsigned char>(c)) ? c : ' ';
  }
  return line;
}

std::string Minutes(std::time_t seconds) { return std::to_string(seconds / 60) + " minutes"; }

}  // namespace

std::optional<std::time_t> RetryAfterSeconds(const std::string& value, std::time_t now) {
  if (!value.empty() && value.size() <= 10 &&
      std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return static_cast<std::time_t>(std::stoll(value));
  }
  const auto date = ReadHttpDate(value);
  if (!date) return std::nullopt;
  return std::max<std::time_t>(0, *date - now);
}

LiveFeedSource::LiveFeedSource(const LocationIndex& locations, std::string upstreamUrl,
                               std::unique_ptr<UpstreamClient> client, WhenNoLiveWeather whenNone,
                               std::function<void(const std::string&)> note, size_t capacity,
                               CallLimits limits)
    : locations_(locations),
      upstreamUrl_(std::move(upstreamUrl)),
      client_(std::move(client)),
      whenNone_(whenNone),
      note_(std::move(note)),
      capacity_(std::max<size_t>(capacity, 1)),
      budget_(limits) {}

std::shared_ptr<LiveFeedSource::City> LiveFeedSource::CityOf(const std::string& code) {
  std::lock_guard lock(mutex_);
  auto found = cities_.find(code);
  if (found != cities_.end()) {
    recent_.splice(recent_.begin(), recent_, found->second.place);
    return found->second.city;
  }
  // The least recently asked for city goes; a request still running for it keeps its own copy.
  if (cities_.size() >= capacity_) {
    cities_.erase(recent_.back());
    recent_.pop_back();
  }
  recent_.push_front(code);
  auto city = std::make_shared<City>();
  cities_.emplace(code, Entry{city, recent_.begin()});
  return city;
}

bool LiveFeedSource::MayAsk(const City& city, std::time_t now) {
  if (city.asked && Within(now, city.askedAt, city.wait)) return false;
  // A clock set back before the pause began ends it rather than stretching it.
  return !health_.Paused(static_cast<double>(now));
}

LiveFeedSource::Outcome LiveFeedSource::Spend(const City& city, std::time_t now) {
  const CallBudget::Decision decision = budget_.Take(now, city.asks);
  Outcome outcome;
  if (decision.taken && decision.tight) return outcome;
  bool announce = false;
  {
    std::lock_guard lock(mutex_);
    // Said once each time the budget runs low, however many cities it turns away.
    if (!decision.tight) budgetNoted_ = false;
    if (!decision.taken) {
      announce = !budgetNoted_;
      budgetNoted_ = true;
    }
  }
  if (decision.taken) return outcome;
  outcome.problem = "the budget of calls is spent";
  outcome.noted = true;
  outcome.wait = decision.wait;
  if (announce) {
    const CallLimits limits = budget_.Limits();
    Note("live weather from " + upstreamUrl_ + ": this service's budget of " +
         std::to_string(limits.perMinute) + " calls a minute, " + std::to_string(limits.perHour) +
         " an hour and " + std::to_string(limits.perDay) +
         " a day is spent but for the cities asked for most often; cities with an answer of the "
         "last 24 hours keep it, others get " +
         (whenNone_ == WhenNoLiveWeather::AskTheNextSource ? "sample weather" : "503") +
         " until calls are free again");
  }
  return outcome;
}

void LiveFeedSource::Note(const std::string& line) {
  if (note_) note_(line);
}

FeedAnswer LiveFeedSource::Feed(const std::string& code, std::time_t now) {
  return Serve(code, now, &City::document);
}

FeedAnswer LiveFeedSource::Hourly(const std::string& code, std::time_t now) {
  return Serve(code, now, &City::hourly);
}

FeedAnswer LiveFeedSource::Serve(const std::string& code, std::time_t now,
                                 std::string City::*document) {
  const std::optional<Location> location = locations_.Resolve(code);
  if (!location) return {};
  const std::shared_ptr<City> held = CityOf(code);
  City& city = *held;
  std::lock_guard cityLock(city.mutex);
  city.asks = std::min(city.asks + 1, 1 << 20);

  Outcome outcome;
  if (MayAsk(city, now)) {
    outcome = Spend(city, now);
    if (outcome.problem.empty()) outcome = Ask(city, *location, now);
  }

  const std::string& served = city.*document;
  const bool kept = !served.empty() && Within(now, city.fetchedAt, kKeptAnswerLifetime);
  if (!outcome.problem.empty() && !outcome.noted) {
    const char* instead = kept ? "serving the last good answer"
                          : whenNone_ == WhenNoLiveWeather::AskTheNextSource
                              ? "serving sample weather"
                              : "answering 503";
    Note("live weather for " + code + " (" + location->name + ") failed: " + outcome.problem +
         "; " + instead);
  }
  if (kept) return FeedAnswer::Serve(served, city.updated);
  if (whenNone_ == WhenNoLiveWeather::AskTheNextSource) return {};
  FeedAnswer unavailable{FeedAnswer::Status::Unavailable, {}};
  std::time_t wait = outcome.wait;
  if (city.asked) wait = std::max(wait, city.askedAt + city.wait - now);
  unavailable.retryAfter = static_cast<int>(std::clamp<std::time_t>(wait, 1, kKeptAnswerLifetime));
  return unavailable;
}

LiveFeedSource::Outcome LiveFeedSource::Ask(City& city, const Location& location, std::time_t now) {
  city.asked = true;
  city.askedAt = now;
  const UpstreamReply reply = client_->Get(OpenMeteoRequestUrl(upstreamUrl_, location));

  Outcome outcome;
  std::string& problem = outcome.problem;
  std::optional<std::time_t> pause;  // how long no city asks again
  bool dailyLimit = false;
  const std::optional<std::string> refusal =
      reply.reached ? OpenMeteoRefusal(reply.body) : std::nullopt;
  if (!reply.reached) {
    problem = reply.error.empty() ? "no answer" : reply.error;
    pause = kUpstreamPause;
  } else if (refusal && IsDailyLimit(*refusal)) {
    problem = "the API says: " + *refusal;
    dailyLimit = true;
  } else if (reply.status != 200) {
    problem = "HTTP status " + std::to_string(reply.status) + " " + Excerpt(reply.body);
    if (reply.status >= 500 || reply.status == 429) {
      // The API's own wait, within a day; without one, the usual pause.
      pause = std::min(RetryAfterSeconds(reply.retryAfter, now).value_or(kUpstreamPause),
                       kKeptAnswerLifetime);
    }
  } else if (auto weather = ReadOpenMeteo(reply.body, location, problem)) {
    const std::time_t age = now - weather->updated;
    if (age > kLiveAge) {
      problem = "the answer's current conditions are " + Minutes(age) + " old";
    } else if (-age > kLiveAhead) {
      problem = "the answer's current conditions lie " + Minutes(-age) + " ahead";
    } else {
      city.document = FormatFeed(*weather);
      // Hours are kept only with the feed of the same answer, so the two never disagree.
      std::string hourlyProblem;
      const auto hours = ReadOpenMeteoHourly(reply.body, hourlyProblem);
      city.hourly = hours ? FormatHourlyForecast(*hours) : std::string();
      city.fetchedAt = now;
      city.updated = weather->updated;
    }
  }
  // The interval starts at a good answer; a failed one waits only for the source's pause, so a
  // passing refusal does not cost the city its quarter hour.
  if (problem.empty()) {
    city.wait = kUpstreamInterval;
  } else if (dailyLimit) {
    city.wait = (FloorDiv(now, 86400) + 1) * 86400 - now;
  } else {
    city.wait = std::max<std::time_t>(pause.value_or(kUpstreamPause), 1);
  }
  outcome.wait = city.wait;

  bool recovered = false;
  bool announce = false;
  {
    std::lock_guard lock(mutex_);
    if (problem.empty()) {
      recovered = health_.Record({}) == SourceHealth::Change::LiveAgain;
      dailyLimit_ = false;
      health_.PauseUntil(now, now);
    } else {
      health_.Record(problem);
      if (dailyLimit) {
        // Said once, however many requests were on their way when the limit was reached.
        announce = !(dailyLimit_ && health_.Paused(now));
        outcome.noted = !announce;
        dailyLimit_ = true;
        health_.PauseUntil(now, (FloorDiv(now, 86400) + 1) * 86400);
      } else if (pause) {
        dailyLimit_ = false;
        health_.PauseUntil(now, now + *pause);
      }
    }
  }
  if (announce) {
    Note("live weather from " + upstreamUrl_ + ": " + problem +
         "; no requests until 00:00 GMT, cities with an answer of the last 24 hours keep it");
    outcome.noted = true;
  }
  if (recovered) Note("live weather from " + upstreamUrl_ + " is available again");
  return outcome;
}

}  // namespace cirrodex::service
