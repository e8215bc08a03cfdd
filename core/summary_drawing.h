// The weather summary: a strip 220 pixels wide in one of six layouts, the status line under the
// Today item's strip, and the putting of bitmap files on screen.
#pragma once

#include <cstdint>
#include <string>

#include "core/units.h"
#include "core/weather_report.h"
#include "platform/drawing_context.h"
#include "platform/window.h"

namespace cirrodex {

// The text flags of every strip line: single line, word break (0x30).
inline constexpr unsigned kLineFlags = platform::DT_SINGLELINE | platform::DT_WORDBREAK;
// The status line's flags: 0x38, single line on the bottom edge (the word-break bit is ignored on a
// single line).
inline constexpr unsigned kStatusFlags =
    platform::DT_SINGLELINE | platform::DT_WORDBREAK | platform::DT_BOTTOM;

// The Today screen's colours (platform/window.h), which a strip keeps wherever it is drawn.
using platform::kStripBackground;
using platform::kStripText;

// Fills `rect` with kStripBackground and draws `draw` with kStripText, then puts the previous text
// colour back.
template <typename Draw>
void OnStripColours(platform::DrawingContext& dc, const platform::Rect& rect, Draw draw) {
  dc.FillRect(rect, platform::Brush{kStripBackground});
  const platform::Color previous = dc.SetTextColor(kStripText);
  draw();
  dc.SetTextColor(previous);
}

// An icon file's border, cut off on every side when it is drawn.
inline constexpr int kIconBorder = 2;

inline constexpr wchar_t kRadarIconFile[] = L"iconradar.bmp";
inline constexpr wchar_t kSatelliteIconFile[] = L"iconSatellite.bmp";

// 40 for layout 5, 30 for every other value.
int SummaryHeight(int32_t layout);

// Draws the strip of `layout` (any value but 1-5 draws layout 0) in the rectangle, temperatures
// in `unit`, wind speed and pressure in `units`. Icons come from the report's install folder, the
// two maps of layout 4 from `installFolder`. The caller sets the text colour and background mode;
// the font is selected here and the previous one put back. Whether the first forecast day is today
// is judged by the clock of platform::CurrentClock().
void DrawSummary(const WeatherReport& report, platform::DrawingContext& dc, int left, int top,
                 int right, int bottom, int32_t layout, const std::wstring& installFolder,
                 int32_t unit, const MeasureUnits& units = {});

// Whether the last-update line is drawn below the strip.
enum class StatusLine { Hidden, Shown };

// Where a strip lies from the origin of what holds it (the Today item, a Compare row, the Setup
// page's preview): 10 to 230 pixels across, SummaryHeight(layout) down; the status line takes
// the 8 pixels below it.
platform::Rect StripRect(int32_t layout, int x = 0, int y = 0);
platform::Rect StatusLineRect(int32_t layout, int x = 0, int y = 0);

// DrawSummary in StripRect(layout, x, y) with the report's own install folder and, when `status`
// is Shown, DrawStatusLine for `statusResult` in StatusLineRect.
void DrawStrip(const WeatherReport& report, platform::DrawingContext& dc, int32_t layout,
               int32_t unit, const MeasureUnits& units, StatusLine status = StatusLine::Hidden,
               int64_t statusResult = -1, int x = 0, int y = 0);

// One forecast day in a column: its icon at the cell's right, and over it the short weekday name,
// the high and the low temperature, and with the small font's line step (7) the rain chance.
void DrawDayCell(const WeatherReport& report, platform::DrawingContext& dc, int cellLeft, int top,
                 int cellRight, int bottom, const ForecastDay& day, int step, int32_t unit);

// The current block of layouts 1, 2, 3 and 5.
void DrawCurrentCell(const WeatherReport& report, platform::DrawingContext& dc, int blockLeft,
                     int top, int blockRight, int bottom, int32_t layout, int step, int32_t unit,
                     const MeasureUnits& units = {});

// The last-update line in the small font. `result` -1 stands for the report's downloadResult.
void DrawStatusLine(const WeatherReport& report, platform::DrawingContext& dc, int left, int top,
                    int right, int bottom, int64_t result);

// Load the bitmap file at the handheld path and copy it to (x, y): an icon without its 2-pixel
// border, a map whole. False, drawing nothing, when the file cannot be loaded.
bool DrawIconBitmap(const std::wstring& path, platform::DrawingContext& dc, int x, int y);
bool DrawMapBitmap(const std::wstring& path, platform::DrawingContext& dc, int x, int y);

}  // namespace cirrodex
