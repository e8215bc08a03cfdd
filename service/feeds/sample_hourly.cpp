// Made-up hours beside the made-up feed: the same days, spread over the hours.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/condition_texts.h"
#include "core/icon_table.h"
#include "service/feeds/feed_source.h"
#include "service/feeds/hourly_weather.h"

namespace cirrodex::service {

namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180;

std::string TextOfIcon(int icon) {
  const auto info = IconFor(icon);
  if (!info || info->conditionCode <= 0) return "";
  const std::wstring wide = ConditionText(info->conditionCode);
  return std::string(wide.begin(), wide.end());  // the table is plain ASCII
}

// Sunrise and sunset (UTC) of the local day `days` at the place, by the sun's declination and
// the place's longitude; nothing in polar day or night.
void SunOf(const Location& location, int64_t days, HourlySunDay& sun) {
  const CivilDate date = CivilFromDays(days);
  sun.year = date.year;
  sun.month = date.month;
  sun.day = date.day;
  const int64_t dayOfYear = days - DaysFromCivil({date.year, 1, 1});
  const double declination =
      23.44 * kRadiansPerDegree * std::sin(2 * std::numbers::pi * (284 + dayOfYear) / 365.0);
  const double latitude = location.latitude * kRadiansPerDegree;
  const double cosine = -std::tan(latitude) * std::tan(declination);
  if (cosine <= -1 || cosine >= 1) return;
  const double halfDaySeconds = std::acos(cosine) / kRadiansPerDegree / 15 * 3600;
  const double noon = static_cast<double>(days) * 86400 + 43200 - location.longitude / 15 * 3600;
  sun.sunrise = static_cast<std::time_t>(std::lround(noon - halfDaySeconds));
  sun.sunset = static_cast<std::time_t>(std::lround(noon + halfDaySeconds));
}

}  // namespace

HourlyForecast MakeSampleHourly(const Location& location, std::time_t now) {
  HourlyForecast forecast;
  forecast.sample = true;
  forecast.updated = now;
  // No zone is known for a made-up city: its clock follows its longitude.
  const int offset = static_cast<int>(std::lround(location.longitude / 15)) * 3600;
  forecast.utcOffsetSeconds = offset;

  // The made-up feed's days start at the UTC date; from a day earlier they cover every local
  // date of the next 48 hours.
  const int64_t firstDay = FloorDiv(now, 86400) - 1;
  const FeedWeather weather = MakeSampleWeather(location, static_cast<std::time_t>(now - 86400));
  auto dayAt = [&](int64_t localDay) -> const FeedDay& {
    const int64_t index = std::clamp<int64_t>(localDay - firstDay, 0, 4);
    return weather.days[index];
  };

  const int64_t localNow = now + offset;
  const int64_t firstHour = FloorDiv(localNow, 3600) * 3600;
  for (int i = 0; i < 48; ++i) {
    const int64_t local = firstHour + i * 3600;
    const int64_t localDay = FloorDiv(local, 86400);
    const FeedDay& day = dayAt(localDay);
    const double high = day.high.value_or(60), low = day.low.value_or(45);
    // Coolest at 05:00, warmest at 15:00.
    const double hourOfDay = static_cast<double>(local - localDay * 86400) / 3600;
    const double warmth = (1 - std::cos((hourOfDay - 5) / 10 * std::numbers::pi)) / 2;
    const double temperature =
        hourOfDay >= 5 && hourOfDay <= 15
            ? low + (high - low) * warmth
            : low + (high - low) * (hourOfDay > 15 ? (29 - hourOfDay) / 14 : (5 - hourOfDay) / 14);
    const bool isDay = hourOfDay >= 7 && hourOfDay < 19;
    HourlyForecastHour hour;
    hour.time = static_cast<std::time_t>(local - offset);
    hour.temperature = std::round(temperature * 10) / 10;
    hour.feelsLike = std::round((temperature - (temperature < 50 ? 3 : 0)) * 10) / 10;
    hour.isDay = isDay;
    hour.icon = isDay ? day.dayIcon : day.nightIcon;
    hour.condition = TextOfIcon(hour.icon);
    const uint64_t roll = Fnv1a(location.code, static_cast<uint64_t>(local));
    const int chance = day.rainChance.value_or(0);
    hour.rainChance = std::clamp(chance - 10 + static_cast<int>(roll % 21), 0, 100) / 5 * 5;
    hour.precipitation = *hour.rainChance >= 50 ? static_cast<double>((roll >> 8) % 30) / 10 : 0.0;
    hour.windSpeed = static_cast<double>(4 + (roll >> 16) % 15);
    hour.windDirection = static_cast<int>((roll >> 24) % 16) * 45 / 2;
    forecast.hours.push_back(hour);
  }

  const int64_t today = FloorDiv(localNow, 86400);
  for (int i = 0; i < 5; ++i) {
    HourlySunDay sun;
    SunOf(location, today + i, sun);
    forecast.sun.push_back(sun);
  }

  // The next two hours follow the first two hours' amounts, a quarter at a time.
  HourlyNowcast nowcast;
  nowcast.start = static_cast<std::time_t>(FloorDiv(now, kNowcastStep) * kNowcastStep);
  nowcast.utcOffsetSeconds = offset;
  for (int i = 0; i < 8; ++i) {
    const int64_t step = nowcast.start + i * kNowcastStep;
    const auto& hour =
        forecast
            .hours[static_cast<size_t>(std::min<int64_t>((step + offset - firstHour) / 3600, 47))];
    nowcast.precipitation.push_back(std::round(hour.precipitation.value_or(0) / 4 * 10) / 10);
  }
  forecast.nowcast = std::move(nowcast);
  return forecast;
}

}  // namespace cirrodex::service
