#include "service/feeds/weather_codes.h"

#include <algorithm>
#include <iterator>

namespace cirrodex::service {

namespace {

// Night icons are few (moon with clouds, showers, snow or thunder), so fog and overcast nights
// show the mostly cloudy moon and keep their own text. The API documents no hail apart from
// thunderstorms, and the icon set has no thunderstorm with hail, so those show strong storms.
constexpr WeatherCodeMapping kCodes[] = {
    // code  day text, icon   night text, icon
    {0, 24, 32, 11, 31},     // clear sky: "Sunny" / "Clear"
    {1, 22, 34, 23, 33},     // mainly clear: "Mostly Sunny" / "Mostly Clear"
    {2, 4, 30, 4, 29},       // partly cloudy
    {3, 1, 26, 1, 27},       // overcast: "Cloudy"
    {45, 992, 20, 992, 27},  // fog: "Mist"
    {48, 992, 20, 992, 27},  // depositing rime fog
    {51, 991, 9, 991, 45},   // light drizzle
    {53, 194, 9, 194, 45},   // drizzle
    {55, 194, 9, 194, 45},   // dense drizzle
    {56, 75, 8, 75, 45},     // light freezing drizzle: "Light/Frz Rain"
    {57, 114, 10, 114, 45},  // dense freezing drizzle: "Rain/Freezing Rain"
    {61, 13, 12, 13, 45},    // slight rain: "Light Rain"
    {63, 18, 12, 18, 45},    // rain
    {65, 137, 40, 137, 45},  // heavy rain
    {66, 75, 8, 75, 45},     // light freezing rain
    {67, 106, 10, 106, 45},  // heavy freezing rain: "Hvy Rain/Freezing Rain"
    {71, 98, 13, 98, 46},    // slight snow fall: "Light Snow"
    {73, 109, 16, 109, 46},  // snow fall
    {75, 109, 42, 109, 46},  // heavy snow fall
    {77, 45, 13, 45, 46},    // snow grains: "Flurries"
    {80, 989, 39, 989, 45},  // slight rain showers: "Light Rain Shower"
    {81, 14, 11, 14, 45},    // rain showers: "Showers"
    {82, 137, 40, 137, 45},  // violent rain showers: "Heavy Rain"
    {85, 995, 41, 995, 46},  // slight snow showers: "Light Snow Shower"
    {86, 84, 42, 84, 46},    // heavy snow showers: "Snow Showers"
    {95, 53, 4, 53, 47},     // thunderstorm: "Thunderstorms"
    {96, 173, 3, 173, 47},   // thunderstorm with slight hail: "Strong Storms"
    {99, 173, 3, 173, 47},   // thunderstorm with heavy hail
};

}  // namespace

std::span<const WeatherCodeMapping> DocumentedWeatherCodes() { return kCodes; }

const WeatherCodeMapping* FindWeatherCode(int wmoCode) {
  const auto found =
      std::lower_bound(std::begin(kCodes), std::end(kCodes), wmoCode,
                       [](const WeatherCodeMapping& m, int code) { return m.wmoCode < code; });
  return found != std::end(kCodes) && found->wmoCode == wmoCode ? &*found : nullptr;
}

}  // namespace cirrodex::service
