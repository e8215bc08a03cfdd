#include "core/detail_drawing.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "core/condition_texts.h"
#include "core/download_result.h"
#include "core/format.h"
#include "core/summary_drawing.h"
#include "core/temperature.h"
#include "core/units.h"

namespace cirrodex {

using platform::DrawingContext;
using platform::FileTime;
using platform::Rect;

namespace {

constexpr unsigned kWordBreak = platform::DT_WORDBREAK;  // 0x10
// 0x39: one centred line on the bottom edge; see kStatusFlags.
constexpr unsigned kFooterFlags = kStatusFlags | platform::DT_CENTER;
constexpr int kLineHeight = 15;
constexpr double kUsableLow = -999.0;
constexpr double kUsableHigh = 99999.0;
constexpr double kInchesToMillibars = 33.7685;

void DrawForecastRow(DrawingContext& dc, const ForecastDay& day, int x, int y,
                     const std::wstring& installFolder, int32_t unit) {
  DrawIconBitmap(IconPath(installFolder, day.dayIcon), dc, x, y);
  dc.DrawText(ConditionText(day.dayTextCode), Rect{x, y + 27, x + 45, y + 34}, kWordBreak);
  dc.DrawText(FormatTemperature(day.highTemperature, unit, 0), Rect{x, y + 34, x + 45, y + 41},
              kLineFlags);
  DrawIconBitmap(IconPath(installFolder, day.nightIcon), dc, x + 72, y);
  dc.DrawText(ConditionText(day.nightTextCode), Rect{x + 72, y + 27, x + 117, y + 34}, kWordBreak);
  dc.DrawText(FormatTemperature(day.lowTemperature, unit, 0), Rect{x + 72, y + 34, x + 117, y + 41},
              kLineFlags);
  dc.DrawText(WFormat(L"%d%% rain", day.rainChance), Rect{x + 117, y, x + 197, y + 7}, kLineFlags);
  dc.DrawText(WFormat(L"Weather Text ID %d/%d", day.dayTextCode, day.nightTextCode),
              Rect{x + 117, y + 14, x + 197, y + 21}, kLineFlags);
  dc.DrawText(WFormat(L"Weather Icon ID %d/%d", day.dayIcon, day.nightIcon),
              Rect{x + 117, y + 28, x + 197, y + 35}, kLineFlags);
}

std::wstring ResultLine(uint32_t result) {
  switch (result) {
    case kResultNotTried:
      return L"Not downloaded";
    case kResultNameNotResolved:
      return L"Internet: Name Unknown";
    case kResultCannotConnect:
      return L"Internet: Cannot Connect";
    default:
      return WFormat(L"Update Result Code %ld", static_cast<long>(result));
  }
}

double RecordValue(const HistoryRecord& record, HistoryKind kind) {
  switch (kind) {
    case HistoryKind::Temperature:
      return ConvertTemperature(record.temperature, kCelsius);
    case HistoryKind::Pressure:
      return static_cast<double>(record.pressure);
    case HistoryKind::WindSpeed:
      return static_cast<double>(record.windSpeed);
    case HistoryKind::RainChance:
      return static_cast<double>(record.rainChance);
  }
  return kMissingTemperature;
}

bool Usable(double value) { return value > kUsableLow && value < kUsableHigh; }

// The graph places records by their full 64-bit distance in time: the 32-bit elapsed count wraps
// after 49.7 days, which 256 updates a few hours apart exceed.
uint64_t ElapsedMilliseconds64(FileTime from, FileTime to) {
  return to > from ? (to - from) / 10000 : 0;
}

const wchar_t* HistoryName(HistoryKind kind) {
  switch (kind) {
    case HistoryKind::Temperature:
      return L"Temperature";
    case HistoryKind::Pressure:
      return L"Pressure";
    case HistoryKind::WindSpeed:
      return L"Wind";
    case HistoryKind::RainChance:
      return L"Rain";
  }
  return L"";
}

std::wstring HistoryValue(double value, HistoryKind kind, int32_t unit, const MeasureUnits& units) {
  switch (kind) {
    case HistoryKind::Temperature: {
      TemperatureValue t;
      t.Set(value, kCelsius);
      return FormatTemperature(t, unit, 0);
    }
    case HistoryKind::Pressure:
      // The records keep whole millibars.
      if (units.pressure == kMillibars) return WFormat(L"%d mBar", TruncateToInt32(value));
      return PressureNumber(value / kInchesToMillibars, units.pressure) + L" " +
             PressureSuffix(units.pressure);
    case HistoryKind::WindSpeed:
      return WindNumber(TruncateToInt32(value), units.wind) + L" " + WindSuffix(units.wind);
    case HistoryKind::RainChance:
      return WFormat(L"%d percent", TruncateToInt32(value));
  }
  return {};
}

// A graph in a few words, given only where a screen reader asks for it.
void NoteHistory(DrawingContext& dc, const std::vector<HistoryRecord>& history, HistoryKind kind,
                 int32_t unit, const MeasureUnits& units) {
  if (dc.WantsNotes()) {
    dc.Note(HistorySummary(static_cast<int>(history.size()), history.data(), kind, unit, units));
  }
}

}  // namespace

std::wstring HistorySummary(int count, const HistoryRecord* records, HistoryKind kind, int32_t unit,
                            const MeasureUnits& units) {
  struct Sample {
    FileTime time;
    double value;
  };
  std::vector<Sample> samples;
  for (int i = 0; records != nullptr && i < count; ++i) {
    if (records[i].slot <= -1) continue;
    const double value = RecordValue(records[i], kind);
    if (Usable(value)) samples.push_back({platform::SystemTimeToFileTime(records[i].time), value});
  }
  if (samples.empty()) return WFormat(L"%ls history: no updates", HistoryName(kind));
  std::stable_sort(samples.begin(), samples.end(),
                   [](const Sample& a, const Sample& b) { return a.time < b.time; });
  double low = samples.front().value;
  double high = low;
  for (const Sample& s : samples) {
    low = std::min(low, s.value);
    high = std::max(high, s.value);
  }
  const double first = samples.front().value;
  const double last = samples.back().value;
  // Less than half a unit either way is no trend the user could see in the numbers.
  const wchar_t* trend = last > first + 0.5   ? L"rising"
                         : last < first - 0.5 ? L"falling"
                                              : L"steady";
  return WFormat(L"%ls history of %d updates: %ls to %ls, latest %ls, %ls", HistoryName(kind),
                 static_cast<int>(samples.size()), HistoryValue(low, kind, unit, units).c_str(),
                 HistoryValue(high, kind, unit, units).c_str(),
                 HistoryValue(last, kind, unit, units).c_str(), trend);
}

uint32_t ElapsedMilliseconds(FileTime from, FileTime to) {
  return static_cast<uint32_t>(ElapsedMilliseconds64(from, to));
}

void DrawForecastDetails(const WeatherReport& report, DrawingContext& dc, int left, int top,
                         int right, int bottom, const std::wstring& installFolder, int32_t unit) {
  const int h = static_cast<int>((bottom - top) * 0.2);
  const platform::FontSpec* previous = dc.SelectFont(&report.fonts.small);
  for (int i = 0; i < 5; ++i) {
    const ForecastDay& day = report.blocks[i + 1];
    const int y = top + i * h;
    dc.DrawText(WeekdayName(day.weekday, WeekdayForm::Long), Rect{left, y, right, y + h},
                kLineFlags);
    DrawForecastRow(dc, day, left + 40, y, installFolder, unit);
  }
  dc.DrawText(WFormat(L"Last updated: %ls", report.lastUpdated), Rect{left, top, right, bottom},
              kFooterFlags);
  dc.SelectFont(previous);
}

void DrawCurrentDetails(WeatherReport& report, DrawingContext& dc, int left, int top, int right,
                        int /*bottom*/, const std::wstring& installFolder, int32_t unit,
                        const MeasureUnits& units) {
  std::vector<HistoryRecord> history(kHistorySlots);
  ReadHistory(report, kHistorySlots, history.data());
  const int mid = left + (right - left) / 2;
  const ForecastDay& now = report.blocks[0];
  const platform::FontSpec* previous = dc.SelectFont(&report.fonts.small);

  Rect line{left + 5, top + 5, right - 5, top + 5 + kLineHeight};
  auto nextLine = [&](const std::wstring& text) {
    dc.DrawText(text, line, kLineFlags);
    line.top += kLineHeight;
    line.bottom += kLineHeight;
  };
  nextLine(WFormat(L"Last updated: %ls", report.lastUpdated));
  if (report.downloadResult != kResultOk) nextLine(ResultLine(report.downloadResult));
  nextLine(WFormat(L"%ls/%ls", report.city, report.country));
  nextLine(WFormat(L"Current Conditions: %ls", report.conditionText));
  const int y = line.top;  // the bottom of the last line

  DrawIconBitmap(IconPath(installFolder, now.dayIcon), dc, left + 20, y);
  DrawIconBitmap(IconPath(installFolder, now.nightIcon), dc, left + 60, y);

  const int leftL = left + 4;
  const int leftR = mid - 2;
  dc.DrawText(WFormat(L"Temperature: %ls", FormatTemperature(now.temperature, unit, 0).c_str()),
              Rect{leftL, y + 30, leftR, y + 45}, kLineFlags);
  DrawHistoryGraph(dc, leftL, y + 45, leftR, y + 85, kHistorySlots, history.data(),
                   HistoryKind::Temperature);
  NoteHistory(dc, history, HistoryKind::Temperature, unit, units);
  dc.DrawText(WFormat(L"Feels like %ls", FormatTemperature(now.feelsLike, unit, 0).c_str()),
              Rect{leftL, y + 86, leftR, y + 101}, kLineFlags);

  const int rightL = mid + 2;
  const int rightR = right - 4;
  const int32_t millibars = PressureMillibars(report);
  if (millibars > 0) {
    dc.DrawText(WFormat(L"Pressure: %ls%ls", PressureNumber(now.pressure, units.pressure).c_str(),
                        PressureSuffix(units.pressure)),
                Rect{rightL, y + 30, rightR, y + 45}, kLineFlags);
  }
  DrawHistoryGraph(dc, rightL, y + 45, rightR, y + 85, kHistorySlots, history.data(),
                   HistoryKind::Pressure);
  NoteHistory(dc, history, HistoryKind::Pressure, unit, units);
  // Missing values (the parser's -9999) leave their lines out rather than show as numbers.
  if (now.windSpeed >= 0) {
    dc.DrawText(WFormat(L"Wind: %ls %ls %ls", WindNumber(now.windSpeed, units.wind).c_str(),
                        WindSuffix(units.wind), now.windDirection),
                Rect{rightL, y + 86, rightR, y + 101}, kLineFlags);
  }
  DrawHistoryGraph(dc, rightL, y + 101, rightR, y + 141, kHistorySlots, history.data(),
                   HistoryKind::WindSpeed);
  NoteHistory(dc, history, HistoryKind::WindSpeed, unit, units);
  if (now.humidity >= 0) {
    dc.DrawText(WFormat(L"Humidity: %d%%", now.humidity), Rect{rightL, y + 142, rightR, y + 157},
                kLineFlags);
  }
  if (now.uvIndex >= 0 && now.uvIndex < 100) {
    dc.DrawText(WFormat(L"UV Index: %d", now.uvIndex), Rect{rightL, y + 157, rightR, y + 172},
                kLineFlags);
  }
  // Visibility has no missing value of its own (the parser resets it to 0): with every other
  // current value missing, as for a city not yet downloaded, that 0 is no measurement.
  const bool noCurrentValues = now.windSpeed < 0 && now.humidity < 0 && millibars <= 0;
  if (now.visibility >= 0 && !noCurrentValues) {
    dc.DrawText(
        WFormat(L"Visibility: %ls %ls", DistanceNumber(now.visibility, units.distance).c_str(),
                DistanceSuffix(units.distance)),
        Rect{rightL, y + 172, rightR, y + 187}, kLineFlags);
  }
  dc.SelectFont(previous);
}

void DrawHistoryGraph(DrawingContext& dc, int left, int top, int right, int bottom, int count,
                      const HistoryRecord* records, HistoryKind kind) {
  // In the text colour (black on the platform's white pages), so the graph stays as visible as
  // the texts on a dark palette.
  const platform::Brush brush{dc.GetTextColor()};
  const platform::Pen pen{dc.GetTextColor(), 0};
  const platform::Pen* previousPen = dc.SelectPen(&pen);
  const platform::Brush* previousBrush = dc.SelectBrush(&brush);
  dc.Polyline({{left, top}, {left, bottom}, {right, bottom}, {right, top}, {left, top}});

  FileTime earliest = std::numeric_limits<FileTime>::max();
  FileTime latest = 0;
  double largest = 0.0;
  double smallest = 999999.9;
  bool anyRecord = false;
  for (int i = 0; records != nullptr && i < count; ++i) {
    if (records[i].slot <= -1) continue;
    anyRecord = true;
    const FileTime time = platform::SystemTimeToFileTime(records[i].time);
    earliest = std::min(earliest, time);
    latest = std::max(latest, time);
    const double value = RecordValue(records[i], kind);
    if (!Usable(value)) continue;
    largest = std::max(largest, value);
    smallest = std::min(smallest, value);
  }

  // A frame too small to hold a plot (six pixels or less across) also draws nothing more, where a
  // division by zero would otherwise place every dot.
  const int plotWidth = right - left - 6;
  const int plotHeight = bottom - top - 6;
  const double xScale =
      plotWidth > 0 ? static_cast<double>(ElapsedMilliseconds64(earliest, latest)) / plotWidth : 0;
  const double yScale = plotHeight > 0 ? (largest - smallest) / plotHeight : 0;
  if (anyRecord && xScale > 0 && yScale > 0) {
    for (int i = 0; i < count; ++i) {
      const HistoryRecord& record = records[i];
      if (record.slot <= -1) continue;
      const double value = RecordValue(record, kind);
      if (!Usable(value)) continue;
      const FileTime time = platform::SystemTimeToFileTime(record.time);
      int x = TruncateToInt32(static_cast<double>(ElapsedMilliseconds64(earliest, time)) / xScale +
                              (left + 2));
      const int d = TruncateToInt32(value - smallest);
      int y = TruncateToInt32((bottom - 2) - d / yScale);
      if (x <= left) x = left + 1;
      if (x >= right) x = right - 1;
      if (y <= top) y = top + 1;
      if (y >= bottom) y = bottom - 1;
      dc.Rectangle(Rect{x - 1, y - 1, x + 1, y + 1});
    }
  }
  dc.SelectPen(previousPen);
  dc.SelectBrush(previousBrush);
}

}  // namespace cirrodex
