// The Open-Meteo forecast API as a feed: the request for one location and the reading of its
// answer. nlohmann-json stays in open_meteo.cpp.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "service/feeds/feed_document.h"
#include "service/feeds/locations.h"

namespace cirrodex::service {

inline constexpr char kOpenMeteoUrl[] = "https://api.open-meteo.com/v1/forecast";

// `base` with the query for `location`: current conditions, six daily rows with sunrise and
// sunset, 49 hours and nine quarter hours from the current ones (service/feeds/hourly_weather.h), in
// Fahrenheit and miles per hour, days and times of the city's own zone (timezone=auto).
std::string OpenMeteoRequestUrl(const std::string& base, const Location& location);

// The feed weather of `location` from an answer of the API. The update time is the time of the
// current conditions; the five forecast days are the city's, from its date of that time on. A
// value the answer nulls or leaves out, or gives in a unit that cannot be converted, is left out
// of the feed; every other value is still served. Units other than those asked for (Celsius,
// km/h, m/s, knots, metres, feet) are converted. Gives nothing, saying why in `error`, for a text
// that is not such an answer, an answer without a readable current time, or one without a single
// current or daily value.
std::optional<FeedWeather> ReadOpenMeteo(std::string_view answer, const Location& location,
                                         std::string& error);

// The reason of a refusal `{"error": true, "reason": "..."}`, which the API sends with status 400
// or 429 (and which a proxy may pass on with 200); nothing for any other text.
std::optional<std::string> OpenMeteoRefusal(std::string_view answer);

// True for the reason that says the day's requests are spent ("Daily API request limit exceeded.
// Please try again tomorrow."): asking again before the next GMT day is of no use.
bool IsDailyLimit(std::string_view reason);

}  // namespace cirrodex::service
