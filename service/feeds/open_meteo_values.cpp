#include "service/feeds/open_meteo_values.h"

#include <cmath>

#include "core/condition_texts.h"

namespace cirrodex::service {

namespace {

constexpr double kInchesOfMercuryPerHectopascal = 0.0295299830714;
constexpr double kMetresPerMile = 1609.344;
constexpr double kKilometresPerMile = 1.609344;
constexpr double kMillimetresPerInch = 25.4;

}  // namespace

std::optional<double> NumberAt(const nlohmann::json* array, size_t index) {
  if (array == nullptr || !array->is_array() || index >= array->size()) return std::nullopt;
  const nlohmann::json& value = (*array)[index];
  if (!value.is_number()) return std::nullopt;
  const double number = value.get<double>();
  if (!std::isfinite(number) || std::fabs(number) > 1e6) return std::nullopt;
  return number;
}

std::string UnitOf(const nlohmann::json& units, const char* name) {
  if (!units.is_object()) return "";
  const auto found = units.find(name);
  if (found == units.end()) return "";
  return found->is_string() ? found->get<std::string>() : "?";
}

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

std::optional<double> Millimetres(std::optional<double> value, const std::string& unit) {
  if (!value) return std::nullopt;
  if (unit.empty() || unit == "mm") return value;
  if (unit == "inch") return *value * kMillimetresPerInch;
  return std::nullopt;
}

std::optional<double> Plain(std::optional<double> value, const std::string& unit,
                            std::initializer_list<const char*> accepted) {
  if (!value) return std::nullopt;
  if (unit.empty()) return value;
  for (const char* known : accepted) {
    if (unit == known) return value;
  }
  return std::nullopt;
}

std::string TextOfCode(int32_t code) {
  if (code <= 0) return "";
  const std::wstring wide = ConditionText(code);
  return std::string(wide.begin(), wide.end());  // the table is plain ASCII
}

}  // namespace cirrodex::service
