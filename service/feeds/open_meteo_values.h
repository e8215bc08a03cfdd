// Reading the values of an Open-Meteo answer, shared by its feed and its hourly document: numbers
// as the feeds take them, the units the answer names, and their conversion into the units the
// feeds carry (Fahrenheit, miles per hour, miles, inches of mercury, millimetres).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace cirrodex::service {

// A finite number at `index` of `array`, or nothing for null, text, a missing row or an array
// that is none. Anything beyond a million is no weather and would not fit the feed's integers.
std::optional<double> NumberAt(const nlohmann::json* array, size_t index);

// The unit the answer names for `name` in a units block: empty when the block does not name one
// (the unit asked for), "?" when it names something that is not a text.
std::string UnitOf(const nlohmann::json& units, const char* name);

// Each converter takes the unit the answer names; an empty unit is the one that was asked for.
// An unknown unit ("undefined", "K", ...) gives nothing rather than a wrong number.
std::optional<double> Fahrenheit(std::optional<double> value, const std::string& unit);
std::optional<double> MilesPerHour(std::optional<double> value, const std::string& unit);
std::optional<double> Miles(std::optional<double> value, const std::string& unit);
std::optional<double> InchesOfMercury(std::optional<double> value, const std::string& unit);
std::optional<double> Millimetres(std::optional<double> value, const std::string& unit);
// A unitless value (percent, degrees, index, code): any unit but these is not what was asked for.
std::optional<double> Plain(std::optional<double> value, const std::string& unit,
                            std::initializer_list<const char*> accepted);

// The feed's condition text of a condition code; empty for none.
std::string TextOfCode(int32_t code);

}  // namespace cirrodex::service
