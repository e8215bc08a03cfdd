#include "service/live_feed.h"

#include <cctype>

#include "service/open_meteo.h"

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

}  // namespace

LiveFeedSource::LiveFeedSource(const LocationIndex& locations, std::string upstreamUrl,
                               std::unique_ptr<UpstreamClient> client, WhenNoLiveWeather whenNone,
                               std::function<void(const std::string&)> note)
    : locations_(locations),
      upstreamUrl_(std::move(upstreamUrl)),
      client_(std::move(client)),
      whenNone_(whenNone),
      note_(std::move(note)) {}

LiveFeedSource::City& LiveFeedSource::CityOf(const std::string& code) {
  std::lock_guard lock(mutex_);
  auto& city = cities_[code];
  if (!city) city = std::make_unique<City>();
  return *city;
}

bool LiveFeedSource::MayAsk(const City& city, std::time_t now) {
  if (city.asked && Within(now, city.askedAt, kUpstreamInterval)) return false;
  std::lock_guard lock(mutex_);
  return !(paused_ && Within(now, pausedAt_, kUpstreamPause));
}

void LiveFeedSource::Note(const std::string& line) {
  if (note_) note_(line);
}

FeedAnswer LiveFeedSource::Feed(const std::string& code, std::time_t now) {
  const std::optional<Location> location = locations_.Resolve(code);
  if (!location) return {};
  City& city = CityOf(code);
  std::lock_guard cityLock(city.mutex);

  std::string problem;
  if (MayAsk(city, now)) problem = Ask(city, *location, now);

  const bool kept = !city.document.empty() && Within(now, city.fetchedAt, kKeptAnswerLifetime);
  if (!problem.empty()) {
    const char* instead = kept ? "serving the last good answer"
                          : whenNone_ == WhenNoLiveWeather::AskTheNextSource
                              ? "serving sample weather"
                              : "answering 503";
    Note("live weather for " + code + " (" + location->name + ") failed: " + problem + "; " +
         instead);
  }
  if (kept) return FeedAnswer::Serve(city.document);
  if (whenNone_ == WhenNoLiveWeather::Unavailable) return {FeedAnswer::Status::Unavailable, {}};
  return {};
}

std::string LiveFeedSource::Ask(City& city, const Location& location, std::time_t now) {
  city.asked = true;
  city.askedAt = now;
  const UpstreamReply reply = client_->Get(OpenMeteoRequestUrl(upstreamUrl_, location));

  std::string problem;
  bool pause = false;
  if (!reply.reached) {
    problem = reply.error.empty() ? "no answer" : reply.error;
    pause = true;
  } else if (reply.status != 200) {
    problem = "HTTP status " + std::to_string(reply.status) + " " + Excerpt(reply.body);
    pause = reply.status >= 500 || reply.status == 429;
  } else if (auto weather = ReadOpenMeteo(reply.body, location, problem)) {
    city.document = FormatFeed(*weather);
    city.fetchedAt = now;
  }

  bool recovered = false;
  {
    std::lock_guard lock(mutex_);
    if (problem.empty()) {
      recovered = failing_;
      failing_ = false;
      paused_ = false;
    } else {
      failing_ = true;
      if (pause) {
        paused_ = true;
        pausedAt_ = now;
      }
    }
  }
  if (recovered) Note("live weather from " + upstreamUrl_ + " is available again");
  return problem;
}

}  // namespace cirrodex::service
