// The weather drawings as a screen reader says them. The texts come from a recording of the
// drawing itself, so what is read never drifts from what is shown; only the way a line is read
// changes ("4ºC (7ºC/0ºC)" is read "4 °C, today 7 °C / 0 °C").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/summary_drawing.h"
#include "core/units.h"
#include "core/weather_report.h"
#include "platform/recording_context.h"

namespace cirrodex {

// One drawn line as it reads best: the ordinal sign of the temperatures as a degree sign apart
// from the number, "12mph" as "wind 12 mph", "1013mBar" as "pressure 1013 mBar" (the other
// units alike; "5Bft" as "wind force 5"), "10%rain",
// "10% rain" and a lone "10%" as "rain 10 %", a trailing "(7ºC/0ºC)" as ", today 7 °C / 0 °C".
std::wstring SpokenLine(std::wstring_view drawn);

// Drawn lines read one after another: each spoken, as sentences.
std::wstring SpokenLines(const std::vector<std::wstring>& lines);

// The recorded texts of one strip (DrawSummary, then perhaps DrawStatusLine) read cell by cell,
// one sentence each. A day cell reads "Tuesday 10 °C / 1 °C, rain 0 %"; a current cell that
// starts with `city` reads "London: Partly Cloudy, ...".
std::wstring SpokenStrip(const std::vector<platform::RecordingContext::Call>& calls,
                         std::wstring_view city);

// Draws the strip of `layout` in `unit` on a recording that reads no files, with the status line
// for `statusResult` (as DrawStatusLine takes it) when `status` is Shown, and reads it.
std::wstring SummaryText(const WeatherReport& report, int32_t layout, int32_t unit,
                         StatusLine status = StatusLine::Hidden, int64_t statusResult = -1);
// The same with wind speed and pressure in `units`.
std::wstring SummaryText(const WeatherReport& report, int32_t layout, int32_t unit,
                         const MeasureUnits& units, StatusLine status = StatusLine::Hidden,
                         int64_t statusResult = -1);

}  // namespace cirrodex
