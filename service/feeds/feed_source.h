// Where the service's feed documents come from. The server asks its sources in turn and the first
// that knows the code answers; a live upstream fits in as one more source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "service/feeds/feed_document.h"
#include "service/feeds/locations.h"

namespace cirrodex::service {

// What a source says of one city code.
struct FeedAnswer {
  enum class Status {
    Unknown,      // not this source's code: the next source is asked
    Served,       // `document` is the answer
    Unavailable,  // this source's code, but nothing to serve now: no later source is asked
  };
  Status status = Status::Unknown;
  std::string document;
  std::time_t updated = 0;  // the time of the weather it carries; 0: not known
  int retryAfter = 0;       // Unavailable: seconds until asking again may help; 0: not known

  static FeedAnswer Serve(std::string document, std::time_t updated = 0) {
    return {Status::Served, std::move(document), updated};
  }
};

class FeedSource {
 public:
  virtual ~FeedSource() = default;
  // The answer for `code` at `now` (seconds since the epoch, UTC). `code` has been checked to
  // hold only letters and digits. Called from several threads at once.
  virtual FeedAnswer Feed(const std::string& code, std::time_t now) = 0;
  // The hourly document of `code` (core/hourly_forecast.h), under the same rules; Unknown from a
  // source that has none.
  virtual FeedAnswer Hourly(const std::string& /*code*/, std::time_t /*now*/) { return {}; }
};

// A data-folder file (a feed, a map picture) larger than this is refused: no download takes more
// than 64,000 bytes of an answer.
inline constexpr size_t kDataFileLimit = 1024 * 1024;

// Answers with `folder`/CODE.txt as it is, when that file exists and is a regular file within
// kDataFileLimit; one that is refused is reported once on stderr and counts as missing.
class FileFeedSource : public FeedSource {
 public:
  explicit FileFeedSource(std::filesystem::path folder) : folder_(std::move(folder)) {}
  FeedAnswer Feed(const std::string& code, std::time_t now) override;

 private:
  std::filesystem::path folder_;
};

// Answers with made-up weather for every location of the index (not owned) and every coordinate
// code.
class SampleFeedSource : public FeedSource {
 public:
  explicit SampleFeedSource(const LocationIndex& locations) : locations_(locations) {}
  FeedAnswer Feed(const std::string& code, std::time_t now) override;
  FeedAnswer Hourly(const std::string& code, std::time_t now) override;

 private:
  const LocationIndex& locations_;
};

// The sources in the order they are asked.
class FeedSources {
 public:
  void Add(std::unique_ptr<FeedSource> source) { sources_.push_back(std::move(source)); }
  // The first answer that is not Unknown; Unknown when no source knows the code.
  FeedAnswer Feed(const std::string& code, std::time_t now) const;
  FeedAnswer Hourly(const std::string& code, std::time_t now) const;

 private:
  std::vector<std::unique_ptr<FeedSource>> sources_;
};

// Made-up weather of one location on one UTC day: every value depends only on the code and the
// date, except the current icon (day or night by the location's solar hour) and the update time.
// The city name ends in " (sample)" so that nobody takes it for real weather.
FeedWeather MakeSampleWeather(const Location& location, std::time_t now);

// A 64-bit FNV-1a hash of `bytes` from a basis varied by `seed`: the same bytes give the same
// number in every run (the made-up weather's numbers, the answers' entity tags).
uint64_t Fnv1a(std::string_view bytes, uint64_t seed = 0);

}  // namespace cirrodex::service
