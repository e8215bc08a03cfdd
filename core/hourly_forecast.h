// The next hours of one city, as the service's hourly document carries them: 48 hours from the
// city's current hour, sunrise and sunset of its days, and where the source has one a nowcast of
// the next two hours in 15-minute steps. The service writes the document, the download run
// stores it and the Hourly page and the rain notice read it. Nothing here reads the registry.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cirrodex {

// One hour from its start. A value the source did not give stays empty.
struct HourlyForecastHour {
  std::time_t time = 0;                          // UTC start of the hour
  std::optional<double> temperature, feelsLike;  // Fahrenheit
  std::optional<int> rainChance;                 // percent
  std::optional<double> precipitation;           // millimetres within the hour
  int icon = 44;                                 // the feed's icon number; 44 shows no data
  std::string condition;                         // the feed's condition text (UTF-8); may be empty
  std::optional<double> windSpeed;               // miles per hour
  std::optional<int> windDirection;              // degrees clockwise from north
  std::optional<bool> isDay;
};

// Sunrise and sunset of one of the city's calendar days; either may be missing (polar day and
// night, or a value the source nulled).
struct HourlySunDay {
  int year = 0, month = 0, day = 0;
  std::optional<std::time_t> sunrise, sunset;  // UTC
};

inline constexpr std::time_t kNowcastStep = 15 * 60;

// Precipitation in steps of kNowcastStep: step i covers [start + i * step, start + (i + 1) * step).
struct HourlyNowcast {
  std::time_t start = 0;     // UTC
  int utcOffsetSeconds = 0;  // the city's clock, east of GMT, for showing the times
  std::vector<std::optional<double>> precipitation;  // millimetres within each step
};

struct HourlyForecast {
  std::vector<HourlyForecastHour> hours;  // in time order
  std::vector<HourlySunDay> sun;          // in date order
  std::optional<HourlyNowcast> nowcast;   // absent where the source has none
  int utcOffsetSeconds = 0;               // the city's clock, east of GMT
  std::time_t updated = 0;                // UTC time of the source's current conditions
  bool sample = false;                    // made up, not weather
};

// The hourly document's largest stored size, in characters.
inline constexpr size_t kHourlyDocumentLimit = 16384;

// Reads a hourly document. Nothing for a text that is not a JSON object with a readable `updated`
// time and a `hours` list; an hour without a readable time is dropped, a value that is null or of
// the wrong kind stays empty, and a nowcast without a readable time is left out.
std::optional<HourlyForecast> ParseHourlyForecast(std::string_view json);

// The document of `forecast`, in compact JSON (local times carry the city's offset).
std::string FormatHourlyForecast(const HourlyForecast& forecast);

// Less than this in a step is a trace, not rain.
inline constexpr double kNowcastRainMillimetres = 0.1;

// What the nowcast says of rain from `now` on.
struct NowcastRain {
  enum class State {
    Unknown,     // no step of the nowcast covers `now`, or the step of `now` has no value
    RainingNow,  // the step of `now` is wet
    Dry,         // dry now and in every later step that has a value
    Begins,      // dry now, wet from `begins` on
  };
  State state = State::Unknown;
  std::time_t begins = 0;  // Begins: UTC start of the first wet step
};

// When rain begins in the nowcast, if it is dry at `now`: the first wet step (at least
// kNowcastRainMillimetres) after the dry step that covers `now`. Steps without a value count as
// neither wet nor dry.
NowcastRain RainStartInNowcast(const HourlyNowcast& nowcast, std::time_t now);

// "HH:MM" of a UTC time on a clock `utcOffsetSeconds` east of GMT.
std::string LocalClockText(std::time_t utc, int utcOffsetSeconds);

}  // namespace cirrodex
