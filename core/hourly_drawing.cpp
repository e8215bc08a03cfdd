#include "core/hourly_drawing.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "core/condition_texts.h"
#include "core/format.h"
#include "core/summary_drawing.h"
#include "core/temperature.h"
#include "platform/text.h"

namespace cirrodex {

namespace {

using platform::DrawingContext;
using platform::Point;
using platform::Rect;

constexpr int kLine = 13;
constexpr int kRowHours = 24;
constexpr int kIconHeight = 26;
constexpr int kLabelHeight = 11;
constexpr unsigned kCentredLine = kLineFlags | platform::DT_CENTER;

std::wstring Wide(const std::string& utf8) { return platform::FromUtf8(utf8); }

std::wstring Clock(std::time_t utc, int offset) { return Wide(LocalClockText(utc, offset)); }

std::optional<double> InUnit(const std::optional<double>& fahrenheit, int32_t unit) {
  if (!fahrenheit) return std::nullopt;
  TemperatureValue value;
  value.Set(*fahrenheit, kFahrenheit);
  return ConvertTemperature(value, unit);
}

std::wstring Degrees(double fahrenheit, int32_t unit) {
  TemperatureValue value;
  value.Set(fahrenheit, kFahrenheit);
  return FormatTemperature(value, unit, 0);
}

std::wstring AgeText(std::time_t updated, std::time_t now, bool sample) {
  const long minutes = static_cast<long>(std::max<std::time_t>(now - updated, 0) / 60);
  std::wstring text = minutes < 1     ? std::wstring(L"updated just now")
                      : minutes < 120 ? WFormat(L"updated %ld minutes ago", minutes)
                                      : WFormat(L"updated %ld hours ago", minutes / 60);
  if (sample) text += L" (sample)";
  return text;
}

// Today's sunrise and sunset on the city's clock; empty when the document has neither for today.
std::wstring SunLine(const HourlyForecast& forecast, std::time_t now) {
  const std::time_t local = now + forecast.utcOffsetSeconds;
  std::tm today{};
  gmtime_r(&local, &today);
  for (const HourlySunDay& day : forecast.sun) {
    if (day.year != today.tm_year + 1900 || day.month != today.tm_mon + 1 ||
        day.day != today.tm_mday) {
      continue;
    }
    std::wstring line;
    if (day.sunrise) line = L"Sunrise " + Clock(*day.sunrise, forecast.utcOffsetSeconds);
    if (day.sunset) {
      line += (line.empty() ? L"Sunset " : L", sunset ") +
              Clock(*day.sunset, forecast.utcOffsetSeconds);
    }
    return line;
  }
  return L"";
}

// Night from each sunset to the next sunrise; before the first sunrise, from a day before its
// sunset.
std::vector<std::pair<std::time_t, std::time_t>> Nights(const HourlyForecast& forecast) {
  std::vector<std::pair<std::time_t, std::time_t>> nights;
  const auto& sun = forecast.sun;
  if (!sun.empty() && sun.front().sunrise && sun.front().sunset) {
    nights.emplace_back(*sun.front().sunset - 86400, *sun.front().sunrise);
  }
  for (size_t i = 0; i + 1 < sun.size(); ++i) {
    if (sun[i].sunset && sun[i + 1].sunrise) {
      nights.emplace_back(*sun[i].sunset, *sun[i + 1].sunrise);
    }
  }
  return nights;
}

struct Scale {
  double low = 0, high = 1;  // temperatures in the unit shown
  double millimetres = 4;    // a full bar of precipitation
};

class Row {
 public:
  Row(const Rect& graph, std::time_t start) : graph_(graph), start_(start) {}
  int X(std::time_t t) const {
    const double hours = static_cast<double>(t - start_) / 3600;
    return graph_.left + static_cast<int>(std::lround(hours * Width() / kRowHours));
  }
  double Width() const { return graph_.Width(); }
  bool Holds(std::time_t t) const { return t >= start_ && t < start_ + kRowHours * 3600; }
  const Rect& graph() const { return graph_; }
  std::time_t start() const { return start_; }

 private:
  Rect graph_;
  std::time_t start_;
};

void DrawRow(DrawingContext& dc, const Row& row, const HourlyForecast& forecast, size_t first,
             const Scale& scale, std::time_t now, const std::wstring& installFolder, int32_t unit) {
  const Rect& g = row.graph();
  const std::time_t end = row.start() + kRowHours * 3600;
  for (const auto& [from, to] : Nights(forecast)) {
    const std::time_t a = std::max(from, row.start()), b = std::min(to, end);
    if (a < b) dc.FillRect(Rect{row.X(a), g.top, row.X(b), g.bottom}, {kNightShade});
  }
  const size_t last = std::min(forecast.hours.size(), first + kRowHours);
  for (size_t i = first; i < last; ++i) {
    const HourlyForecastHour& hour = forecast.hours[i];
    if (!row.Holds(hour.time)) continue;
    const int x0 = row.X(hour.time), x1 = row.X(hour.time + 3600);
    if (hour.rainChance && *hour.rainChance > 0) {
      const int height = g.Height() * std::clamp(*hour.rainChance, 0, 100) / 100;
      dc.FillRect(Rect{x0 + 1, g.bottom - height, x1, g.bottom}, {kRainChanceFill});
    }
    if (hour.precipitation && *hour.precipitation > 0) {
      const double share = std::min(*hour.precipitation / scale.millimetres, 1.0);
      const int height = std::max(1, static_cast<int>(std::lround(g.Height() * share)));
      const int third = (x1 - x0) / 3;
      dc.FillRect(Rect{x0 + third, g.bottom - height, x1 - third, g.bottom}, {kPrecipitationFill});
    }
  }
  const platform::Pen frame{dc.GetTextColor(), 0};
  const platform::Pen* previousPen = dc.SelectPen(&frame);
  dc.Polyline({{g.left, g.top},
               {g.left, g.bottom},
               {g.right, g.bottom},
               {g.right, g.top},
               {g.left, g.top}});

  // The temperature line, broken where an hour has none.
  const platform::Pen line{kTemperatureLine, 2};
  dc.SelectPen(&line);
  std::vector<Point> points;
  auto flush = [&] {
    if (points.size() > 1) dc.Polyline(points);
    points.clear();
  };
  for (size_t i = first; i < last; ++i) {
    const HourlyForecastHour& hour = forecast.hours[i];
    const auto degrees = InUnit(hour.temperature, unit);
    if (!degrees || !row.Holds(hour.time)) {
      flush();
      continue;
    }
    const double share = (*degrees - scale.low) / (scale.high - scale.low);
    points.push_back({row.X(hour.time + 1800),
                      g.bottom - 2 - static_cast<int>(std::lround(share * (g.Height() - 4)))});
  }
  flush();

  if (row.Holds(now)) {
    const platform::Pen mark{kNowMark, 2};
    dc.SelectPen(&mark);
    dc.Polyline({{row.X(now), g.top - 2}, {row.X(now), g.bottom}});
  }
  dc.SelectPen(previousPen);

  // Icons above and hours below, every third hour of the city's clock.
  for (size_t i = first; i < last; ++i) {
    const HourlyForecastHour& hour = forecast.hours[i];
    const std::time_t local = hour.time + forecast.utcOffsetSeconds;
    if (!row.Holds(hour.time) || ((local % 86400) + 86400) % 86400 / 3600 % 3 != 0) continue;
    const int x = row.X(hour.time);
    // Centred over its hour like the label, where it fits.
    if (x - kIconHeight / 2 >= g.left - 6 && x + kIconHeight / 2 <= g.right + 6) {
      DrawIconBitmap(IconPath(installFolder, hour.icon), dc, x - kIconHeight / 2,
                     g.top - kIconHeight - 1);
    }
    dc.DrawText(Clock(hour.time, forecast.utcOffsetSeconds).substr(0, 2),
                Rect{x - 8, g.bottom + 1, x + 8, g.bottom + 1 + kLabelHeight}, kCentredLine);
  }
}

// Every third hour in words, for a screen reader.
void NoteHours(DrawingContext& dc, const HourlyForecast& forecast, int32_t unit) {
  for (size_t i = 0; i < forecast.hours.size(); i += 3) {
    const HourlyForecastHour& hour = forecast.hours[i];
    std::wstring text = Clock(hour.time, forecast.utcOffsetSeconds) + L":";
    if (!hour.condition.empty()) text += L" " + Wide(hour.condition) + L",";
    if (hour.temperature) text += L" " + Degrees(*hour.temperature, unit) + L",";
    if (hour.rainChance) text += WFormat(L" %d%% chance of rain,", *hour.rainChance);
    if (hour.precipitation && *hour.precipitation > 0) {
      text += WFormat(L" %.1f mm,", *hour.precipitation);
    }
    text.back() = L'.';
    dc.Note(text);
  }
}

}  // namespace

std::wstring NowcastLine(const HourlyNowcast& nowcast, std::time_t now) {
  const NowcastRain rain = RainStartInNowcast(nowcast, now);
  switch (rain.state) {
    case NowcastRain::State::Begins:
      return L"Rain from about " + Clock(rain.begins, nowcast.utcOffsetSeconds);
    case NowcastRain::State::RainingNow:
      return L"Rain now";
    case NowcastRain::State::Dry:
      if (now - nowcast.start < kNowcastStep) return L"No rain in the next two hours";
      return L"No rain until " +
             Clock(nowcast.start +
                       static_cast<std::time_t>(nowcast.precipitation.size()) * kNowcastStep,
                   nowcast.utcOffsetSeconds);
    case NowcastRain::State::Unknown:
      break;
  }
  return L"";
}

void DrawHourlyForecast(const HourlyForecast* forecast, const std::wstring& city,
                        DrawingContext& dc, const Rect& area, std::time_t now,
                        const std::wstring& installFolder, int32_t unit,
                        const platform::FontSpec& font) {
  const platform::FontSpec* previous = dc.SelectFont(&font);
  Rect line{area.left + 4, area.top + 2, area.right - 4, area.top + 2 + kLine};
  auto nextLine = [&](const std::wstring& text) {
    if (text.empty()) return;
    dc.DrawText(text, line, kLineFlags);
    line.top += kLine;
    line.bottom += kLine;
  };
  if (forecast == nullptr || forecast->hours.empty()) {
    nextLine(L"No hourly forecast yet for " + city);
    dc.SelectFont(previous);
    return;
  }
  const std::wstring age = AgeText(forecast->updated, now, forecast->sample);
  nextLine(city.empty() ? L"U" + age.substr(1) : city + L", " + age);
  nextLine(SunLine(*forecast, now));
  if (forecast->nowcast) nextLine(NowcastLine(*forecast->nowcast, now));

  Scale scale;
  bool anyTemperature = false;
  for (const HourlyForecastHour& hour : forecast->hours) {
    if (const auto degrees = InUnit(hour.temperature, unit)) {
      scale.low = anyTemperature ? std::min(scale.low, *degrees) : *degrees;
      scale.high = anyTemperature ? std::max(scale.high, *degrees) : *degrees;
      anyTemperature = true;
    }
    if (hour.precipitation) scale.millimetres = std::max(scale.millimetres, *hour.precipitation);
  }
  const double lowF = std::floor(scale.low), highF = std::ceil(scale.high);
  scale.low = lowF;
  scale.high = std::max(highF, lowF + 1);

  // Two rows of 24 hours under the three lines: icons, graph, hour labels.
  const int rowsTop = area.top + 2 + 3 * kLine + 2;
  const int legendHeight = kLine;
  const int rowHeight = (area.bottom - legendHeight - rowsTop) / 2;
  const int graphHeight = rowHeight - kIconHeight - 1 - kLabelHeight - 2;
  for (int r = 0; r < 2; ++r) {
    const size_t first = static_cast<size_t>(r * kRowHours);
    if (first >= forecast->hours.size()) break;
    const int top = rowsTop + r * rowHeight + kIconHeight + 1;
    const Row row(Rect{area.left + 6, top, area.right - 6, top + graphHeight},
                  forecast->hours[first].time);
    DrawRow(dc, row, *forecast, first, scale, now, installFolder, unit);
  }
  if (anyTemperature) {
    TemperatureValue low, high;
    low.Set(scale.low, unit);
    high.Set(scale.high, unit);
    dc.DrawText(
        L"Line " + FormatTemperature(low, unit, 0) + L" to " + FormatTemperature(high, unit, 0) +
            WFormat(L"; bars: chance of rain, rain up to %.0f mm", scale.millimetres),
        Rect{area.left + 4, area.bottom - legendHeight, area.right - 4, area.bottom}, kLineFlags);
  }
  if (dc.WantsNotes()) NoteHours(dc, *forecast, unit);
  dc.SelectFont(previous);
}

}  // namespace cirrodex
