// The Hourly page's drawing: the next 48 hours as two graphs of 24 hours, with the city, the age
// of the data, today's sunrise and sunset and the nowcast's line above them.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "core/hourly_forecast.h"
#include "platform/drawing_context.h"

namespace cirrodex {

// Fill colours of the graphs, so that a reader of a recording can tell them apart.
inline constexpr platform::Color kNightShade = platform::Rgb(214, 218, 232);
inline constexpr platform::Color kRainChanceFill = platform::Rgb(168, 204, 250);
inline constexpr platform::Color kPrecipitationFill = platform::Rgb(24, 80, 200);
inline constexpr platform::Color kTemperatureLine = platform::Rgb(205, 40, 30);
inline constexpr platform::Color kNowMark = platform::Rgb(240, 140, 0);

// What the nowcast says from `now` on, for the page and its description: "Rain from about
// 14:20", "Rain now", "No rain in the next two hours" (or "No rain until 15:30" when part of the
// nowcast has passed); empty when it says nothing for `now`.
std::wstring NowcastLine(const HourlyNowcast& nowcast, std::time_t now);

// Draws the page into `area` at `now`, temperatures in `unit`, icons from `installFolder`, texts
// in `font` (not owned; selected here and the previous one put back). Without a forecast only
// "No hourly forecast yet for CITY". Graph rows hold 24 hours each, hour 0 at the left edge;
// night is shaded from each sunset to the next sunrise. While the context wants notes, every
// third hour is described in words.
void DrawHourlyForecast(const HourlyForecast* forecast, const std::wstring& city,
                        platform::DrawingContext& dc, const platform::Rect& area, std::time_t now,
                        const std::wstring& installFolder, int32_t unit,
                        const platform::FontSpec& font);

}  // namespace cirrodex
