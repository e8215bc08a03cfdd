// The weather of one city (current conditions, five forecast days, place names, the feed text it
// was parsed from) and the feed parser that fills it.
#pragma once

#include <cstdint>
#include <string>

#include "core/temperature.h"
#include "core/text_field.h"
#include "platform/device.h"
#include "platform/drawing_context.h"

namespace cirrodex {

// One block of weather values: block 0 the current conditions, blocks 1-5 the forecast days.
struct ForecastDay {
  int32_t weekday = 0;        // 1 = Sunday .. 7 = Saturday
  wchar_t dateText[34] = {};  // forecast: dd/mm/yyyy; block 0: the last-update text
  TemperatureValue highTemperature;
  TemperatureValue lowTemperature;
  TemperatureValue temperature;  // block 0: now
  TemperatureValue feelsLike;    // block 0
  int32_t dayTextCode = 0;
  int32_t nightTextCode = 0;
  int32_t rainChance = 0;  // percent
  int32_t dayIcon = 0;
  int32_t nightIcon = 0;
  int32_t windSpeed = -9999;  // miles per hour
  wchar_t windDirection[32] = {};
  int32_t visibility = 0;     // miles
  double pressure = -9999.9;  // inches of mercury
  int32_t uvIndex = -9999;
  int32_t humidity = -9999;  // percent

  // The parser's reset: every field but the four temperatures goes back to its missing value.
  void Reset();
};

// The three "Tahoma" fonts every report owns: 9, 11 and 13 pixels, weight 400, ClearType.
struct SummaryFonts {
  platform::FontSpec small{L"Tahoma", 9, 400, 5};
  platform::FontSpec medium{L"Tahoma", 11, 400, 5};
  platform::FontSpec large{L"Tahoma", 13, 400, 5};
};

// Room for the feed text with its terminator. A stored text of this size still reads back through
// ReadString (2048 bytes), which is why a longer feed is cut to fit (see ParseFeed).
inline constexpr size_t kFeedTextCapacity = 1024;

using platform::kDefaultInstallFolder;

class WeatherReport {
 public:
  // Reads "InstallPath" from the settings key (default kDefaultInstallFolder).
  WeatherReport();

  ForecastDay blocks[6];
  wchar_t city[32] = {};
  wchar_t subDivision[32] = {};
  wchar_t region[32] = {};
  wchar_t country[32] = {};
  wchar_t lastUpdated[32] = {};
  wchar_t conditionText[32] = {};
  // The last feed text parsed, as kept by ParseFeed: at most kFeedTextCapacity - 1 characters
  // (UTF-16 units), terminated.
  wchar_t feedText[kFeedTextCapacity] = {};
  uint32_t downloadResult = 0;  // 0: not tried in this run
  std::wstring installFolder;
  SummaryFonts fonts;
};

// Parses `text` (null reads as empty) into `report`. A feed longer than kFeedTextCapacity - 1
// UTF-16 units is cut to that length before anything else: only that part is compared, kept in
// `feedText`, stored by the cache and parsed, so a report primed from the stored text is the
// report the download gave, and the same long feed fetched again counts as unchanged. When the
// (cut) text equals `feedText`, `changed` becomes false and nothing else happens; otherwise the
// report is refilled and `changed` becomes true.
void ParseFeed(WeatherReport& report, const wchar_t* text, bool& changed);

// True when `text` (null reads as empty) holds weather: some statement gives "swTemp" or
// "swLastUp" a quoted value that ParseFeed would take. An error page, an empty answer or a text
// with only place names holds none.
bool HoldsWeather(const wchar_t* text);

const std::wstring& InstallFolder(const WeatherReport& report);

// Block 0's wind direction as a compass point 0-15 clockwise from north, or -1.
int32_t WindCompassPoint(const WeatherReport& report);

}  // namespace cirrodex
