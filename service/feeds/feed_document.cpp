#include "service/feeds/feed_document.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace cirrodex::service {

namespace chr = std::chrono;

CivilDate CivilFromDays(int64_t days) {
  const chr::year_month_day date{chr::sys_days{chr::days{days}}};
  return {static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
          static_cast<int>(static_cast<unsigned>(date.day()))};
}

int64_t DaysFromCivil(const CivilDate& date) {
  const chr::year_month_day ymd{chr::year{date.year}, chr::month{static_cast<unsigned>(date.month)},
                                chr::day{static_cast<unsigned>(date.day)}};
  return chr::sys_days{ymd}.time_since_epoch().count();
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

int WeekdayOfDays(int64_t days) {
  return static_cast<int>(chr::weekday{chr::sys_days{chr::days{days}}}.c_encoding()) + 1;
}

std::string Latin1(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    // A two-byte sequence of U+0080..U+07FF; a byte that starts no such sequence is taken as it
    // is, so Latin-1 text passes unchanged.
    const bool sequence = byte >= 0xC2 && byte <= 0xDF && i + 1 < text.size() &&
                          (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80;
    if (sequence) {
      const unsigned code = (byte & 0x1Fu) << 6 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
      out += code < 0x100 ? static_cast<char>(code) : '?';
      i += 2;
    } else if (byte >= 0xE0 && byte <= 0xF4 && i + 1 < text.size() &&
               (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
      out += '?';  // beyond Latin-1
      ++i;
      while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    } else {
      out += static_cast<char>(byte);
      ++i;
    }
  }
  return out;
}

std::string FeedText(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '"' || c == ';' || c == '|' || static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return out;
}

std::string FeedField(std::string_view text) { return FeedCityName(std::string(text)); }

std::string FeedCityName(const std::string& name, const std::string& mark) {
  const size_t room = mark.size() < kFeedTextLimit ? kFeedTextLimit - mark.size() : 0;
  std::string base = FeedText(Latin1(name)).substr(0, room);
  while (!base.empty() && base.back() == ' ') base.pop_back();
  return base + mark;
}

std::string SubDivisionOfCode(const std::string& code) {
  const bool state = code.size() >= 4 && code.compare(0, 2, "US") == 0 &&
                     std::isupper(static_cast<unsigned char>(code[2])) &&
                     std::isupper(static_cast<unsigned char>(code[3]));
  return state ? code.substr(2, 2) : std::string();
}

std::string FeedUpdateTime(std::time_t utc) {
  const int64_t shifted = static_cast<int64_t>(utc) - 6 * 3600;
  const int64_t days = FloorDiv(shifted, 86400);
  const int64_t seconds = shifted - days * 86400;
  const CivilDate date = CivilFromDays(days);
  char text[48];
  std::snprintf(text, sizeof text, "%d/%d/%d %d:%02d:%02d", date.month, date.day, date.year,
                static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                static_cast<int>(seconds % 60));
  return text;
}

const char* CompassLetters(double degrees) {
  static const char* const kCompass[] = {"N", "NNE", "NE", "ENE", "E", "ESE", "SE", "SSE",
                                         "S", "SSW", "SW", "WSW", "W", "WNW", "NW", "NNW"};
  if (!std::isfinite(degrees)) return "";
  double turned = std::fmod(degrees, 360.0);
  if (turned < 0) turned += 360.0;
  return kCompass[static_cast<int>(std::lround(turned / 22.5)) % 16];
}

std::string FeedDegrees(double degrees) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", degrees);
  std::string out = text;
  if (out.size() > 2 && out.compare(out.size() - 2, 2, ".0") == 0) out.resize(out.size() - 2);
  return out == "-0" ? "0" : out;
}

std::string FormatFeed(const FeedWeather& weather) {
  std::ostringstream out;
  auto raw = [&out](const char* name, const std::string& value) {
    out << "var " << name << " = \"" << value << "\";\n";
  };
  auto text = [&raw](const char* name, const std::string& value) { raw(name, FeedText(value)); };
  auto number = [&text](const char* name, std::optional<int> value) {
    if (value) text(name, std::to_string(*value));
  };

  text("swCity", weather.city);
  text("swSubDiv", weather.subDivision);
  text("swCountry", weather.country);
  text("swRegion", weather.region);
  auto degrees = [&text](const char* name, std::optional<double> value) {
    if (value) text(name, FeedDegrees(*value));
  };
  auto orMissing = [](const auto& value, auto format) {
    return value ? format(*value) : std::string(kMissingEntry);
  };
  auto whole = [](int value) { return std::to_string(value); };

  degrees("swTemp", weather.temperature);
  number("swCIcon", weather.icon);
  number("swWindS", weather.windSpeed);
  if (!weather.windDirection.empty()) text("swWindD", weather.windDirection);
  if (weather.pressure) {
    char pressure[32];
    std::snprintf(pressure, sizeof pressure, "%.2f", *weather.pressure);
    text("swBaro", pressure);
  }
  number("swHumid", weather.humidity);
  degrees("swReal", weather.feelsLike);
  number("swUV", weather.uvIndex);
  number("swVis", weather.visibility);
  text("swLastUp", weather.lastUpdate);
  text("swConText", weather.conditionText);

  std::string fore;
  auto add = [&fore](const std::string& entry) {
    if (!fore.empty()) fore += '|';
    fore += entry;
  };
  for (const FeedDay& d : weather.days) add(std::to_string(d.weekday));
  for (const FeedDay& d : weather.days) {
    add(std::to_string(d.month) + "/" + std::to_string(d.day) + "/" + std::to_string(d.year));
  }
  for (const FeedDay& d : weather.days) add(std::to_string(d.dayIcon));
  for (const FeedDay& d : weather.days) add(std::to_string(d.dayCode));
  for (const FeedDay& d : weather.days) add(orMissing(d.high, FeedDegrees));
  for (const FeedDay& d : weather.days) add(orMissing(d.rainChance, whole));
  for (const FeedDay& d : weather.days) add(std::to_string(d.nightIcon));
  for (const FeedDay& d : weather.days) add(std::to_string(d.nightCode));
  for (const FeedDay& d : weather.days) add(orMissing(d.low, FeedDegrees));
  raw("swFore", fore);
  return out.str();
}

}  // namespace cirrodex::service
