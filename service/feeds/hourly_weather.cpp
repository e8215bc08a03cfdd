#include "service/feeds/hourly_weather.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

#include "service/feeds/feed_document.h"
#include "service/feeds/open_meteo_values.h"
#include "service/feeds/weather_codes.h"

namespace cirrodex::service {

namespace {

using Json = nlohmann::json;

constexpr int kHours = 48;
constexpr int kSunDays = 5;
constexpr int kNowcastSteps = 8;

const Json& Empty() {
  static const Json empty = Json::object();
  return empty;
}

const Json& Block(const Json& root, const char* name) {
  const auto found = root.find(name);
  return found != root.end() && found->is_object() ? *found : Empty();
}

const Json* Array(const Json& block, const char* name) {
  const auto found = block.find(name);
  return found != block.end() && found->is_array() ? &*found : nullptr;
}

std::optional<double> At(const Json* array, std::optional<size_t> row) {
  return row ? NumberAt(array, *row) : std::nullopt;
}

// A wall time "YYYY-MM-DDTHH:MM[:SS]" (or a date alone) as seconds since the epoch of that wall
// time; seconds since the epoch already when the answer says "unixtime".
std::optional<int64_t> WallSeconds(const Json& value, int64_t offset) {
  if (value.is_number_integer()) return value.get<int64_t>() + offset;
  if (!value.is_string()) return std::nullopt;
  const std::string text = value.get<std::string>();
  CivilDate date{};
  int hour = 0, minute = 0, second = 0, used = 0;
  const int read =
      std::sscanf(text.c_str(), "%4d-%2d-%2d%nT%2d:%2d%n:%2d%n", &date.year, &date.month, &date.day,
                  &used, &hour, &minute, &used, &second, &used);
  if ((read != 3 && read < 5) || static_cast<size_t>(used) != text.size() || date.month < 1 ||
      date.month > 12 || date.day < 1 || date.day > 31 || hour < 0 || hour > 23 || minute < 0 ||
      minute > 59 || second < 0 || second > 59) {
    return std::nullopt;
  }
  if (CivilFromDays(DaysFromCivil(date)).day != date.day) return std::nullopt;
  return DaysFromCivil(date) * 86400 + hour * 3600 + minute * 60 + second;
}

// Row of each wall time of a block's `time` list.
std::map<int64_t, size_t> RowsByTime(const Json& block, int64_t offset) {
  std::map<int64_t, size_t> rows;
  if (const Json* times = Array(block, "time")) {
    for (size_t i = 0; i < times->size(); ++i) {
      if (auto wall = WallSeconds((*times)[i], offset)) rows.emplace(*wall, i);
    }
  }
  return rows;
}

std::optional<size_t> RowOf(const std::map<int64_t, size_t>& rows, int64_t wall) {
  const auto found = rows.find(wall);
  if (found == rows.end()) return std::nullopt;
  return found->second;
}

// The 48 hours from `firstWall`; false when not one value is there.
bool ReadHours(const Json& root, int64_t offset, int64_t firstWall, HourlyForecast& forecast) {
  const Json& hourly = Block(root, "hourly");
  const Json& units = Block(root, "hourly_units");
  const auto rows = RowsByTime(hourly, offset);
  const Json* temperature = Array(hourly, "temperature_2m");
  const Json* feelsLike = Array(hourly, "apparent_temperature");
  const Json* chance = Array(hourly, "precipitation_probability");
  const Json* amount = Array(hourly, "precipitation");
  const Json* code = Array(hourly, "weather_code");
  const Json* speed = Array(hourly, "wind_speed_10m");
  const Json* direction = Array(hourly, "wind_direction_10m");
  const Json* isDay = Array(hourly, "is_day");
  bool any = false;
  for (int i = 0; i < kHours; ++i) {
    const int64_t wall = firstWall + i * 3600;
    const auto row = RowOf(rows, wall);
    // Precipitation and its chance are sums over the hour before their time.
    const auto next = RowOf(rows, wall + 3600);
    HourlyForecastHour hour;
    hour.time = static_cast<std::time_t>(wall - offset);
    hour.temperature = Fahrenheit(At(temperature, row), UnitOf(units, "temperature_2m"));
    hour.feelsLike = Fahrenheit(At(feelsLike, row), UnitOf(units, "apparent_temperature"));
    if (auto percent = Plain(At(chance, next), UnitOf(units, "precipitation_probability"), {"%"})) {
      hour.rainChance = std::clamp(static_cast<int>(std::lround(*percent)), 0, 100);
    }
    if (auto mm = Millimetres(At(amount, next), UnitOf(units, "precipitation"))) {
      hour.precipitation = std::max(*mm, 0.0);
    }
    if (auto mph = MilesPerHour(At(speed, row), UnitOf(units, "wind_speed_10m"))) {
      hour.windSpeed = std::max(*mph, 0.0);
    }
    if (auto degrees = Plain(At(direction, row), UnitOf(units, "wind_direction_10m"), {"°"})) {
      hour.windDirection = static_cast<int>(std::lround(*degrees)) % 360;
    }
    if (auto day = At(isDay, row)) hour.isDay = *day != 0;
    const auto wmo = At(code, row);
    const WeatherCodeMapping* mapping =
        wmo && *wmo == std::floor(*wmo) ? FindWeatherCode(static_cast<int>(*wmo)) : nullptr;
    if (mapping != nullptr) {
      const bool day = hour.isDay.value_or(true);
      hour.icon = day ? mapping->dayIcon : mapping->nightIcon;
      hour.condition = TextOfCode(day ? mapping->dayCode : mapping->nightCode);
    }
    any = any || hour.temperature || hour.feelsLike || hour.rainChance || hour.precipitation ||
          hour.windSpeed || hour.windDirection || mapping != nullptr;
    forecast.hours.push_back(std::move(hour));
  }
  return any;
}

void ReadSun(const Json& root, int64_t offset, int64_t today, HourlyForecast& forecast) {
  const Json& daily = Block(root, "daily");
  const auto rows = RowsByTime(daily, offset);
  const Json* sunrise = Array(daily, "sunrise");
  const Json* sunset = Array(daily, "sunset");
  auto utcAt = [offset](const Json* array, std::optional<size_t> row) -> std::optional<time_t> {
    if (array == nullptr || !row || *row >= array->size()) return std::nullopt;
    const auto wall = WallSeconds((*array)[*row], offset);
    if (!wall) return std::nullopt;
    return static_cast<std::time_t>(*wall - offset);
  };
  for (int i = 0; i < kSunDays; ++i) {
    const CivilDate date = CivilFromDays(today + i);
    HourlySunDay day{date.year, date.month, date.day, {}, {}};
    const auto row = RowOf(rows, (today + i) * 86400);
    day.sunrise = utcAt(sunrise, row);
    day.sunset = utcAt(sunset, row);
    forecast.sun.push_back(day);
  }
}

// The two hours from the quarter of the current time; each value is the sum of the quarter
// before its time.
void ReadNowcast(const Json& root, int64_t offset, int64_t nowWall, HourlyForecast& forecast) {
  const Json& block = Block(root, "minutely_15");
  const Json* amounts = Array(block, "precipitation");
  if (amounts == nullptr) return;
  const std::string unit = UnitOf(Block(root, "minutely_15_units"), "precipitation");
  const auto rows = RowsByTime(block, offset);
  const int64_t quarter = FloorDiv(nowWall, kNowcastStep) * kNowcastStep;
  HourlyNowcast nowcast;
  nowcast.start = static_cast<std::time_t>(quarter - offset);
  nowcast.utcOffsetSeconds = static_cast<int>(offset);
  bool any = false;
  for (int i = 1; i <= kNowcastSteps; ++i) {
    auto mm = Millimetres(At(amounts, RowOf(rows, quarter + i * kNowcastStep)), unit);
    if (mm) mm = std::max(*mm, 0.0);
    any = any || mm.has_value();
    nowcast.precipitation.push_back(mm);
  }
  if (any) forecast.nowcast = std::move(nowcast);
}

}  // namespace

std::string HourlyCodeOfPath(std::string_view path) {
  const std::string_view prefix = kHourlyPathPrefix;
  const std::string_view suffix = kHourlyPathSuffix;
  if (path.size() <= prefix.size() + suffix.size() || !path.starts_with(prefix) ||
      !path.ends_with(suffix)) {
    return "";
  }
  return std::string(path.substr(prefix.size(), path.size() - prefix.size() - suffix.size()));
}

std::optional<HourlyForecast> ReadOpenMeteoHourly(std::string_view answer, std::string& error) {
  const Json root = Json::parse(answer.begin(), answer.end(), nullptr, false);
  if (root.is_discarded() || !root.is_object()) {
    error = "the answer is not a JSON object";
    return std::nullopt;
  }
  int64_t offset = 0;
  if (const auto found = root.find("utc_offset_seconds");
      found != root.end() && found->is_number_integer() &&
      std::llabs(found->get<int64_t>()) <= 14 * 3600) {
    offset = found->get<int64_t>();
  }
  const Json& current = Block(root, "current");
  const auto time = current.find("time");
  const auto nowWall = time == current.end() ? std::nullopt : WallSeconds(*time, offset);
  if (!nowWall) {
    error = "the current conditions have no readable time";
    return std::nullopt;
  }
  HourlyForecast forecast;
  forecast.utcOffsetSeconds = static_cast<int>(offset);
  forecast.updated = static_cast<std::time_t>(*nowWall - offset);
  if (!ReadHours(root, offset, FloorDiv(*nowWall, 3600) * 3600, forecast)) {
    error = "the answer has no hourly values";
    return std::nullopt;
  }
  ReadSun(root, offset, FloorDiv(*nowWall, 86400), forecast);
  ReadNowcast(root, offset, *nowWall, forecast);
  return forecast;
}

}  // namespace cirrodex::service
