#include "service/feed_document.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace cirrodex::service {

CivilDate CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {static_cast<int>(yoe + era * 400 + (month <= 2)), month, day};
}

int64_t DaysFromCivil(const CivilDate& date) {
  const int64_t y = date.year - (date.month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy =
      (153 * (date.month > 2 ? date.month - 3 : date.month + 9) + 2) / 5 + date.day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

int WeekdayOfDays(int64_t days) {
  return static_cast<int>(((days % 7) + 11) % 7) + 1;  // 1970-01-01 was a Thursday
}

std::string FeedText(std::string text) {
  for (char& c : text) {
    if (c == '"' || c == ';' || c == '|' || static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return text;
}

std::string FeedCityName(const std::string& name, const std::string& mark) {
  const size_t room = mark.size() < kFeedTextLimit ? kFeedTextLimit - mark.size() : 0;
  std::string base = FeedText(name).substr(0, room);
  // Never end inside a UTF-8 sequence.
  while (!base.empty() && (static_cast<unsigned char>(base.back()) & 0xC0) == 0x80) base.pop_back();
  if (!base.empty() && static_cast<unsigned char>(base.back()) >= 0xC0) base.pop_back();
  while (!base.empty() && base.back() == ' ') base.pop_back();
  return base + mark;
}

const char* CountryOfCode(const std::string& code) {
  static constexpr struct {
    const char* prefix;
    const char* country;
  } kCountries[] = {{"AE", "United Arab Emirates"},
                    {"AR", "Argentina"},
                    {"AS", "Australia"},
                    {"AU", "Austria"},
                    {"BE", "Belgium"},
                    {"BR", "Brazil"},
                    {"CA", "Canada"},
                    {"CH", "China"},
                    {"CI", "Chile"},
                    {"CO", "Colombia"},
                    {"DA", "Denmark"},
                    {"EG", "Egypt"},
                    {"EI", "Ireland"},
                    {"EZ", "Czech Republic"},
                    {"FI", "Finland"},
                    {"FR", "France"},
                    {"GM", "Germany"},
                    {"GR", "Greece"},
                    {"HU", "Hungary"},
                    {"IN", "India"},
                    {"IT", "Italy"},
                    {"JA", "Japan"},
                    {"KE", "Kenya"},
                    {"KS", "South Korea"},
                    {"MO", "Morocco"},
                    {"MX", "Mexico"},
                    {"NI", "Nigeria"},
                    {"NL", "Netherlands"},
                    {"NO", "Norway"},
                    {"NZ", "New Zealand"},
                    {"PE", "Peru"},
                    {"PL", "Poland"},
                    {"PO", "Portugal"},
                    {"RS", "Russia"},
                    {"SF", "South Africa"},
                    {"SN", "Singapore"},
                    {"SP", "Spain"},
                    {"SW", "Sweden"},
                    {"SZ", "Switzerland"},
                    {"TH", "Thailand"},
                    {"UK", "United Kingdom"},
                    {"US", "United States"}};
  for (const auto& entry : kCountries) {
    if (code.compare(0, 2, entry.prefix) == 0) return entry.country;
  }
  return "";
}

std::string SubDivisionOfCode(const std::string& code) {
  return code.size() >= 4 && code.compare(0, 2, "US") == 0 ? code.substr(2, 2) : std::string();
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
  number("swTemp", weather.temperature);
  number("swCIcon", weather.icon);
  number("swWindS", weather.windSpeed);
  if (!weather.windDirection.empty()) text("swWindD", weather.windDirection);
  if (weather.pressure) {
    char pressure[32];
    std::snprintf(pressure, sizeof pressure, "%.2f", *weather.pressure);
    text("swBaro", pressure);
  }
  number("swHumid", weather.humidity);
  number("swReal", weather.feelsLike);
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
  for (const FeedDay& d : weather.days) add(std::to_string(d.high));
  for (const FeedDay& d : weather.days) add(std::to_string(d.rainChance));
  for (const FeedDay& d : weather.days) add(std::to_string(d.nightIcon));
  for (const FeedDay& d : weather.days) add(std::to_string(d.nightCode));
  for (const FeedDay& d : weather.days) add(std::to_string(d.low));
  raw("swFore", fore);
  return out.str();
}

}  // namespace cirrodex::service
