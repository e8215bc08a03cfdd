#include "core/hourly_forecast.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

namespace cirrodex {

namespace {

using Json = nlohmann::json;

// Zones lie within 14 hours of GMT.
constexpr int kLargestOffset = 14 * 3600;

bool ValidCivil(int year, int month, int day) {
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] && !(month == 2 && day == 29 && !leap);
}

std::time_t UtcOf(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return timegm(&t);
}

// "YYYY-MM-DDTHH:MM[:SS]" followed by "Z" or "+HH:MM" / "-HH:MM", as UTC.
std::optional<std::time_t> ReadZonedTime(const std::string& text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d%n", &year, &month, &day, &hour, &minute,
                  &used) != 5) {
    return std::nullopt;
  }
  size_t at = static_cast<size_t>(used);
  if (at + 3 <= text.size() && text[at] == ':') {
    int read = 0;
    if (std::sscanf(text.c_str() + at, ":%2d%n", &second, &read) != 1 || read != 3) {
      return std::nullopt;
    }
    at += 3;
  }
  if (!ValidCivil(year, month, day) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59) {
    return std::nullopt;
  }
  int offset = 0;
  const std::string zone = text.substr(at);
  if (zone != "Z") {
    int zoneHours = 0, zoneMinutes = 0, read = 0;
    if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') ||
        std::sscanf(zone.c_str() + 1, "%2d:%2d%n", &zoneHours, &zoneMinutes, &read) != 2 ||
        read != 5 || zoneMinutes > 59 || zoneHours < 0 || zoneMinutes < 0) {
      return std::nullopt;
    }
    offset = (zoneHours * 3600 + zoneMinutes * 60) * (zone[0] == '-' ? -1 : 1);
    if (std::abs(offset) > kLargestOffset) return std::nullopt;
  }
  return UtcOf(year, month, day, hour, minute, second) - offset;
}

const Json* Member(const Json& object, const char* name) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(name);
  return found == object.end() || found->is_null() ? nullptr : &*found;
}

std::optional<double> Number(const Json& object, const char* name) {
  const Json* value = Member(object, name);
  if (value == nullptr || !value->is_number()) return std::nullopt;
  const double number = value->get<double>();
  if (!std::isfinite(number) || std::fabs(number) > 1e6) return std::nullopt;
  return number;
}

std::optional<int> Whole(const Json& object, const char* name) {
  const auto number = Number(object, name);
  if (!number) return std::nullopt;
  return static_cast<int>(std::lround(*number));
}

std::optional<std::time_t> TimeOf(const Json& object, const char* name) {
  const Json* value = Member(object, name);
  if (value == nullptr || !value->is_string()) return std::nullopt;
  return ReadZonedTime(value->get<std::string>());
}

std::optional<HourlyForecastHour> ReadHour(const Json& entry) {
  const auto time = TimeOf(entry, "time");
  if (!time) return std::nullopt;
  HourlyForecastHour hour;
  hour.time = *time;
  hour.temperature = Number(entry, "temperature");
  hour.feelsLike = Number(entry, "feels_like");
  hour.rainChance = Whole(entry, "rain_chance");
  hour.precipitation = Number(entry, "precipitation");
  hour.icon = Whole(entry, "icon").value_or(44);
  if (const Json* text = Member(entry, "condition"); text && text->is_string()) {
    hour.condition = text->get<std::string>();
  }
  hour.windSpeed = Number(entry, "wind_speed");
  hour.windDirection = Whole(entry, "wind_direction");
  if (const Json* day = Member(entry, "is_day"); day && day->is_boolean()) {
    hour.isDay = day->get<bool>();
  }
  return hour;
}

std::optional<HourlySunDay> ReadSunDay(const Json& entry) {
  const Json* date = Member(entry, "date");
  HourlySunDay day;
  int used = 0;
  if (date == nullptr || !date->is_string() ||
      std::sscanf(date->get<std::string>().c_str(), "%4d-%2d-%2d%n", &day.year, &day.month,
                  &day.day, &used) != 3 ||
      static_cast<size_t>(used) != date->get<std::string>().size() ||
      !ValidCivil(day.year, day.month, day.day)) {
    return std::nullopt;
  }
  day.sunrise = TimeOf(entry, "sunrise");
  day.sunset = TimeOf(entry, "sunset");
  return day;
}

// Local time with the offset: "2026-12-08T14:00+09:00".
std::string ZonedText(std::time_t utc, int offset) {
  const std::time_t local = utc + offset;
  std::tm t{};
  gmtime_r(&local, &t);
  const int magnitude = std::abs(offset) / 60;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d%c%02d:%02d", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, offset < 0 ? '-' : '+',
                magnitude / 60, magnitude % 60);
  return text;
}

Json OneDecimal(const std::optional<double>& value) {
  if (!value) return nullptr;
  return std::round(*value * 10) / 10;
}

template <class T>
Json OrNull(const std::optional<T>& value) {
  if (!value) return nullptr;
  return *value;
}

}  // namespace

std::optional<HourlyForecast> ParseHourlyForecast(std::string_view json) {
  const Json root = Json::parse(json.begin(), json.end(), nullptr, false);
  if (root.is_discarded() || !root.is_object()) return std::nullopt;
  const auto updated = TimeOf(root, "updated");
  const Json* hours = Member(root, "hours");
  if (!updated || hours == nullptr || !hours->is_array()) return std::nullopt;

  HourlyForecast forecast;
  forecast.updated = *updated;
  if (const auto offset = Whole(root, "utc_offset_seconds");
      offset && std::abs(*offset) <= kLargestOffset) {
    forecast.utcOffsetSeconds = *offset;
  }
  if (const Json* sample = Member(root, "sample"); sample && sample->is_boolean()) {
    forecast.sample = sample->get<bool>();
  }
  for (const Json& entry : *hours) {
    if (auto hour = ReadHour(entry)) forecast.hours.push_back(std::move(*hour));
  }
  if (const Json* sun = Member(root, "sun"); sun && sun->is_array()) {
    for (const Json& entry : *sun) {
      if (auto day = ReadSunDay(entry)) forecast.sun.push_back(*day);
    }
  }
  if (const Json* nowcast = Member(root, "nowcast")) {
    const auto start = TimeOf(*nowcast, "time");
    const Json* steps = Member(*nowcast, "precipitation");
    if (start && steps != nullptr && steps->is_array()) {
      HourlyNowcast read;
      read.start = *start;
      read.utcOffsetSeconds = forecast.utcOffsetSeconds;
      for (const Json& step : *steps) {
        std::optional<double> value;
        if (step.is_number() && std::isfinite(step.get<double>())) value = step.get<double>();
        read.precipitation.push_back(value);
      }
      forecast.nowcast = std::move(read);
    }
  }
  return forecast;
}

std::string FormatHourlyForecast(const HourlyForecast& forecast) {
  const int offset = forecast.utcOffsetSeconds;
  Json hours = Json::array();
  for (const HourlyForecastHour& hour : forecast.hours) {
    hours.push_back({{"time", ZonedText(hour.time, offset)},
                     {"temperature", OneDecimal(hour.temperature)},
                     {"feels_like", OneDecimal(hour.feelsLike)},
                     {"rain_chance", OrNull(hour.rainChance)},
                     {"precipitation", OneDecimal(hour.precipitation)},
                     {"icon", hour.icon},
                     {"condition", hour.condition},
                     {"wind_speed", OneDecimal(hour.windSpeed)},
                     {"wind_direction", OrNull(hour.windDirection)},
                     {"is_day", OrNull(hour.isDay)}});
  }
  Json sun = Json::array();
  for (const HourlySunDay& day : forecast.sun) {
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", day.year, day.month, day.day);
    sun.push_back({{"date", date},
                   {"sunrise", day.sunrise ? Json(ZonedText(*day.sunrise, offset)) : Json()},
                   {"sunset", day.sunset ? Json(ZonedText(*day.sunset, offset)) : Json()}});
  }
  std::tm t{};
  const std::time_t updated = forecast.updated;
  gmtime_r(&updated, &t);
  char updatedText[64];
  std::snprintf(updatedText, sizeof updatedText, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);

  Json root = {{"updated", updatedText},
               {"utc_offset_seconds", offset},
               {"sample", forecast.sample},
               {"hours", std::move(hours)},
               {"sun", std::move(sun)}};
  if (forecast.nowcast) {
    Json steps = Json::array();
    for (const auto& step : forecast.nowcast->precipitation) steps.push_back(OneDecimal(step));
    root["nowcast"] = {{"time", ZonedText(forecast.nowcast->start, offset)},
                       {"precipitation", std::move(steps)}};
  }
  // Strings the service puts in are its own ASCII and UTF-8 texts; a broken byte is replaced
  // rather than failing the whole document.
  return root.dump(-1, ' ', false, Json::error_handler_t::replace);
}

NowcastRain RainStartInNowcast(const HourlyNowcast& nowcast, std::time_t now) {
  if (now < nowcast.start) return {};
  const auto current = static_cast<size_t>((now - nowcast.start) / kNowcastStep);
  if (current >= nowcast.precipitation.size() || !nowcast.precipitation[current]) return {};
  if (*nowcast.precipitation[current] >= kNowcastRainMillimetres) {
    return {NowcastRain::State::RainingNow, 0};
  }
  for (size_t i = current + 1; i < nowcast.precipitation.size(); ++i) {
    const auto& step = nowcast.precipitation[i];
    if (step && *step >= kNowcastRainMillimetres) {
      return {NowcastRain::State::Begins,
              nowcast.start + static_cast<std::time_t>(i) * kNowcastStep};
    }
  }
  return {NowcastRain::State::Dry, 0};
}

std::string LocalClockText(std::time_t utc, int utcOffsetSeconds) {
  const std::time_t local = utc + utcOffsetSeconds;
  std::tm t{};
  gmtime_r(&local, &t);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d", t.tm_hour, t.tm_min);
  return text;
}

}  // namespace cirrodex
