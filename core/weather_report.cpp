#include "core/weather_report.h"

#include <cwchar>
#include <optional>
#include <string_view>

#include "core/format.h"
#include "core/registry_ops.h"
#include "core/settings.h"

namespace cirrodex {

namespace {

// The variables the parser knows, in the order of precedence when a statement names several.
enum Variable {
  kSwCity,
  kSwSubDiv,
  kSwCountry,
  kSwRegion,
  kSwTemp,
  kSwCIcon,
  kSwWindS,
  kSwWindD,
  kSwBaro,
  kSwHumid,
  kSwReal,
  kSwUV,
  kSwVis,
  kSwLastUp,
  kSwConText,
  kSwFore,
  kNoVariable,
};

constexpr std::wstring_view kVariableNames[kNoVariable] = {
    L"swCity",  L"swSubDiv", L"swCountry", L"swRegion", L"swTemp", L"swCIcon",
    L"swWindS", L"swWindD",  L"swBaro",    L"swHumid",  L"swReal", L"swUV",
    L"swVis",   L"swLastUp", L"swConText", L"swFore"};

// The forecast list holds nine fields for each of five days.
constexpr int kForecastEntries = 45;
constexpr int kForecastDays = 5;
// A numeric value is read from at most this many characters of it.
constexpr size_t kNumberChars = 31;

// The feed's last-update time is six hours behind GMT.
constexpr int64_t kHoursBehindGmt = 6;

// The earliest variable of the list whose name occurs anywhere in the statement. Every name
// begins with "sw", so only those places are tried, and the third letter sorts out most names.
Variable FindVariable(std::wstring_view statement) {
  int best = kNoVariable;
  for (size_t i = 0; i + 2 < statement.size() && best > 0; ++i) {
    if (statement[i] != L's' || statement[i + 1] != L'w') continue;
    const wchar_t* rest = statement.data() + i;
    const size_t room = statement.size() - i;
    for (int v = 0; v < best; ++v) {
      std::wstring_view name = kVariableNames[v];
      if (name[2] != rest[2] || name.size() > room) continue;
      size_t k = 3;
      while (k < name.size() && name[k] == rest[k]) ++k;
      if (k == name.size()) {
        best = v;
        break;
      }
    }
  }
  return static_cast<Variable>(best);
}

// The text between the statement's first and second double quote; none when it has fewer than
// two, or when it begins with two.
std::optional<std::wstring_view> QuotedValue(std::wstring_view statement) {
  if (statement.size() >= 2 && statement[0] == L'"' && statement[1] == L'"') return std::nullopt;
  size_t open = statement.find(L'"');
  if (open == std::wstring_view::npos) return std::nullopt;
  size_t close = statement.find(L'"', open + 1);
  if (close == std::wstring_view::npos) return std::nullopt;
  return statement.substr(open + 1, close - open - 1);
}

// Calls `each` for every non-empty piece of `text` between runs of `separator`.
template <typename Each>
void ForEachPiece(std::wstring_view text, wchar_t separator, Each each) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::wstring_view::npos) end = text.size();
    if (end > start && !each(text.substr(start, end - start))) return;
    start = end + 1;
  }
}

bool IsAstral(wchar_t c) {
  auto code = static_cast<uint32_t>(c);
  return code >= 0x10000 && code <= 0x10FFFF;
}

// How many characters of `text` are kept: as many as fit in the feed text with its terminator,
// counted in the UTF-16 units the registry stores.
size_t KeptLength(const wchar_t* text) {
  size_t units = 0;
  size_t i = 0;
  for (; text[i] != L'\0'; ++i) {
    size_t width = IsAstral(text[i]) ? 2 : 1;
    if (units + width > kFeedTextCapacity - 1) break;
    units += width;
  }
  return i;
}

// A short text built in place: the rewritten dates never need more than a few dozen characters.
class ShortText {
 public:
  // Appends `value` as "%0<width>lld" does.
  void Padded(int64_t value, int width) {
    wchar_t digits[24];
    int n = 0;
    uint64_t magnitude =
        value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
      digits[n++] = static_cast<wchar_t>(L'0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
      Add(L'-');
      --width;
    }
    for (int pad = width - n; pad > 0; --pad) Add(L'0');
    while (n > 0) Add(digits[--n]);
  }
  void Add(wchar_t c) {
    if (length_ < kCapacity) text_[length_++] = c;
  }
  void Add(std::wstring_view text) {
    for (wchar_t c : text) Add(c);
  }
  std::wstring_view View() const { return {text_, length_}; }

 private:
  static constexpr size_t kCapacity = 160;
  wchar_t text_[kCapacity];
  size_t length_ = 0;
};

void ReadInteger(std::wstring_view value, int32_t& field) { ScanInt(value, field); }

void ReadTemperature(std::wstring_view value, TemperatureValue& field) {
  double v = 0;
  if (ScanDouble(value, v)) field.Set(v, kFahrenheit);
}

// Entry k of the forecast list: field k / 5 of forecast block k % 5 + 1.
void StoreForecastEntry(WeatherReport& report, int k, std::wstring_view entry) {
  ForecastDay& day = report.blocks[k % kForecastDays + 1];
  switch (k / kForecastDays) {
    case 0:
      if (!ScanInt(entry, day.weekday)) day.weekday = 0;
      break;
    case 1:
      CopyText(day.dateText, entry);
      break;
    case 2:
      ReadInteger(entry, day.dayIcon);
      break;
    case 3:
      ReadInteger(entry, day.dayTextCode);
      break;
    case 4:
      ReadTemperature(entry, day.highTemperature);
      break;
    case 5:
      ReadInteger(entry, day.rainChance);
      break;
    case 6:
      ReadInteger(entry, day.nightIcon);
      break;
    case 7:
      ReadInteger(entry, day.nightTextCode);
      break;
    case 8:
      ReadTemperature(entry, day.lowTemperature);
      break;
    default:
      break;
  }
}

void StoreForecast(WeatherReport& report, std::wstring_view list) {
  int k = 0;
  ForEachPiece(list, L'|', [&](std::wstring_view entry) {
    StoreForecastEntry(report, k, entry);
    return ++k < kForecastEntries;
  });
}

void StoreValue(WeatherReport& report, Variable variable, std::wstring_view value) {
  ForecastDay& now = report.blocks[0];
  std::wstring_view number = value.substr(0, kNumberChars);
  switch (variable) {
    case kSwCity:
      CopyText(report.city, value);
      break;
    case kSwSubDiv:
      CopyText(report.subDivision, value);
      break;
    case kSwCountry:
      CopyText(report.country, value);
      break;
    case kSwRegion:
      CopyText(report.region, value);
      break;
    case kSwTemp:
      ReadTemperature(number, now.highTemperature);
      break;
    case kSwCIcon:
      ReadInteger(number, now.dayIcon);
      break;
    case kSwWindS:
      ReadInteger(number, now.windSpeed);
      break;
    case kSwWindD:
      CopyText(now.windDirection, value);
      break;
    case kSwBaro:
      ScanDouble(number, now.pressure);
      break;
    case kSwHumid:
      ReadInteger(number, now.humidity);
      break;
    case kSwReal:
      ReadTemperature(number, now.temperature);
      break;
    case kSwUV:
      ReadInteger(number, now.uvIndex);
      break;
    case kSwVis:
      ReadInteger(number, now.visibility);
      break;
    case kSwLastUp:
      CopyText(report.lastUpdated, value);
      break;
    case kSwConText:
      CopyText(report.conditionText, value);
      break;
    case kSwFore:
      StoreForecast(report, value);
      break;
    case kNoVariable:
      break;
  }
}

struct Date {
  int64_t day = 0;
  int64_t month = 0;
  int64_t year = 0;
};

// Reads the feed's "month/day/year hour:minute:second", moves it to GMT and rewrites it as
// "dd/mm/yyyy hh:mm:ss GMT". Returns the date it stands for (the numbers read, the rest 0, when
// the text is not a full date and time, which is then left as it is).
Date ShiftLastUpdated(WeatherReport& report) {
  int32_t read[6] = {};
  int count = ScanInts(report.lastUpdated, L"%d/%d/%d %d:%d:%d", read);
  int64_t month = read[0], day = read[1], year = read[2];
  int64_t hour = read[3], minute = read[4], second = read[5];
  if (count == 6) {
    hour += kHoursBehindGmt;
    // Only the hour carries into the day, and only a carried day into the month: there is no
    // table of month lengths.
    if (hour > 23) {
      hour -= 24;
      day += 1;
      if (day > 31) {
        day = 1;
        month += 1;
        if (month > 12) {
          month = 1;
          year += 1;
        }
      }
    }
    ShortText text;
    text.Padded(day, 2);
    text.Add(L'/');
    text.Padded(month, 2);
    text.Add(L'/');
    text.Padded(year, 4);
    text.Add(L' ');
    text.Padded(hour, 2);
    text.Add(L':');
    text.Padded(minute, 2);
    text.Add(L':');
    text.Padded(second, 2);
    text.Add(L" GMT");
    CopyText(report.lastUpdated, text.View());
  }
  return Date{day, month, year};
}

// Rewrites each forecast date from month/day/year to dd/mm/yyyy; true when one of them is `today`.
bool RewriteForecastDates(WeatherReport& report, const Date& today) {
  bool found = false;
  for (int b = 1; b <= kForecastDays; ++b) {
    ForecastDay& day = report.blocks[b];
    int32_t read[3] = {};
    if (ScanInts(day.dateText, L"%d/%d/%d", read) != 3) continue;
    ShortText text;
    text.Padded(read[1], 2);
    text.Add(L'/');
    text.Padded(read[0], 2);
    text.Add(L'/');
    text.Padded(read[2], 4);
    CopyText(day.dateText, text.View());
    if (read[1] == today.day && read[0] == today.month && read[2] == today.year) found = true;
  }
  return found;
}

// Today is in the forecast: the current block takes the first forecast day's values.
void MergeToday(WeatherReport& report) {
  ForecastDay& now = report.blocks[0];
  const ForecastDay& first = report.blocks[1];
  now.feelsLike = now.temperature;
  now.temperature = now.highTemperature;
  now.highTemperature = first.highTemperature;
  now.lowTemperature = first.lowTemperature;
  now.nightTextCode = first.nightTextCode;
  now.rainChance = first.rainChance;
  now.dayTextCode = first.dayTextCode;
  now.nightIcon = first.nightIcon;
  now.weekday = first.weekday;
  if (now.dayIcon == 0) now.dayIcon = first.dayIcon;
}

}  // namespace

void ForecastDay::Reset() {
  weekday = 0;
  dayTextCode = 0;
  nightTextCode = 0;
  rainChance = 0;
  dayIcon = 0;
  nightIcon = 0;
  visibility = 0;
  windSpeed = -9999;
  uvIndex = -9999;
  humidity = -9999;
  pressure = -9999.9;
  dateText[0] = L'\0';
  windDirection[0] = L'\0';
}

WeatherReport::WeatherReport() {
  if (!ReadString(HKEY_CURRENT_USER, kSettingsKey, kInstallPath, installFolder)) {
    installFolder = kDefaultInstallFolder;
  }
}

void ParseFeed(WeatherReport& report, const wchar_t* text, bool& changed) {
  if (text == nullptr) text = L"";
  if (std::wcscmp(text, report.feedText) == 0) {
    changed = false;
    return;
  }
  std::wstring_view feed(text, KeptLength(text));
  if (feed == std::wstring_view(report.feedText)) {
    changed = false;
    return;
  }
  // The kept part holds no NUL and fits with its terminator.
  std::wmemcpy(report.feedText, feed.data(), feed.size());
  report.feedText[feed.size()] = L'\0';
  changed = true;

  for (int b = 1; b <= kForecastDays; ++b) report.blocks[b].Reset();
  report.blocks[0].Reset();

  ForEachPiece(feed, L';', [&](std::wstring_view statement) {
    Variable variable = FindVariable(statement);
    if (variable != kNoVariable) {
      if (std::optional<std::wstring_view> value = QuotedValue(statement)) {
        StoreValue(report, variable, *value);
      }
    }
    return true;
  });

  Date today = ShiftLastUpdated(report);
  CopyText(report.blocks[0].dateText, report.lastUpdated);
  if (RewriteForecastDates(report, today)) MergeToday(report);
}

bool HoldsWeather(const wchar_t* text) {
  if (text == nullptr) return false;
  bool found = false;
  ForEachPiece(std::wstring_view(text, KeptLength(text)), L';', [&](std::wstring_view statement) {
    const Variable variable = FindVariable(statement);
    found = (variable == kSwTemp || variable == kSwLastUp) && QuotedValue(statement).has_value();
    return !found;
  });
  return found;
}

const std::wstring& InstallFolder(const WeatherReport& report) { return report.installFolder; }

int32_t WindCompassPoint(const WeatherReport& report) {
  struct Point {
    std::wstring_view letters[3];
    int32_t number;
  };
  // Tried in this order; the first group the direction starts with gives the point.
  static constexpr Point kPoints[] = {
      {{L"NNE", L"NEN", L"ENN"}, 1},
      {{L"NNW", L"NWN", L"WNN"}, 15},
      {{L"NEE", L"ENE", L"EEN"}, 3},
      {{L"SEE", L"ESE", L"EES"}, 5},
      {{L"SSE", L"SES", L"ESS"}, 7},
      {{L"SSW", L"SWS", L"WSS"}, 9},
      {{L"WWS", L"WSW", L"SWW"}, 11},
      {{L"WWN", L"WNW", L"NWW"}, 13},
      {{L"NE", L"EN"}, 2},
      {{L"SE", L"ES"}, 6},
      {{L"SW", L"WS"}, 10},
      {{L"NW", L"WN"}, 14},
      {{L"N"}, 0},
      {{L"E"}, 4},
      {{L"S"}, 8},
      {{L"W"}, 12},
  };
  std::wstring_view direction(report.blocks[0].windDirection);
  for (const Point& point : kPoints) {
    for (std::wstring_view letters : point.letters) {
      if (!letters.empty() && direction.starts_with(letters)) return point.number;
    }
  }
  return -1;
}

}  // namespace cirrodex
