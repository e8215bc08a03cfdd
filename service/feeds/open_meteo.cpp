#include "service/feeds/open_meteo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

#include "service/feeds/open_meteo_values.h"
#include "service/feeds/weather_codes.h"

namespace cirrodex::service {

namespace {

using Json = nlohmann::json;

constexpr int kFeedDays = 5;

const Json* Member(const Json& object, const char* name) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(name);
  return found == object.end() ? nullptr : &*found;
}

// A finite number, or nothing for null, text or an absent member. Anything beyond a million is
// no weather and would not fit the feed's integers.
std::optional<double> Number(const Json& object, const char* name) {
  const Json* value = Member(object, name);
  if (value == nullptr || !value->is_number()) return std::nullopt;
  const double number = value->get<double>();
  if (!std::isfinite(number) || std::fabs(number) > 1e6) return std::nullopt;
  return number;
}

std::string Text(const Json& object, const char* name) {
  const Json* value = Member(object, name);
  return value != nullptr && value->is_string() ? value->get<std::string>() : std::string();
}

std::optional<int> Rounded(std::optional<double> value) {
  if (!value) return std::nullopt;
  return static_cast<int>(std::lround(*value));
}

int Clamped(int value, int low, int high) {
  return value < low ? low : value > high ? high : value;
}

bool ValidDate(const CivilDate& date) {
  if (date.year < 1900 || date.year > 9999 || date.month < 1 || date.month > 12 || date.day < 1) {
    return false;
  }
  return CivilFromDays(DaysFromCivil(date)).day == date.day;  // no 31 April
}

// "YYYY-MM-DD".
std::optional<CivilDate> ReadDate(const std::string& text) {
  CivilDate date{};
  int used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &date.year, &date.month, &date.day, &used) != 3 ||
      static_cast<size_t>(used) != text.size() || !ValidDate(date)) {
    return std::nullopt;
  }
  return date;
}

// "YYYY-MM-DDTHH:MM", seconds allowed, as seconds since the epoch of that wall time.
std::optional<int64_t> ReadTime(const std::string& text) {
  CivilDate date{};
  int hour = 0, minute = 0, second = 0, used = 0;
  const int read = std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d%n:%2d%n", &date.year, &date.month,
                               &date.day, &hour, &minute, &used, &second, &used);
  if (read < 5 || static_cast<size_t>(used) != text.size() || !ValidDate(date) || hour > 23 ||
      minute > 59 || second > 59 || hour < 0 || minute < 0 || second < 0) {
    return std::nullopt;
  }
  return DaysFromCivil(date) * 86400 + hour * 3600 + minute * 60 + second;
}

const WeatherCodeMapping* MappingAt(const Json& object, const char* name) {
  const auto code = Number(object, name);
  return code && *code == std::floor(*code) ? FindWeatherCode(static_cast<int>(*code)) : nullptr;
}

const WeatherCodeMapping* MappingAt(const Json* array, size_t index) {
  const auto code = NumberAt(array, index);
  return code && *code == std::floor(*code) ? FindWeatherCode(static_cast<int>(*code)) : nullptr;
}

// An undocumented or missing code shows the no-data icon and no text.
constexpr WeatherCodeMapping kNoData{-1, 0, 44, 0, 44};

}  // namespace

std::string OpenMeteoRequestUrl(const std::string& base, const Location& location) {
  char place[64];
  std::snprintf(place, sizeof place, "latitude=%.4f&longitude=%.4f", location.latitude,
                location.longitude);
  return base + (base.find('?') == std::string::npos ? "?" : "&") + place +
         "&current=temperature_2m,apparent_temperature,relative_humidity_2m,pressure_msl,"
         "wind_speed_10m,wind_direction_10m,weather_code,visibility,uv_index,is_day"
         "&daily=weather_code,temperature_2m_max,temperature_2m_min,precipitation_probability_max,"
         "sunrise,sunset"
         "&hourly=temperature_2m,apparent_temperature,precipitation_probability,precipitation,"
         "weather_code,wind_speed_10m,wind_direction_10m,is_day&forecast_hours=49"
         "&minutely_15=precipitation&forecast_minutely_15=9"
         "&temperature_unit=fahrenheit&wind_speed_unit=mph&timezone=auto&forecast_days=6";
}

std::optional<std::string> OpenMeteoRefusal(std::string_view answer) {
  const Json root = Json::parse(answer.begin(), answer.end(), nullptr, false);
  const Json* refused = root.is_discarded() ? nullptr : Member(root, "error");
  if (refused == nullptr || !refused->is_boolean() || !refused->get<bool>()) return std::nullopt;
  return Text(root, "reason");
}

bool IsDailyLimit(std::string_view reason) {
  return reason.rfind("Daily API request limit exceeded", 0) == 0;
}

namespace {

const Json& EmptyObject() {
  static const Json empty = Json::object();
  return empty;
}

// The parts of an answer that the feed is made from; a block that is absent is empty, and a units
// block that is absent names the units asked for.
struct AnswerParts {
  const Json* current = &EmptyObject();
  const Json* daily = &EmptyObject();
  const Json* currentUnits = &EmptyObject();
  const Json* dailyUnits = &EmptyObject();
  int64_t offset = 0;  // seconds east of GMT of the city's own time
};

const Json* ObjectOr(const Json& root, const char* name) {
  const Json* member = Member(root, name);
  return member != nullptr && member->is_object() ? member : &EmptyObject();
}

// The blocks of a forecast answer, or false with the reason.
bool SplitAnswer(const Json& root, AnswerParts& parts, std::string& error) {
  if (root.is_discarded() || !root.is_object()) {
    error = "the answer is not a JSON object";
    return false;
  }
  if (const Json* refused = Member(root, "error"); refused && refused->is_boolean() && *refused) {
    error = "the API refused the request: " + Text(root, "reason");
    return false;
  }
  parts.current = ObjectOr(root, "current");
  parts.daily = ObjectOr(root, "daily");
  parts.currentUnits = ObjectOr(root, "current_units");
  parts.dailyUnits = ObjectOr(root, "daily_units");
  // Zones lie within 14 hours of GMT; anything else is no offset.
  const auto offset = Number(root, "utc_offset_seconds");
  if (offset && std::fabs(*offset) <= 14 * 3600 && *offset == std::floor(*offset)) {
    parts.offset = static_cast<int64_t>(*offset);
  }
  return true;
}

// The time of the current conditions in seconds since the epoch, GMT: an ISO text of the city's
// own wall time, or seconds since the epoch when the answer says "unixtime".
std::optional<int64_t> ReadUpdateTime(const AnswerParts& parts, std::string& error) {
  const Json* time = Member(*parts.current, "time");
  if (time != nullptr && time->is_number_integer()) return time->get<int64_t>();
  const auto wallTime =
      time != nullptr && time->is_string() ? ReadTime(time->get<std::string>()) : std::nullopt;
  if (!wallTime) {
    error = "the current conditions have no readable time";
    return std::nullopt;
  }
  return *wallTime - parts.offset;
}

// Temperature, wind, pressure and the other current values; each one the answer leaves out, or
// gives in a unit that cannot be converted, stays empty. False when not one value is there.
bool ReadCurrentValues(const Json& current, const Json& units, FeedWeather& weather) {
  weather.temperature =
      Fahrenheit(Number(current, "temperature_2m"), UnitOf(units, "temperature_2m"));
  weather.feelsLike =
      Fahrenheit(Number(current, "apparent_temperature"), UnitOf(units, "apparent_temperature"));
  if (auto humidity = Rounded(Plain(Number(current, "relative_humidity_2m"),
                                    UnitOf(units, "relative_humidity_2m"), {"%"}))) {
    weather.humidity = Clamped(*humidity, 0, 100);
  }
  // Sea-level pressure, as barometers show; the pressure at the ground of a high city would read
  // as a deep low.
  if (auto pressure =
          InchesOfMercury(Number(current, "pressure_msl"), UnitOf(units, "pressure_msl"))) {
    weather.pressure = std::round(*pressure * 100) / 100;
  }
  if (auto speed = Rounded(
          MilesPerHour(Number(current, "wind_speed_10m"), UnitOf(units, "wind_speed_10m")))) {
    weather.windSpeed = std::max(*speed, 0);
  }
  if (auto direction = Plain(Number(current, "wind_direction_10m"),
                             UnitOf(units, "wind_direction_10m"), {"°"})) {
    weather.windDirection = CompassLetters(*direction);
  }
  if (auto miles = Rounded(Miles(Number(current, "visibility"), UnitOf(units, "visibility")))) {
    weather.visibility = std::max(*miles, 0);
  }
  if (auto uv = Rounded(Number(current, "uv_index"))) weather.uvIndex = std::max(*uv, 0);
  return weather.temperature || weather.feelsLike || weather.humidity || weather.pressure ||
         weather.windSpeed || !weather.windDirection.empty() || weather.visibility ||
         weather.uvIndex || MappingAt(current, "weather_code") != nullptr;
}

// The icon and text of the current weather code, by day or by night.
void ReadCurrentCondition(const Json& current, FeedWeather& weather) {
  const WeatherCodeMapping* now = MappingAt(current, "weather_code");
  if (now == nullptr) now = &kNoData;
  const bool day = Number(current, "is_day").value_or(1) != 0;
  weather.icon = day ? now->dayIcon : now->nightIcon;
  weather.conditionText = TextOfCode(day ? now->dayCode : now->nightCode);
}

// The day (days since the epoch, of the city's calendar) of each daily row; nothing for a row
// without a readable date. Dates are ISO texts, or with "unixtime" the GMT second of the city's
// midnight.
std::vector<std::optional<int64_t>> ReadRowDays(const AnswerParts& parts) {
  std::vector<std::optional<int64_t>> days;
  const Json* dates = Member(*parts.daily, "time");
  if (dates == nullptr || !dates->is_array()) return days;
  for (const Json& date : *dates) {
    std::optional<int64_t> day;
    if (date.is_number_integer()) {
      day = FloorDiv(date.get<int64_t>() + parts.offset, 86400);
    } else if (date.is_string()) {
      if (const auto read = ReadDate(date.get<std::string>())) day = DaysFromCivil(*read);
    }
    days.push_back(day);
  }
  return days;
}

// The five forecast days from `today` on, each from the row of its date. A day without a row, or
// a value the row leaves out, stays missing; only the date is always there. False when no day
// has a single value.
bool ReadForecastDays(const AnswerParts& parts, int64_t today, FeedWeather& weather) {
  const Json& daily = *parts.daily;
  const Json& units = *parts.dailyUnits;
  const std::vector<std::optional<int64_t>> rowDays = ReadRowDays(parts);
  const Json* codes = Member(daily, "weather_code");
  const Json* highs = Member(daily, "temperature_2m_max");
  const Json* lows = Member(daily, "temperature_2m_min");
  const Json* rain = Member(daily, "precipitation_probability_max");
  const std::string highUnit = UnitOf(units, "temperature_2m_max");
  const std::string lowUnit = UnitOf(units, "temperature_2m_min");
  const std::string rainUnit = UnitOf(units, "precipitation_probability_max");
  bool any = false;
  for (int i = 0; i < kFeedDays; ++i) {
    const int64_t day = today + i;
    FeedDay& feedDay = weather.days[i];
    const CivilDate date = CivilFromDays(day);
    feedDay.year = date.year;
    feedDay.month = date.month;
    feedDay.day = date.day;
    feedDay.weekday = WeekdayOfDays(day);
    const WeatherCodeMapping* mapping = nullptr;
    const auto row = std::find(rowDays.begin(), rowDays.end(), day);
    if (row != rowDays.end()) {
      const auto at = static_cast<size_t>(row - rowDays.begin());
      feedDay.high = Fahrenheit(NumberAt(highs, at), highUnit);
      feedDay.low = Fahrenheit(NumberAt(lows, at), lowUnit);
      if (auto chance = Rounded(Plain(NumberAt(rain, at), rainUnit, {"%"}))) {
        feedDay.rainChance = Clamped(*chance, 0, 100);
      }
      mapping = MappingAt(codes, at);
    }
    any = any || feedDay.high || feedDay.low || feedDay.rainChance || mapping != nullptr;
    if (mapping == nullptr) mapping = &kNoData;
    feedDay.dayIcon = mapping->dayIcon;
    feedDay.dayCode = mapping->dayCode;
    feedDay.nightIcon = mapping->nightIcon;
    feedDay.nightCode = mapping->nightCode;
  }
  return any;
}

}  // namespace

std::optional<FeedWeather> ReadOpenMeteo(std::string_view answer, const Location& location,
                                         std::string& error) {
  const Json root = Json::parse(answer.begin(), answer.end(), nullptr, false);
  AnswerParts parts;
  if (!SplitAnswer(root, parts, error)) return std::nullopt;

  FeedWeather weather;
  SetFeedPlace(location, "", weather);
  const auto utc = ReadUpdateTime(parts, error);
  if (!utc) return std::nullopt;
  weather.updated = static_cast<std::time_t>(*utc);
  weather.lastUpdate = FeedUpdateTime(weather.updated);
  const bool current = ReadCurrentValues(*parts.current, *parts.currentUnits, weather);
  ReadCurrentCondition(*parts.current, weather);

  // The days are the city's own, from its today on: the current block stands for today, the
  // strip's columns start at tomorrow.
  const bool daily = ReadForecastDays(parts, FloorDiv(*utc + parts.offset, 86400), weather);
  if (!current && !daily) {
    error = "the answer has no current or daily values";
    return std::nullopt;
  }
  return weather;
}

}  // namespace cirrodex::service
