// The hourly document of a city: read from the same forecast answer as its feed, or made up
// beside the made-up feed. The document's format is core's (core/hourly_forecast.h).
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "core/hourly_forecast.h"
#include "service/feeds/locations.h"

namespace cirrodex::service {

// The address of a city's hourly document: "/weather/hourly/CODE.json".
inline constexpr char kHourlyPathPrefix[] = "/weather/hourly/";
inline constexpr char kHourlyPathSuffix[] = ".json";

// The code of a hourly document's path; empty for any other path.
std::string HourlyCodeOfPath(std::string_view path);

// Hours, sun and nowcast from an Open-Meteo answer asked with OpenMeteoRequestUrl. The 48 hours
// start at the city's hour of the answer's current time, each looked up by its time: an hour the
// answer lacks, or a value it nulls or gives in a unit that cannot be converted, stays empty.
// Precipitation and its chance are the answer's sums of the hour that follows. Sun days are the
// feed's five, from the city's date of the current time. The nowcast is left out when the answer
// has no 15-minute precipitation for the next two hours. Nothing, saying why in `error`, for an
// answer without a readable current time or without a single hourly value.
std::optional<HourlyForecast> ReadOpenMeteoHourly(std::string_view answer, std::string& error);

// Made-up hours of `location` from `now`, marked as a sample: the days' highs, lows, icons and
// chances of rain of the made-up feed (MakeSampleWeather) spread over the hours, sunrise and
// sunset by the sun's course, the city's clock by its longitude.
HourlyForecast MakeSampleHourly(const Location& location, std::time_t now);

}  // namespace cirrodex::service
