#include "service/open_meteo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

#include "core/condition_texts.h"
#include "service/weather_codes.h"

namespace cirrodex::service {

namespace {

using Json = nlohmann::json;

constexpr double kInchesOfMercuryPerHectopascal = 0.0295299830714;
constexpr double kMetresPerMile = 1609.344;
constexpr double kKilometresPerMile = 1.609344;
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

std::optional<double> NumberAt(const Json* array, size_t index) {
  if (array == nullptr || !array->is_array() || index >= array->size()) return std::nullopt;
  const Json& value = (*array)[index];
  if (!value.is_number()) return std::nullopt;
  const double number = value.get<double>();
  if (!std::isfinite(number) || std::fabs(number) > 1e6) return std::nullopt;
  return number;
}

std::string Text(const Json& object, const char* name) {
  const Json* value = Member(object, name);
  return value != nullptr && value->is_string() ? value->get<std::string>() : std::string();
}

// Each converter takes the unit the answer names; an empty unit is the one that was asked for.
// An unknown unit gives nothing rather than a wrong number.
std::optional<double> Fahrenheit(std::optional<double> value, const std::string& unit) {
  if (!value) return std::nullopt;
  if (unit.empty() || unit == "°F") return value;
  if (unit == "°C") return *value * 9 / 5 + 32;
  return std::nullopt;
}

std::optional<double> MilesPerHour(std::optional<double> value, const std::string& unit) {
  if (!value) return std::nullopt;
  if (unit.empty() || unit == "mp/h" || unit == "mph") return value;
  if (unit == "km/h") return *value / kKilometresPerMile;
  if (unit == "m/s") return *value * 3600 / kMetresPerMile;
  if (unit == "kn") return *value * 1.852 / kKilometresPerMile;
  return std::nullopt;
}

std::optional<double> Miles(std::optional<double> value, const std::string& unit) {
  if (!value) return std::nullopt;
  if (unit.empty() || unit == "m") return *value / kMetresPerMile;
  if (unit == "ft") return *value / 5280;
  if (unit == "km") return *value / kKilometresPerMile;
  if (unit == "mi") return value;
  return std::nullopt;
}

std::optional<double> InchesOfMercury(std::optional<double> value, const std::string& unit) {
  if (!value) return std::nullopt;
  if (unit.empty() || unit == "hPa") return *value * kInchesOfMercuryPerHectopascal;
  return std::nullopt;
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

std::string TextOfCode(int32_t code) {
  if (code <= 0) return "";
  const std::wstring wide = ConditionText(code);
  return std::string(wide.begin(), wide.end());  // the table is plain ASCII
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
         "&daily=weather_code,temperature_2m_max,temperature_2m_min,precipitation_probability_max"
         "&temperature_unit=fahrenheit&wind_speed_unit=mph&timezone=GMT&forecast_days=6";
}

namespace {

// The parts of an answer that the feed is made from; the units default to those asked for.
struct AnswerParts {
  const Json* current = nullptr;
  const Json* daily = nullptr;
  const Json* currentUnits = nullptr;
  const Json* dailyUnits = nullptr;
};

const Json& EmptyObject() {
  static const Json empty = Json::object();
  return empty;
}

// The current conditions and daily rows of a forecast answer, or false with the reason.
bool SplitAnswer(const Json& root, AnswerParts& parts, std::string& error) {
  if (root.is_discarded() || !root.is_object()) {
    error = "the answer is not a JSON object";
    return false;
  }
  if (const Json* refused = Member(root, "error"); refused && refused->is_boolean() && *refused) {
    error = "the API refused the request: " + Text(root, "reason");
    return false;
  }
  parts.current = Member(root, "current");
  parts.daily = Member(root, "daily");
  if (parts.current == nullptr || !parts.current->is_object() || parts.daily == nullptr ||
      !parts.daily->is_object()) {
    error = "the answer has no current conditions or no daily rows";
    return false;
  }
  const Json* currentUnits = Member(root, "current_units");
  const Json* dailyUnits = Member(root, "daily_units");
  parts.currentUnits = currentUnits ? currentUnits : &EmptyObject();
  parts.dailyUnits = dailyUnits ? dailyUnits : &EmptyObject();
  return true;
}

// The time of the current conditions in seconds since the epoch, GMT. Times are asked for in GMT;
// an offset the answer names anyway is taken off.
std::optional<int64_t> ReadUpdateTime(const Json& root, const Json& current, std::string& error) {
  const auto wallTime = ReadTime(Text(current, "time"));
  if (!wallTime) {
    error = "the current conditions have no readable time";
    return std::nullopt;
  }
  return *wallTime - static_cast<int64_t>(Number(root, "utc_offset_seconds").value_or(0));
}

// Temperature, wind, pressure and the other current values; false without a temperature.
bool ReadCurrentValues(const Json& current, const Json& units, FeedWeather& weather,
                       std::string& error) {
  const auto temperature =
      Fahrenheit(Number(current, "temperature_2m"), Text(units, "temperature_2m"));
  if (!temperature) {
    error = "the current conditions have no temperature";
    return false;
  }
  weather.temperature = *Rounded(temperature);
  weather.feelsLike = *Rounded(
      Fahrenheit(Number(current, "apparent_temperature"), Text(units, "apparent_temperature"))
          .value_or(*temperature));
  if (auto humidity = Rounded(Number(current, "relative_humidity_2m"))) {
    weather.humidity = Clamped(*humidity, 0, 100);
  }
  // Sea-level pressure, as barometers show; the pressure at the ground of a high city would read
  // as a deep low.
  if (auto pressure =
          InchesOfMercury(Number(current, "pressure_msl"), Text(units, "pressure_msl"))) {
    weather.pressure = std::round(*pressure * 100) / 100;
  }
  if (auto speed =
          Rounded(MilesPerHour(Number(current, "wind_speed_10m"), Text(units, "wind_speed_10m")))) {
    weather.windSpeed = std::max(*speed, 0);
  }
  if (auto direction = Number(current, "wind_direction_10m")) {
    weather.windDirection = CompassLetters(*direction);
  }
  if (auto miles = Rounded(Miles(Number(current, "visibility"), Text(units, "visibility")))) {
    weather.visibility = std::max(*miles, 0);
  }
  if (auto uv = Rounded(Number(current, "uv_index"))) weather.uvIndex = std::max(*uv, 0);
  return true;
}

// The icon and text of the current weather code, by day or by night.
void ReadCurrentCondition(const Json& current, FeedWeather& weather) {
  const WeatherCodeMapping* now = MappingAt(current, "weather_code");
  if (now == nullptr) now = &kNoData;
  const bool day = Number(current, "is_day").value_or(1) != 0;
  weather.icon = day ? now->dayIcon : now->nightIcon;
  weather.conditionText = TextOfCode(day ? now->dayCode : now->nightCode);
}

// The dates of the daily rows; nothing when a row has no readable date.
std::optional<std::vector<CivilDate>> ReadRowDates(const Json& daily, std::string& error) {
  const Json* dates = Member(daily, "time");
  if (dates == nullptr || !dates->is_array()) {
    error = "the daily rows have no dates";
    return std::nullopt;
  }
  std::vector<CivilDate> rowDates;
  for (const Json& date : *dates) {
    const auto read = date.is_string() ? ReadDate(date.get<std::string>()) : std::nullopt;
    if (!read) {
      error = "a daily row has no readable date";
      return std::nullopt;
    }
    rowDates.push_back(*read);
  }
  return rowDates;
}

// The row of `today` (days since the epoch) or the first after it, when five rows start there.
std::optional<size_t> FirstForecastRow(const std::vector<CivilDate>& rowDates, int64_t today,
                                       std::string& error) {
  size_t first = 0;
  while (first < rowDates.size() && DaysFromCivil(rowDates[first]) < today) ++first;
  if (first + kFeedDays > rowDates.size()) {
    error = "the answer has fewer than five days from today on";
    return std::nullopt;
  }
  return first;
}

// The five forecast days from row `first`; false when a day has no temperatures.
bool ReadForecastDays(const Json& daily, const Json& units, const std::vector<CivilDate>& rowDates,
                      size_t first, FeedWeather& weather, std::string& error) {
  const Json* codes = Member(daily, "weather_code");
  const Json* highs = Member(daily, "temperature_2m_max");
  const Json* lows = Member(daily, "temperature_2m_min");
  const Json* rain = Member(daily, "precipitation_probability_max");
  for (int i = 0; i < kFeedDays; ++i) {
    const size_t row = first + static_cast<size_t>(i);
    FeedDay& feedDay = weather.days[i];
    const CivilDate& date = rowDates[row];
    feedDay.year = date.year;
    feedDay.month = date.month;
    feedDay.day = date.day;
    feedDay.weekday = WeekdayOfDays(DaysFromCivil(date));
    const auto high = Fahrenheit(NumberAt(highs, row), Text(units, "temperature_2m_max"));
    const auto low = Fahrenheit(NumberAt(lows, row), Text(units, "temperature_2m_min"));
    // A temperature left out of the feed would keep the one of an earlier feed in the report.
    if (!high || !low) {
      error = "the daily row of " + (*Member(daily, "time"))[row].get<std::string>() +
              " has no temperatures";
      return false;
    }
    feedDay.high = *Rounded(high);
    feedDay.low = *Rounded(low);
    feedDay.rainChance = Clamped(Rounded(NumberAt(rain, row)).value_or(0), 0, 100);
    const WeatherCodeMapping* mapping = MappingAt(codes, row);
    if (mapping == nullptr) mapping = &kNoData;
    feedDay.dayIcon = mapping->dayIcon;
    feedDay.dayCode = mapping->dayCode;
    feedDay.nightIcon = mapping->nightIcon;
    feedDay.nightCode = mapping->nightCode;
  }
  return true;
}

}  // namespace

std::optional<FeedWeather> ReadOpenMeteo(std::string_view answer, const Location& location,
                                         std::string& error) {
  const Json root = Json::parse(answer.begin(), answer.end(), nullptr, false);
  AnswerParts parts;
  if (!SplitAnswer(root, parts, error)) return std::nullopt;

  FeedWeather weather;
  SetFeedPlace(location, "", weather);
  const auto utc = ReadUpdateTime(root, *parts.current, error);
  if (!utc) return std::nullopt;
  weather.lastUpdate = FeedUpdateTime(static_cast<std::time_t>(*utc));
  if (!ReadCurrentValues(*parts.current, *parts.currentUnits, weather, error)) return std::nullopt;
  ReadCurrentCondition(*parts.current, weather);

  // The parser takes the first forecast day for today when its date is the GMT date of the
  // update time, so the days start there.
  const auto rowDates = ReadRowDates(*parts.daily, error);
  if (!rowDates) return std::nullopt;
  const auto first = FirstForecastRow(*rowDates, FloorDiv(*utc, 86400), error);
  if (!first) return std::nullopt;
  if (!ReadForecastDays(*parts.daily, *parts.dailyUnits, *rowDates, *first, weather, error)) {
    return std::nullopt;
  }
  return weather;
}

}  // namespace cirrodex::service
