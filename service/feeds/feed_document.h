// The feed document the service answers with, whatever the weather came from: one
// "var swName = "value";" statement a line, the forecast field by field in one "swFore" list.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace cirrodex::service {

// The report's text fields hold 31 characters.
inline constexpr size_t kFeedTextLimit = 31;

// What a forecast entry says when its value is missing: not a number, so the parser keeps its
// missing value, and not empty, which would move every later entry one place.
inline constexpr char kMissingEntry[] = "N/A";

// One forecast day. Temperatures in Fahrenheit; an empty value is sent as kMissingEntry.
struct FeedDay {
  int weekday = 0;  // 1 = Sunday
  int year = 0, month = 0, day = 0;
  int dayIcon = 0, dayCode = 0;
  int nightIcon = 0, nightCode = 0;
  std::optional<double> high, low;
  std::optional<int> rainChance;  // percent
};

// What one feed document says. A value left empty is not written, so the parser keeps its
// missing value for it.
struct FeedWeather {
  std::string city;  // at most kFeedTextLimit characters
  std::string subDivision, country, region;
  std::optional<double> temperature, feelsLike;  // Fahrenheit, sent with one decimal
  int icon = 0;
  std::string conditionText;
  std::optional<int> windSpeed;                      // miles per hour
  std::string windDirection;                         // compass letters
  std::optional<double> pressure;                    // inches of mercury
  std::optional<int> humidity, uvIndex, visibility;  // percent, index, miles
  std::string lastUpdate;   // month/day/year hour:minute:second, six hours behind GMT
  std::time_t updated = 0;  // the same time in seconds since the epoch
  FeedDay days[5];
};

std::string FormatFeed(const FeedWeather& weather);

// Degrees as the feed sends them: one decimal, none when it is 0 ("88.5", "21", "-3.2").
std::string FeedDegrees(double degrees);

// UTF-8 text as Latin-1, the one byte per character that the feed's readers take: a character
// beyond Latin-1 becomes "?"; a byte that starts no UTF-8 sequence is kept as it is.
std::string Latin1(std::string_view text);

// `text` with every character that would end a value, a statement or a forecast entry (double
// quote, ";", "|", control characters) made a space.
std::string FeedText(std::string_view text);

// A place name (UTF-8) for the city field: in Latin-1, made feed-safe, cut so that `mark` still
// fits in kFeedTextLimit characters, trailing spaces dropped, `mark` appended.
std::string FeedCityName(const std::string& name, const std::string& mark = "");

// UTF-8 text for any other text field, as FeedCityName without a mark.
std::string FeedField(std::string_view text);

// The state of a United States code of the first cities ("USMA0046" -> "MA"); empty for every
// other code.
std::string SubDivisionOfCode(const std::string& code);

// `utc` as the feed family writes its update time: six hours behind GMT, "%d/%d/%d %d:%02d:%02d"
// of month, day, year, hour, minute, second.
std::string FeedUpdateTime(std::time_t utc);

// 16-point compass letters ("N", "NNE" .. "NNW") of a direction in degrees clockwise from north.
const char* CompassLetters(double degrees);

struct CivilDate {
  int year, month, day;
};

// Days since 1970-01-01 and back, proleptic Gregorian calendar.
CivilDate CivilFromDays(int64_t days);
int64_t DaysFromCivil(const CivilDate& date);
// 1 = Sunday .. 7 = Saturday.
int WeekdayOfDays(int64_t days);
int64_t FloorDiv(int64_t a, int64_t b);

}  // namespace cirrodex::service
