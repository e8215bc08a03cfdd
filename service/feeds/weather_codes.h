// The weather codes of the forecast API (WMO codes as Open-Meteo documents them) as the feed's
// condition codes and icon numbers, for the day half and the night half apart.
#pragma once

#include <cstdint>
#include <span>

namespace cirrodex::service {

struct WeatherCodeMapping {
  int wmoCode;
  int32_t dayCode;    // condition text code of the day half
  int32_t dayIcon;    // an icon drawn for the day
  int32_t nightCode;  // condition text code of the night half
  int32_t nightIcon;  // an icon drawn for the night (moon or none)
};

// Every code the API documents, in ascending order.
std::span<const WeatherCodeMapping> DocumentedWeatherCodes();

// The mapping of `wmoCode`, or null for a code the API does not document.
const WeatherCodeMapping* FindWeatherCode(int wmoCode);

}  // namespace cirrodex::service
