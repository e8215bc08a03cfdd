// The setup program's detail drawings: the current conditions with three graphs of the update
// history, the five forecast rows, and the history graph itself.
#pragma once

#include <cstdint>
#include <string>

#include "core/units.h"
#include "core/weather_cache.h"
#include "core/weather_report.h"
#include "platform/clock.h"
#include "platform/drawing_context.h"

namespace cirrodex {

// What a history graph plots.
enum class HistoryKind : int32_t {
  Temperature = 0,  // Celsius
  Pressure = 1,     // millibars
  WindSpeed = 2,    // miles per hour
  RainChance = 3,   // percent
};

// Milliseconds from `from` to `to`, truncated to 32 bits; 0 unless `to` is later. Wraps after
// about 49.7 days, as the platform's tick arithmetic does.
uint32_t ElapsedMilliseconds(platform::FileTime from, platform::FileTime to);

// The five forecast days as rows of (bottom - top) / 5 pixels, each with its full weekday name,
// day and night icons, condition texts, temperatures in `unit`, rain chance and raw numbers, and
// "Last updated: %s" along the bottom. Icons come from `installFolder`.
void DrawForecastDetails(const WeatherReport& report, platform::DrawingContext& dc, int left,
                         int top, int right, int bottom, const std::wstring& installFolder,
                         int32_t unit);

// Every current value in lines 15 pixels apart from top + 5, with graphs of the selected city's
// last 256 updates (read from the registry on every call). Uses left, top and right only. Wind,
// pressure and visibility are in `units`; a missing wind speed, humidity or visibility leaves its
// line out.
void DrawCurrentDetails(WeatherReport& report, platform::DrawingContext& dc, int left, int top,
                        int right, int bottom, const std::wstring& installFolder, int32_t unit,
                        const MeasureUnits& units = {});

// The graph in words for a screen reader: "Temperature history of 12 updates: 2ºC to 7ºC, latest
// 4ºC, rising" (temperatures in `unit`, wind and pressure in `units`), or "... history: no
// updates".
std::wstring HistorySummary(int count, const HistoryRecord* records, HistoryKind kind, int32_t unit,
                            const MeasureUnits& units = {});

// A framed graph of `count` records (those with slot -1 are skipped), oldest at the left, one
// small square dot per record, in the text colour. Only the frame when the records span no time or
// no range of values.
void DrawHistoryGraph(platform::DrawingContext& dc, int left, int top, int right, int bottom,
                      int count, const HistoryRecord* records, HistoryKind kind);

}  // namespace cirrodex
