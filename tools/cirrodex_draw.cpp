// cirrodex-draw KIND [--feed FILE | --city CODE] [--layout N] [--unit U] [--wind W]
//               [--pressure P] [--distance D] [--result R] [--png FILE] [--list]
// Draws one of the weather drawings as the Today item and the setup program's pages draw it, for
// looking at: --list prints every drawing call, --png renders it into a picture.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

#include "core/detail_drawing.h"
#include "core/format.h"
#include "core/hourly_drawing.h"
#include "core/hourly_store.h"
#include "core/settings.h"
#include "core/summary_drawing.h"
#include "core/units.h"
#include "core/weather_cache.h"
#include "core/weather_report.h"
#include "platform/device.h"
#include "platform/qt/qt_drawing_context.h"
#include "platform/recording_context.h"
#include "platform/text.h"

namespace {

using cirrodex::platform::DrawingContext;
using cirrodex::platform::Rect;

constexpr char kUsage[] =
    "usage: cirrodex-draw KIND [--feed FILE | --city CODE] [--layout N] [--unit U] [--wind W]\n"
    "                     [--pressure P] [--distance D] [--result R] [--png FILE] [--list]\n"
    "  KIND      summary, status, forecast, current or hourly\n"
    "  --feed    parse this feed document (UTF-8); for hourly, this hourly document (JSON)\n"
    "  --city    use the stored feed of this city code (default: the selected city)\n"
    "  --layout  summary layout 0-5 (default: the stored \"SummaryDisplayType\")\n"
    "  --unit    0 Celsius, 1 Fahrenheit, 2 Kelvin, 3 Reaumur, 4 Rankine (default: stored)\n"
    "  --wind    0 mph, 1 km/h, 2 m/s, 3 knots, 4 Beaufort (default: the stored \"WindUnits\")\n"
    "  --pressure 0 mBar, 1 hPa, 2 inHg, 3 mmHg, 4 kPa (default: the stored \"PressureUnits\")\n"
    "  --distance 0 miles, 1 km (default: the stored \"DistanceUnits\")\n"
    "  --result  the download result to show (default: 200 for --feed, else the stored one)\n"
    "  --png     render into this PNG file\n"
    "  --list    print every drawing call, one a line (the default without --png)\n";

// Feeds are short documents; anything far larger is not one.
constexpr std::streamsize kMaxFeedBytes = 1 << 20;

enum class Kind { Summary, Status, Forecast, Current, Hourly };

struct Options {
  Kind kind = Kind::Summary;
  std::optional<std::string> feedFile;
  std::optional<std::string> city;
  std::optional<int32_t> layout;
  std::optional<int32_t> unit;
  std::optional<int32_t> wind;
  std::optional<int32_t> pressure;
  std::optional<int32_t> distance;
  std::optional<int64_t> result;
  std::optional<std::string> png;
  bool list = false;
};

int Fail(const std::string& message) {
  std::fprintf(stderr, "cirrodex-draw: %s\n", message.c_str());
  return 1;
}

bool ParseNumber(const char* text, int64_t low, int64_t high, int64_t& value) {
  char* end = nullptr;
  errno = 0;
  const long long parsed = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

// Fills `options`; an error message when the command line is wrong.
std::optional<std::string> ParseArguments(int argc, char** argv, Options& options) {
  if (argc < 2) return "a KIND is needed";
  const std::string kind = argv[1];
  if (kind == "summary") {
    options.kind = Kind::Summary;
  } else if (kind == "status") {
    options.kind = Kind::Status;
  } else if (kind == "forecast") {
    options.kind = Kind::Forecast;
  } else if (kind == "current") {
    options.kind = Kind::Current;
  } else if (kind == "hourly") {
    options.kind = Kind::Hourly;
  } else {
    return "unknown KIND \"" + kind + "\"";
  }
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--list") {
      options.list = true;
      continue;
    }
    if (i + 1 >= argc) return arg + " needs a value";
    const char* value = argv[++i];
    int64_t number = 0;
    if (arg == "--feed") {
      options.feedFile = value;
    } else if (arg == "--city") {
      options.city = value;
    } else if (arg == "--png") {
      options.png = value;
    } else if (arg == "--layout") {
      if (!ParseNumber(value, INT32_MIN, INT32_MAX, number)) return "--layout needs a number";
      options.layout = static_cast<int32_t>(number);
    } else if (arg == "--unit") {
      if (!ParseNumber(value, INT32_MIN, INT32_MAX, number)) return "--unit needs a number";
      options.unit = static_cast<int32_t>(number);
    } else if (arg == "--wind" || arg == "--pressure" || arg == "--distance") {
      if (!ParseNumber(value, INT32_MIN, INT32_MAX, number)) return arg + " needs a number";
      (arg == "--wind"       ? options.wind
       : arg == "--pressure" ? options.pressure
                             : options.distance) = static_cast<int32_t>(number);
    } else if (arg == "--result") {
      if (!ParseNumber(value, -1, UINT32_MAX, number)) return "--result needs a number";
      options.result = number;
    } else {
      return "unknown option " + arg;
    }
  }
  if (options.feedFile && options.city) return "--feed and --city exclude each other";
  if (!options.png) options.list = true;
  return std::nullopt;
}

// Fills the report from the feed file or the stored feed; an error message on failure.
std::optional<std::string> LoadReport(const Options& options, cirrodex::WeatherReport& report) {
  std::wstring text;
  uint32_t storedResult = 0;
  if (options.feedFile) {
    std::ifstream in(*options.feedFile, std::ios::binary);
    if (!in) return "cannot read the feed file " + *options.feedFile;
    std::string bytes(static_cast<size_t>(kMaxFeedBytes) + 1, '\0');
    in.read(bytes.data(), kMaxFeedBytes + 1);
    if (in.bad()) return "cannot read the feed file " + *options.feedFile;
    if (in.gcount() > kMaxFeedBytes) return "the feed file " + *options.feedFile + " is too large";
    bytes.resize(static_cast<size_t>(in.gcount()));
    text = cirrodex::platform::FromUtf8(bytes);
    storedResult = 200;
  } else {
    const std::wstring code =
        options.city ? cirrodex::CityCodeOf(cirrodex::platform::FromUtf8(*options.city))
                     : cirrodex::SelectedCityCode();
    if (!cirrodex::LoadStoredFeed(report, code.c_str(), text, storedResult)) {
      return "no stored weather for city " + cirrodex::platform::ToUtf8(code);
    }
  }
  bool changed = false;
  cirrodex::ParseFeed(report, text.c_str(), changed);
  report.downloadResult = options.result && *options.result >= 0
                              ? static_cast<uint32_t>(*options.result)
                              : storedResult;
  return std::nullopt;
}

// The hourly document from --feed, or the stored one of the city (whose stored feed, when there
// is one, names the city); no document is no error: the page then says there is none.
std::optional<std::string> LoadHourly(const Options& options, cirrodex::WeatherReport& report,
                                      std::optional<cirrodex::HourlyForecast>& hourly) {
  const std::wstring code = options.city
                                ? cirrodex::CityCodeOf(cirrodex::platform::FromUtf8(*options.city))
                                : cirrodex::SelectedCityCode();
  std::wstring text;
  uint32_t storedResult = 0;
  if (cirrodex::LoadStoredFeed(report, code.c_str(), text, storedResult)) {
    bool changed = false;
    cirrodex::ParseFeed(report, text.c_str(), changed);
  }
  if (!options.feedFile) {
    hourly = cirrodex::LoadStoredHourlyForecast(code);
    return std::nullopt;
  }
  std::ifstream in(*options.feedFile, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return "cannot read the hourly file " + *options.feedFile;
  if (bytes.size() > static_cast<size_t>(kMaxFeedBytes)) {
    return "the hourly file " + *options.feedFile + " is too large";
  }
  hourly = cirrodex::ParseHourlyForecast(bytes);
  if (!hourly) return "the file " + *options.feedFile + " is no hourly document";
  return std::nullopt;
}

// A drawing and the rectangle it fills, as the Today item and the setup program's pages place it.
struct Drawing {
  Rect area;
  std::function<void(DrawingContext&)> draw;
};

// The city's name as the feed gives it, without the made-up weather's mark.
std::wstring HourlyCityName(const cirrodex::WeatherReport& report) {
  std::wstring name = report.city;
  const std::wstring mark = L" (sample)";
  if (name.size() > mark.size() && name.ends_with(mark)) name.resize(name.size() - mark.size());
  return name;
}

Drawing ChooseDrawing(const Options& options, cirrodex::WeatherReport& report,
                      const std::optional<cirrodex::HourlyForecast>& hourly) {
  // Stored settings as the Today item reads them.
  const cirrodex::DisplaySettings stored =
      cirrodex::ReadDisplaySettings(cirrodex::SettingsReader::TodayItem);
  const int32_t layout = options.layout.value_or(stored.summaryLayout);
  const int32_t unit = options.unit.value_or(stored.temperatureUnit);
  const cirrodex::MeasureUnits units =
      cirrodex::ValidUnits({options.wind.value_or(stored.measureUnits.wind),
                            options.pressure.value_or(stored.measureUnits.pressure),
                            options.distance.value_or(stored.measureUnits.distance)});
  const std::wstring folder = cirrodex::InstallFolder(report);
  const int64_t result = options.result.value_or(-1);

  switch (options.kind) {
    case Kind::Summary:
      return {cirrodex::StripRect(layout), [=, &report](DrawingContext& dc) {
                cirrodex::DrawStrip(report, dc, layout, unit, units);
              }};
    case Kind::Status: {
      const Rect line = cirrodex::StatusLineRect(layout);
      return {line, [=, &report](DrawingContext& dc) {
                cirrodex::DrawStatusLine(report, dc, line.left, line.top, line.right, line.bottom,
                                         result);
              }};
    }
    case Kind::Forecast:
      return {Rect{0, 0, 240, 268}, [=, &report](DrawingContext& dc) {
                cirrodex::DrawForecastDetails(report, dc, 0, 0, 240, 268, folder, unit);
              }};
    case Kind::Hourly:
      return {Rect{0, 0, 240, 268}, [=, &report](DrawingContext& dc) {
                cirrodex::DrawHourlyForecast(hourly ? &*hourly : nullptr, HourlyCityName(report),
                                             dc, Rect{0, 0, 240, 268}, std::time(nullptr), folder,
                                             unit, report.fonts.small);
              }};
    case Kind::Current:
      break;
  }
  return {Rect{0, 0, 240, 230}, [=, &report](DrawingContext& dc) {
            cirrodex::DrawCurrentDetails(report, dc, 0, 0, 240, 230, folder, unit, units);
          }};
}

// Black text on a transparent background, as the item and the pages start their drawing.
void PrepareContext(DrawingContext& dc) {
  dc.SetTextColor(cirrodex::platform::Rgb(0, 0, 0));
  dc.SetBkMode(cirrodex::platform::BackgroundMode::Transparent);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::puts("cirrodex-draw (Cirrodex) " CIRRODEX_VERSION_TEXT);
      return 0;
    }
  }
  Options options;
  if (auto error = ParseArguments(argc, argv, options)) {
    std::fprintf(stderr, "cirrodex-draw: %s\n%s", error->c_str(), kUsage);
    return 2;
  }

  // The drawing reads the store and the icons of the device folder.
  if (const std::string untrusted = cirrodex::platform::DeviceFolderProblem(); !untrusted.empty()) {
    return Fail(untrusted);
  }
  cirrodex::WeatherReport report;
  std::optional<cirrodex::HourlyForecast> hourly;
  if (options.kind == Kind::Hourly) {
    if (auto error = LoadHourly(options, report, hourly)) return Fail(*error);
  } else if (auto error = LoadReport(options, report)) {
    return Fail(*error);
  }
  const Drawing drawing = ChooseDrawing(options, report, hourly);
  auto draw = [&drawing](DrawingContext& dc) {
    PrepareContext(dc);
    drawing.draw(dc);
  };

  if (options.list) {
    cirrodex::platform::RecordingContext recording(drawing.area);
    draw(recording);
    std::cout << recording.Listing() << std::flush;
  }
  if (options.png && !cirrodex::platform::RenderPng(drawing.area, draw, *options.png)) {
    return Fail("cannot write the picture " + *options.png);
  }
  return 0;
}
