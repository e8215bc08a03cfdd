#include "service/feeds/feed_source.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <optional>

#include "core/icon_table.h"
#include "platform/whole_file.h"
#include "service/feeds/hourly_weather.h"

namespace cirrodex::service {

uint64_t Fnv1a(std::string_view bytes, uint64_t seed) {
  uint64_t hash = 1469598103934665603ull ^ seed;
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

namespace {

constexpr char kSampleMark[] = " (sample)";

int DayOfYear(const CivilDate& date) {
  static constexpr int kBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const bool leap = (date.year % 4 == 0 && date.year % 100 != 0) || date.year % 400 == 0;
  return kBefore[date.month - 1] + date.day - 1 + (leap && date.month > 2 ? 1 : 0);
}

// ---- deterministic numbers -------------------------------------------------------------------

class Numbers {
 public:
  explicit Numbers(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }  // [0, 1)
  double Between(double low, double high) { return low + (high - low) * Unit(); }
  int Int(int low, int high) { return low + static_cast<int>(Next() % (high - low + 1)); }

 private:
  uint64_t state_;
};

// ---- weather kinds and their icons -----------------------------------------------------------

enum class Kind {
  Clear,
  Few,
  Partly,
  Mostly,
  Overcast,
  Fog,
  Drizzle,
  Showers,
  Rain,
  Thunder,
  Flurries,
  Snow,
  RainSnow
};

struct KindIcons {
  Kind kind;
  int dayIcon;
  int nightIcon;  // only icons drawn for the night
  int rainLow, rainHigh;
};

constexpr KindIcons kKinds[] = {
    {Kind::Clear, 32, 31, 0, 5},      {Kind::Few, 34, 33, 0, 10},
    {Kind::Partly, 30, 29, 5, 20},    {Kind::Mostly, 28, 27, 10, 30},
    {Kind::Overcast, 26, 27, 20, 40}, {Kind::Fog, 20, 27, 10, 20},
    {Kind::Drizzle, 9, 45, 40, 60},   {Kind::Showers, 39, 45, 40, 70},
    {Kind::Rain, 12, 45, 70, 95},     {Kind::Thunder, 38, 47, 50, 80},
    {Kind::Flurries, 41, 46, 30, 60}, {Kind::Snow, 16, 46, 60, 90},
    {Kind::RainSnow, 5, 46, 60, 90},
};

const KindIcons& IconsOf(Kind kind) {
  return *std::find_if(std::begin(kKinds), std::end(kKinds),
                       [kind](const KindIcons& k) { return k.kind == kind; });
}

// Texts of the condition codes that the icons above carry.
const char* ConditionTextOf(int code) {
  static constexpr struct {
    int code;
    const char* text;
  } kTexts[] = {{1, "Cloudy"},
                {3, "Mostly Cloudy"},
                {4, "Partly Cloudy"},
                {11, "Clear"},
                {18, "Rain"},
                {20, "Scattered Showers"},
                {22, "Mostly Sunny"},
                {23, "Mostly Clear"},
                {24, "Sunny"},
                {28, "Sct T-Storms"},
                {43, "T-Showers"},
                {65, "Rain/Snow"},
                {70, "Sct Snow Showers"},
                {84, "Snow Showers"},
                {109, "Snow"},
                {194, "Drizzle"},
                {992, "Mist"},
                {999, "Fair"}};
  for (const auto& entry : kTexts) {
    if (entry.code == code) return entry.text;
  }
  return "";
}

int CodeOfIcon(int icon) {
  const auto info = IconFor(icon);
  return info ? info->conditionCode : 0;
}

// A kind for one half day: wetter places and colder halves shift the odds.
Kind PickKind(Numbers& numbers, double wetness, double celsius) {
  const double roll = numbers.Unit();
  Kind kind;
  if (roll < 0.45 - wetness * 0.5) {
    kind = numbers.Unit() < 0.6 ? Kind::Clear : Kind::Few;
  } else if (roll < 0.75 - wetness * 0.4) {
    kind = numbers.Unit() < 0.55 ? Kind::Partly : Kind::Mostly;
  } else if (roll < 0.85 - wetness * 0.3) {
    kind = numbers.Unit() < 0.8 ? Kind::Overcast : Kind::Fog;
  } else {
    const double wet = numbers.Unit();
    kind = wet < 0.15   ? Kind::Drizzle
           : wet < 0.55 ? Kind::Showers
           : wet < 0.85 ? Kind::Rain
                        : Kind::Thunder;
  }
  const bool wetKind =
      kind == Kind::Drizzle || kind == Kind::Showers || kind == Kind::Rain || kind == Kind::Thunder;
  if (wetKind && celsius < 2) {
    if (celsius > -1) return Kind::RainSnow;
    return kind == Kind::Showers || kind == Kind::Drizzle ? Kind::Flurries : Kind::Snow;
  }
  if (kind == Kind::Thunder && celsius < 12) return Kind::Rain;
  return kind;
}

int ToFahrenheit(double celsius) { return static_cast<int>(std::lround(celsius * 9 / 5 + 32)); }

struct DayModel {
  FeedDay day;
  Kind dayKind, nightKind;
  double meanCelsius;
  int high, low, rainChance;  // the day's values, which the current conditions follow
};

DayModel ModelDay(const Location& location, double wetness, int64_t daysSinceEpoch) {
  const CivilDate date = CivilFromDays(daysSinceEpoch);
  char key[32];
  std::snprintf(key, sizeof key, "%04d-%02d-%02d", date.year, date.month, date.day);
  Numbers numbers(Fnv1a(location.code, Fnv1a(key, 0)));

  const double absLatitude = std::fabs(location.latitude);
  const double annual = 27.0 - 0.35 * std::max(0.0, absLatitude - 10.0);
  const double swing = 0.16 * absLatitude;
  double season =
      std::cos(2 * std::numbers::pi * (DayOfYear(date) - 196) / 365.25);  // 1 in mid-July
  if (location.latitude < 0) season = -season;
  const double mean = annual + swing * season + numbers.Between(-4, 4);
  const double range = numbers.Between(5, 12);

  DayModel model;
  model.meanCelsius = mean;
  model.dayKind = PickKind(numbers, wetness, mean + range / 2);
  model.nightKind = PickKind(numbers, wetness, mean - range / 2);
  // A wet day rarely turns into a clear night and the other way round.
  if (numbers.Unit() < 0.5) model.nightKind = model.dayKind;

  FeedDay& day = model.day;
  day.weekday = WeekdayOfDays(daysSinceEpoch);
  day.year = date.year;
  day.month = date.month;
  day.day = date.day;
  const int high = ToFahrenheit(mean + range / 2);
  model.high = high;
  model.low = ToFahrenheit(mean - range / 2);
  day.high = high;
  day.low = model.low;
  day.dayIcon = IconsOf(model.dayKind).dayIcon;
  if (model.dayKind == Kind::Clear && high >= 95) day.dayIcon = 36;
  if (model.dayKind == Kind::Clear && high <= 15) day.dayIcon = 25;
  day.nightIcon = IconsOf(model.nightKind).nightIcon;
  day.dayCode = CodeOfIcon(day.dayIcon);
  day.nightCode = CodeOfIcon(day.nightIcon);
  const KindIcons& wetter =
      std::max(IconsOf(model.dayKind), IconsOf(model.nightKind),
               [](const KindIcons& a, const KindIcons& b) { return a.rainHigh < b.rainHigh; });
  model.rainChance = numbers.Int(wetter.rainLow, wetter.rainHigh) / 5 * 5;
  day.rainChance = model.rainChance;
  return model;
}

}  // namespace

FeedWeather MakeSampleWeather(const Location& location, std::time_t now) {
  FeedWeather weather;
  SetFeedPlace(location, kSampleMark, weather);

  const double wetness = 0.1 + 0.3 * Numbers(Fnv1a(location.code, 7)).Unit();
  const int64_t today = FloorDiv(static_cast<int64_t>(now), 86400);
  DayModel models[5];
  for (int i = 0; i < 5; ++i) {
    models[i] = ModelDay(location, wetness, today + i);
    weather.days[i] = models[i].day;
  }

  const DayModel& first = models[0];
  Numbers numbers(Fnv1a(location.code, static_cast<uint64_t>(today) * 31 + 5));
  const int windSpeed = numbers.Int(0, 22);
  weather.windSpeed = windSpeed;
  weather.windDirection = CompassLetters(22.5 * numbers.Int(0, 15));
  const bool wet = first.rainChance >= 40;
  weather.pressure =
      std::round((wet ? numbers.Between(29.45, 29.95) : numbers.Between(29.85, 30.40)) * 100) / 100;
  const int humidity = wet ? numbers.Int(75, 98) : numbers.Int(35, 80);
  weather.humidity = humidity;
  weather.visibility = first.dayKind == Kind::Fog ? 1 : wet ? numbers.Int(3, 7) : 10;
  const double sunHeight = 1.0 - std::fabs(location.latitude) / 90.0;
  weather.uvIndex = static_cast<int>(std::lround(11 * sunHeight * sunHeight * (wet ? 0.4 : 0.9)));

  const int temperature = (first.high * 2 + first.low) / 3;
  int feelsLike = temperature;
  if (temperature <= 50 && windSpeed > 3) {
    feelsLike -= windSpeed / 3;
  } else if (temperature >= 80) {
    feelsLike += humidity / 15;
  }
  weather.temperature = temperature;
  weather.feelsLike = feelsLike;

  // Day or night by the sun at the place, not by the service's clock.
  const double solarHour = std::fmod(
      std::fmod(static_cast<double>(now % 86400) / 3600.0 + location.longitude / 15.0, 24.0) + 24.0,
      24.0);
  const bool daytime = solarHour >= 6 && solarHour < 18;
  weather.icon = daytime ? first.day.dayIcon : first.day.nightIcon;
  weather.conditionText = ConditionTextOf(CodeOfIcon(weather.icon));

  weather.lastUpdate = FeedUpdateTime(now);
  weather.updated = now;
  return weather;
}

FeedAnswer FileFeedSource::Feed(const std::string& code, std::time_t) {
  std::optional<std::string> document =
      platform::ReadFileIfPresent(folder_ / (code + ".txt"), kDataFileLimit);
  if (!document) return {};
  return FeedAnswer::Serve(std::move(*document));
}

FeedAnswer SampleFeedSource::Feed(const std::string& code, std::time_t now) {
  const std::optional<Location> location = locations_.Resolve(code);
  if (!location) return {};
  return FeedAnswer::Serve(FormatFeed(MakeSampleWeather(*location, now)), now);
}

FeedAnswer SampleFeedSource::Hourly(const std::string& code, std::time_t now) {
  const std::optional<Location> location = locations_.Resolve(code);
  if (!location) return {};
  return FeedAnswer::Serve(FormatHourlyForecast(MakeSampleHourly(*location, now)), now);
}

FeedAnswer FeedSources::Hourly(const std::string& code, std::time_t now) const {
  for (const auto& source : sources_) {
    FeedAnswer answer = source->Hourly(code, now);
    if (answer.status != FeedAnswer::Status::Unknown) return answer;
  }
  return {};
}

FeedAnswer FeedSources::Feed(const std::string& code, std::time_t now) const {
  for (const auto& source : sources_) {
    FeedAnswer answer = source->Feed(code, now);
    if (answer.status != FeedAnswer::Status::Unknown) return answer;
  }
  return {};
}

}  // namespace cirrodex::service
