// The weather cache (each city's last feed text and download result) and the update history (a
// ring of 256 records per city), both in the city's key of the registry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/temperature.h"
#include "core/weather_report.h"
#include "platform/clock.h"

namespace cirrodex {

inline constexpr int kHistorySlots = 256;

// One history record read back. `slot` stays -1 unless the record was read completely.
struct HistoryRecord {
  int32_t slot = -1;
  uint32_t pressure = 0;                 // millibars ("B")
  uint32_t windSpeed = 0;                // miles per hour ("WS")
  uint32_t windPoint = 0;                // compass point ("WD")
  TemperatureValue temperature;          // Celsius ("T")
  uint32_t rainChance = 0;               // percent ("R")
  std::optional<std::wstring> timeText;  // "Tm"
  platform::SystemTime time;             // "Tm" as day/month/year time; dayOfWeek stays 0
};

// Reads the city's "WeatherPreviousData" into `text` (`code` null: the selected city). False,
// touching neither `text` nor `result`, when it is missing; otherwise reads "DownloadResult" into
// `result` (unchanged when missing) and returns true. Does not parse.
bool LoadStoredFeed(WeatherReport& report, const wchar_t* code, std::wstring& text,
                    uint32_t& result);

// Reads the city's "DownloadResult" into `result` (`code` null: the selected city), also where no
// feed is stored yet because no download brought weather. False, `result` untouched, when missing.
bool LoadStoredResult(const wchar_t* code, uint32_t& result);

// Stores the report's feed text as "WeatherPreviousData" and adds a history record in the next
// slot of the ring. Always true.
bool RecordHistory(WeatherReport& report, const wchar_t* code);

// What a download whose parse found a changed feed does: in one store transaction, compares the
// report's feed text with the stored one and, only when they differ, records it as RecordHistory
// does. True when a record was added. Two runs that fetched the same new feed add one record.
bool RecordHistoryIfChanged(WeatherReport& report, const wchar_t* code);

// Reads slot `slot` of the selected city's history into `record`.
bool ReadHistoryRecord(WeatherReport& report, int32_t slot, HistoryRecord& record);

// Reads slots 0 .. count-1 into `records` (an array of at least `count`), all in one read of the
// store. Always true.
bool ReadHistory(WeatherReport& report, int32_t count, HistoryRecord* records);

}  // namespace cirrodex
