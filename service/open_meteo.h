// The Open-Meteo forecast API as a feed: the request for one location and the reading of its
// answer. nlohmann-json stays in open_meteo.cpp.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "service/feed_document.h"
#include "service/locations.h"

namespace cirrodex::service {

inline constexpr char kOpenMeteoUrl[] = "https://api.open-meteo.com/v1/forecast";

// `base` with the query for `location`: current conditions and six daily rows, in Fahrenheit and
// miles per hour, dates and times in GMT.
std::string OpenMeteoRequestUrl(const std::string& base, const Location& location);

// The feed weather of `location` from an answer of the API. The update time is the time of the
// current conditions; the five forecast days start on its GMT date. Values the answer leaves out
// (null or absent) are left out of the feed, except those the feed cannot do without (the current
// temperature and time, five days of dates and temperatures): without them, or when the text is
// not such an answer, it gives nothing and says why in `error`. Units that the answer names other
// than those asked for (Celsius, km/h, metres, feet) are converted.
std::optional<FeedWeather> ReadOpenMeteo(std::string_view answer, const Location& location,
                                         std::string& error);

}  // namespace cirrodex::service
