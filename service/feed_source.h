// Where the service's feed documents come from. The server asks its sources in turn and the first
// that knows the code answers; a live upstream fits in as one more source.
#pragma once

#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "service/locations.h"

namespace cirrodex::service {

class FeedSource {
 public:
  virtual ~FeedSource() = default;
  // The feed document for `code` at `now` (seconds since the epoch, UTC), or nothing when this
  // source does not know the code. `code` has been checked to hold only letters and digits.
  virtual std::optional<std::string> Feed(const std::string& code, std::time_t now) = 0;
};

// Answers with `folder`/CODE.txt as it is, when that file exists.
class FileFeedSource : public FeedSource {
 public:
  explicit FileFeedSource(std::filesystem::path folder) : folder_(std::move(folder)) {}
  std::optional<std::string> Feed(const std::string& code, std::time_t now) override;

 private:
  std::filesystem::path folder_;
};

// Answers with made-up weather for every location of the index (not owned).
class SampleFeedSource : public FeedSource {
 public:
  explicit SampleFeedSource(const LocationIndex& locations) : locations_(locations) {}
  std::optional<std::string> Feed(const std::string& code, std::time_t now) override;

 private:
  const LocationIndex& locations_;
};

// The sources in the order they are asked.
class FeedSources {
 public:
  void Add(std::unique_ptr<FeedSource> source) { sources_.push_back(std::move(source)); }
  std::optional<std::string> Feed(const std::string& code, std::time_t now) const;

 private:
  std::vector<std::unique_ptr<FeedSource>> sources_;
};

// One forecast day of made-up weather. Temperatures in Fahrenheit.
struct SampleDay {
  int weekday = 0;  // 1 = Sunday
  int year = 0, month = 0, day = 0;
  int dayIcon = 0, dayCode = 0;
  int nightIcon = 0, nightCode = 0;
  int high = 0, low = 0;
  int rainChance = 0;  // percent
};

// Made-up weather of one location on one UTC day: every value depends only on the code and the
// date, except the current icon (day or night by the location's solar hour) and the update time.
struct SampleWeather {
  std::string city;  // the location's name, marked " (sample)", at most 31 characters
  std::string subDivision, country, region;
  int temperature = 0, feelsLike = 0;  // Fahrenheit
  int icon = 0;
  std::string conditionText;
  int windSpeed = 0;  // miles per hour
  std::string windDirection;
  double pressure = 0;  // inches of mercury
  int humidity = 0, uvIndex = 0, visibility = 0;
  std::string lastUpdate;  // month/day/year hour:minute:second, six hours behind GMT
  SampleDay days[5];       // from the UTC date of `now`
};

SampleWeather MakeSampleWeather(const Location& location, std::time_t now);
// The feed document: one "var swName = "value";" statement a line, "swFore" field by field.
std::string FormatFeed(const SampleWeather& weather);

}  // namespace cirrodex::service
