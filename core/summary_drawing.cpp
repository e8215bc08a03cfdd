#include "core/summary_drawing.h"

#include <vector>

#include "core/condition_texts.h"
#include "core/download_result.h"
#include "core/format.h"
#include "core/temperature.h"
#include "core/units.h"
#include "platform/clock.h"

namespace cirrodex {

using platform::DrawingContext;
using platform::FontSpec;
using platform::Rect;

namespace {

constexpr int kForecastDays = 5;
constexpr int kSmallStep = 7;
constexpr int kMediumStep = 10;
constexpr int kLargeStep = 12;

int NormalisedLayout(int32_t layout) { return layout >= 1 && layout <= 5 ? layout : 0; }

const FontSpec& LayoutFont(const WeatherReport& report, int layout) {
  if (layout == 3) return report.fonts.medium;
  if (layout == 5) return report.fonts.large;
  return report.fonts.small;
}

int LineStep(int layout) {
  if (layout == 3) return kMediumStep;
  if (layout == 5) return kLargeStep;
  return kSmallStep;
}

// Draws each line in `rect`, moving its top down by `step` after each.
void DrawLines(DrawingContext& dc, Rect rect, const std::vector<std::wstring>& lines, int step) {
  for (const std::wstring& line : lines) {
    dc.DrawText(line, rect, kLineFlags);
    rect.top += step;
  }
}

std::wstring TemperatureLine(const WeatherReport& report, int32_t unit) {
  const ForecastDay& now = report.blocks[0];
  const std::wstring current = FormatTemperature(now.temperature, unit, 0);
  if (now.highTemperature.valid && now.lowTemperature.valid) {
    return WFormat(L"%ls (%ls/%ls)", current.c_str(),
                   FormatTemperature(now.highTemperature, unit, 0).c_str(),
                   FormatTemperature(now.lowTemperature, unit, 0).c_str());
  }
  return current;
}

// City name, condition text, temperature line and "wind direction rain": layouts 2 and 4.
std::vector<std::wstring> NamedCurrentLines(const WeatherReport& report, int32_t unit,
                                            const MeasureUnits& units) {
  const ForecastDay& now = report.blocks[0];
  return {report.city, report.conditionText, TemperatureLine(report, unit),
          WFormat(L"%ls %ls %d%%rain", FormatWindSpeed(report, units.wind).c_str(),
                  now.windDirection, now.rainChance)};
}

bool DrawBitmapFile(const std::wstring& path, DrawingContext& dc, int x, int y, int border) {
  std::unique_ptr<platform::DibBitmap> bitmap = dc.LoadBitmap(path);
  if (!bitmap) return false;
  // Bitmaps of 8 bits or fewer bring their 256-entry colour table as the palette.
  if (bitmap->header.planes * bitmap->header.bitCount <= 8) dc.SelectPalette(bitmap->colors);
  const int width = bitmap->Width() - 2 * border;
  const int height = bitmap->Height() - 2 * border;
  if (width > 0 && height > 0) dc.BitBlt(x, y, width, height, *bitmap, border, border);
  return true;
}

// Layout 4's current block: the two map icons, the current icon and the layout 2 lines.
void DrawMapsBlock(const WeatherReport& report, DrawingContext& dc, int left, int top,
                   int blockRight, int bottom, const std::wstring& installFolder, int step,
                   int32_t unit, const MeasureUnits& units) {
  DrawMapBitmap(installFolder + L"\\" + kRadarIconFile, dc, left, top);
  DrawMapBitmap(installFolder + L"\\" + kSatelliteIconFile, dc, left + 31, top);
  DrawIconBitmap(IconPath(report.installFolder, report.blocks[0].dayIcon), dc, blockRight - 26,
                 top);
  DrawLines(dc, Rect{left + 62, top, blockRight, bottom}, NamedCurrentLines(report, unit, units),
            step);
}

}  // namespace

int SummaryHeight(int32_t layout) { return layout == 5 ? 40 : 30; }

platform::Rect StripRect(int32_t layout, int x, int y) {
  return {x + 10, y, x + 230, y + SummaryHeight(layout)};
}

platform::Rect StatusLineRect(int32_t layout, int x, int y) {
  const platform::Rect strip = StripRect(layout, x, y);
  return {strip.left, strip.bottom, strip.right, strip.bottom + 8};
}

void DrawStrip(const WeatherReport& report, DrawingContext& dc, int32_t layout, int32_t unit,
               const MeasureUnits& units, StatusLine status, int64_t statusResult, int x, int y) {
  const platform::Rect strip = StripRect(layout, x, y);
  DrawSummary(report, dc, strip.left, strip.top, strip.right, strip.bottom, layout,
              InstallFolder(report), unit, units);
  if (status == StatusLine::Shown) {
    const platform::Rect line = StatusLineRect(layout, x, y);
    DrawStatusLine(report, dc, line.left, line.top, line.right, line.bottom, statusResult);
  }
}

void DrawSummary(const WeatherReport& report, DrawingContext& dc, int left, int top, int right,
                 int bottom, int32_t requestedLayout, const std::wstring& installFolder,
                 int32_t unit, const MeasureUnits& units) {
  const int layout = NormalisedLayout(requestedLayout);
  const int w = static_cast<int>((right - left) * (layout == 5 ? 0.25 : 0.2));
  const int step = LineStep(layout);
  const FontSpec* previous = dc.SelectFont(&LayoutFont(report, layout));

  if (layout == 0) {
    for (int i = 0; i < kForecastDays; ++i) {
      DrawDayCell(report, dc, left + i * w, top, left + (i + 1) * w, bottom, report.blocks[i + 1],
                  step, unit);
    }
  } else {
    const int currentColumns = layout == 4 ? 3 : 2;
    const int lastColumn = layout == 4 || layout == 5 ? 2 : 3;
    int used = 0;
    int cursor = 0;
    for (int i = 0; i <= lastColumn && used < kForecastDays; ++i) {
      if (i == 0) {
        if (layout == 4) {
          DrawMapsBlock(report, dc, left, top, left + currentColumns * w, bottom, installFolder,
                        step, unit, units);
        } else {
          DrawCurrentCell(report, dc, left, top, left + currentColumns * w, bottom, layout, step,
                          unit, units);
        }
        continue;
      }
      const int cellLeft = left + (i + currentColumns - 1) * w;
      // Today's forecast is already in the current block; weekday 1 is Sunday, dayOfWeek 0.
      const platform::SystemTime now = platform::CurrentClock().LocalTime();
      if (report.blocks[cursor + 1].weekday - 1 == static_cast<int32_t>(now.dayOfWeek)) {
        ++cursor;
        ++used;
        // A feed whose every day carries today's weekday would otherwise walk past day 5.
        if (used >= kForecastDays) break;
      }
      DrawDayCell(report, dc, cellLeft, top, cellLeft + w, bottom, report.blocks[cursor + 1], step,
                  unit);
      ++cursor;
      ++used;
    }
  }
  dc.SelectFont(previous);
}

void DrawDayCell(const WeatherReport& report, DrawingContext& dc, int cellLeft, int top,
                 int cellRight, int bottom, const ForecastDay& day, int step, int32_t unit) {
  DrawIconBitmap(IconPath(report.installFolder, day.dayIcon), dc, cellRight - 27, top);
  std::vector<std::wstring> lines = {WeekdayName(day.weekday, WeekdayForm::Short),
                                     FormatTemperature(day.highTemperature, unit, 0),
                                     FormatTemperature(day.lowTemperature, unit, 0)};
  if (step == kSmallStep) lines.push_back(WFormat(L"%d%%", day.rainChance));
  DrawLines(dc, Rect{cellLeft + 1, top, cellRight - 1, bottom}, lines, step);
}

void DrawCurrentCell(const WeatherReport& report, DrawingContext& dc, int blockLeft, int top,
                     int blockRight, int bottom, int32_t layout, int step, int32_t unit,
                     const MeasureUnits& units) {
  const ForecastDay& now = report.blocks[0];
  DrawIconBitmap(IconPath(report.installFolder, now.dayIcon), dc, blockRight - 27, top);
  std::vector<std::wstring> lines;
  if (layout == 1) {
    const std::wstring rain =
        PressureIsPlausible(report)
            ? WFormat(L"%ls %d%%rain", FormatPressure(report, units.pressure).c_str(),
                      now.rainChance)
            : WFormat(L"%d%%rain", now.rainChance);
    lines = {report.conditionText, TemperatureLine(report, unit),
             WFormat(L"%ls %ls", FormatWindSpeed(report, units.wind).c_str(), now.windDirection),
             rain};
  } else if (layout == 2 || layout == 4) {
    lines = NamedCurrentLines(report, unit, units);
  } else {
    lines = {report.city, report.conditionText, TemperatureLine(report, unit)};
  }
  DrawLines(dc, Rect{blockLeft + 1, top, blockRight, bottom}, lines, step);
}

void DrawStatusLine(const WeatherReport& report, DrawingContext& dc, int left, int top, int right,
                    int bottom, int64_t result) {
  const FontSpec* previous = dc.SelectFont(&report.fonts.small);
  if (result == -1) result = report.downloadResult;
  std::wstring text;
  switch (result) {
    case kResultOk:
      text = WFormat(L"Last updated: %ls", report.lastUpdated);
      break;
    case kResultNameNotResolved:
      text = WFormat(L"Last updated: %ls - No Internet Connection", report.lastUpdated);
      break;
    case kResultCannotConnect:
      text = WFormat(L"Last updated: %ls - Please check internet access", report.lastUpdated);
      break;
    case kResultNoWeather:
      text = WFormat(L"Last updated: %ls - No weather in the answer", report.lastUpdated);
      break;
    default:
      text = WFormat(L"Last updated: %ls - No Internet Connection (%ld)", report.lastUpdated,
                     static_cast<long>(result));
      break;
  }
  dc.DrawText(text, Rect{left, top, right, bottom}, kStatusFlags);
  dc.SelectFont(previous);
}

bool DrawIconBitmap(const std::wstring& path, DrawingContext& dc, int x, int y) {
  return DrawBitmapFile(path, dc, x, y, kIconBorder);
}

bool DrawMapBitmap(const std::wstring& path, DrawingContext& dc, int x, int y) {
  return DrawBitmapFile(path, dc, x, y, 0);
}

}  // namespace cirrodex
