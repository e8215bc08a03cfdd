// Answers of the forecast API as feeds: recorded answers in, the expected feed document out, and
// that document through the product's own parser; the weather-code table code by code.
#include "service/feeds/open_meteo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "core/condition_texts.h"
#include "core/icon_table.h"
#include "core/summary_drawing.h"
#include "core/temperature.h"
#include "core/weather_report.h"
#include "platform/clock.h"
#include "platform/recording_context.h"
#include "service/feeds/weather_codes.h"
#include "tests/service/api_stand_in.h"
#include "tests/support/temp_device.h"

namespace cirrodex::service {
namespace {

using Json = nlohmann::json;

std::filesystem::path Golden(const std::string& name) {
  return testing::SourceDir() / "tests" / "service" / "golden" / name;
}

using testing::ReadFile;

Location Shipped(const std::string& code) {
  LocationIndex index;
  index.LoadFolder(testing::SourceDir() / "package" / "citycodes");
  const Location* location = index.Find(code);
  return location ? *location : Location{};
}

std::string FeedOf(const std::string& answer, const Location& location) {
  std::string error;
  const auto weather = ReadOpenMeteo(answer, location, error);
  EXPECT_TRUE(weather) << error;
  return weather ? FormatFeed(*weather) : std::string();
}

std::unique_ptr<WeatherReport> Parse(const std::string& feed) {
  // A report reads its install folder from the registry when it is built: from a device folder of
  // its own, never the user's.
  const cirrodex::testing::TempDevice device;
  auto report = std::make_unique<WeatherReport>();
  bool changed = false;
  ParseFeed(*report, std::wstring(feed.begin(), feed.end()).c_str(), changed);
  return report;
}

// ---- golden answers --------------------------------------------------------------------------

// What the parser makes of each golden feed: block 0 after the merge of today's forecast.
struct GoldenCase {
  const char* name;
  const char* code;
  const wchar_t* city;
  const wchar_t* lastUpdated;
  double temperature, feelsLike, high, low;
  int weekday, dayIcon, nightIcon, dayTextCode, nightTextCode, rainChance;
  int windSpeed;
  const wchar_t* windDirection;
  double pressure;
  int humidity, uvIndex, visibility;
  const wchar_t* conditionText;
  const wchar_t* lastDay;  // block 5's date
};

const GoldenCase kGoldens[] = {
    {"oslo_snow", "NOXX0029",   L"Oslo", L"15/01/2024 10:00:00 GMT",
     21.4,        12.6,         24.1,    15.3,
     2,           16,           46,      109,
     109,         87,           10,      L"NE",
     29.62,       91,           0,       1,
     L"Snow",     L"19/01/2024"},
    {"miami_thunder",
     "USFL0316",
     L"Miami",
     L"18/07/2024 20:45:00 GMT",
     87.3,
     98.6,
     91.2,
     79,
     5,
     4,
     47,
     53,
     53,
     80,
     14,
     L"WSW",
     29.91,
     74,
     5,
     5,
     L"Thunderstorms",
     L"22/07/2024"},
    // No UV index in the answer: the feed leaves it out and the report keeps its missing value.
    {"london_fog",
     "UKXX0085",
     L"London",
     L"05/11/2024 07:15:00 GMT",
     44.8,
     41.2,
     50.5,
     41,
     3,
     20,
     27,
     992,
     992,
     5,
     3,
     L"S",
     30.37,
     99,
     -9999,
     0,
     L"Mist",
     L"09/11/2024"},
    {"madrid_clear_night",
     "SPXX0050",
     L"Madrid",
     L"10/08/2024 23:30:00 GMT",
     78.1,
     76.9,
     97.3,
     71.2,
     7,
     31,
     31,
     24,
     11,
     0,
     6,
     L"NW",
     29.99,
     28,
     0,
     15,
     L"Clear",
     L"14/08/2024"},
    // An answer asked in GMT: its days are GMT days.
    {"tokyo_east",
     "JAXX0085",
     L"Tokyo",
     L"10/05/2024 22:15:00 GMT",
     64.9,
     63.5,
     71.6,
     59.4,
     6,
     30,
     45,
     13,
     13,
     70,
     7,
     L"SSE",
     29.82,
     68,
     1,
     22,
     L"Partly Cloudy",
     L"14/05/2024"},
};

class GoldenAnswer : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenAnswer, BecomesTheExpectedFeed) {
  const GoldenCase& c = GetParam();
  const std::string feed = FeedOf(ReadFile(Golden(std::string(c.name) + ".json")), Shipped(c.code));
  EXPECT_EQ(feed, ReadFile(Golden(std::string(c.name) + ".feed")));
  EXPECT_LT(feed.size(), kFeedTextCapacity - 1);  // the parser keeps all of it
}

TEST_P(GoldenAnswer, ParsesIntoTheExpectedReport) {
  const GoldenCase& c = GetParam();
  const auto report =
      Parse(FeedOf(ReadFile(Golden(std::string(c.name) + ".json")), Shipped(c.code)));
  const ForecastDay& now = report->blocks[0];
  EXPECT_STREQ(report->city, c.city);
  EXPECT_STREQ(report->lastUpdated, c.lastUpdated);
  EXPECT_STREQ(report->conditionText, c.conditionText);
  EXPECT_EQ(now.temperature.value, c.temperature);
  EXPECT_EQ(now.feelsLike.value, c.feelsLike);
  EXPECT_EQ(now.highTemperature.value, c.high);
  EXPECT_EQ(now.lowTemperature.value, c.low);
  EXPECT_EQ(now.highTemperature.unit, 1);
  EXPECT_EQ(now.weekday, c.weekday);
  EXPECT_EQ(now.dayIcon, c.dayIcon);
  EXPECT_EQ(now.nightIcon, c.nightIcon);
  EXPECT_EQ(now.dayTextCode, c.dayTextCode);
  EXPECT_EQ(now.nightTextCode, c.nightTextCode);
  EXPECT_EQ(now.rainChance, c.rainChance);
  EXPECT_EQ(now.windSpeed, c.windSpeed);
  EXPECT_STREQ(now.windDirection, c.windDirection);
  EXPECT_DOUBLE_EQ(now.pressure, c.pressure);
  EXPECT_EQ(now.humidity, c.humidity);
  EXPECT_EQ(now.uvIndex, c.uvIndex);
  EXPECT_EQ(now.visibility, c.visibility);
  EXPECT_STREQ(report->blocks[5].dateText, c.lastDay);
}

INSTANTIATE_TEST_SUITE_P(Climates, GoldenAnswer, ::testing::ValuesIn(kGoldens),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- answers recorded by others -------------------------------------------------------------

std::filesystem::path Recorded(const std::string& name) {
  return testing::SourceDir() / "tests" / "service" / "recorded" / name;
}

TEST(RecordedAnswer, LisbonInUnixTimeCelsiusAndKilometresBecomesItsFeed) {
  const std::string feed = FeedOf(ReadFile(Recorded("lisbon_unixtime.json")), Shipped("POXX0016"));
  EXPECT_EQ(feed, ReadFile(Recorded("lisbon_unixtime.feed")));
  // 12.1 and 17.7 degrees Celsius, as the source said them.
  const auto report = Parse(feed);
  EXPECT_EQ(FormatTemperature(report->blocks[0].temperature, kCelsius, 1), L"12.1\u00BAC");
  EXPECT_EQ(FormatTemperature(report->blocks[0].highTemperature, kCelsius, 1), L"17.7\u00BAC");
}

TEST(RecordedAnswer, KolkataWithoutCurrentConditionsIsRefusedAndWithThemKeepsItsDays) {
  std::string error;
  Json answer = Json::parse(ReadFile(Recorded("kolkata_daily_only.json")));
  EXPECT_FALSE(ReadOpenMeteo(answer.dump(), Shipped("IN001214"), error));
  EXPECT_NE(error.find("no readable time"), std::string::npos) << error;
  // 01:00 in Kolkata is still the day before in GMT: the days are Kolkata's all the same.
  answer["current"] = {{"time", "2025-05-29T01:00"}, {"temperature_2m", 80.1}};
  const auto weather = ReadOpenMeteo(answer.dump(), Shipped("IN001214"), error);
  ASSERT_TRUE(weather) << error;
  EXPECT_EQ(weather->lastUpdate, "5/28/2025 13:30:00");
  EXPECT_EQ(std::vector<int>({weather->days[0].day, weather->days[4].day}),
            std::vector<int>({29, 2}));
  EXPECT_EQ(FeedDegrees(*weather->days[2].high), "87.6");  // 30.9 degrees Celsius
  EXPECT_FALSE(weather->days[0].rainChance);               // not asked for by that project
  EXPECT_EQ(weather->days[0].dayIcon, kUnknownIcon);       // "weathercode", not "weather_code"
}

// ---- variations of one answer ----------------------------------------------------------------

class OpenMeteoAnswer : public ::testing::Test {
 protected:
  Json answer_ = Json::parse(ReadFile(Golden("oslo_snow.json")));
  const Location oslo_ = Shipped("NOXX0029");
  const std::string expected_ = ReadFile(Golden("oslo_snow.feed"));

  std::optional<FeedWeather> Read(std::string* error = nullptr) {
    std::string why;
    auto weather = ReadOpenMeteo(answer_.dump(), oslo_, why);
    if (error) *error = why;
    return weather;
  }
};

TEST_F(OpenMeteoAnswer, ConvertsOtherUnitsThanThoseAskedFor) {
  // The same weather as the golden answer, in the units the answer names.
  struct Variation {
    const char* units;
    const char* field;
    const char* unit;
    Json current;  // the value of `field` in "current"
  };
  const Variation variations[] = {
      {"current_units", "temperature_2m", "°C", -5.9},
      {"current_units", "apparent_temperature", "°C", -10.8},
      {"current_units", "wind_speed_10m", "km/h", 15.8},
      {"current_units", "wind_speed_10m", "m/s", 4.4},
      {"current_units", "wind_speed_10m", "kn", 8.5},
      {"current_units", "visibility", "ft", 3937},
      {"current_units", "visibility", "km", 1.2},
      {"current_units", "visibility", "mi", 0.75},
  };
  for (const Variation& v : variations) {
    SCOPED_TRACE(std::string(v.field) + " in " + v.unit);
    answer_ = Json::parse(ReadFile(Golden("oslo_snow.json")));
    answer_[v.units][v.field] = v.unit;
    answer_["current"][v.field] = v.current;
    const auto weather = Read();
    ASSERT_TRUE(weather);
    EXPECT_EQ(FormatFeed(*weather), expected_);
  }

  answer_ = Json::parse(ReadFile(Golden("oslo_snow.json")));
  answer_["daily_units"]["temperature_2m_max"] = "°C";
  answer_["daily_units"]["temperature_2m_min"] = "°C";
  answer_["daily"]["temperature_2m_max"] = {-4.39, -2.89, -2.06, -1.11, -5.28, -6.72};
  answer_["daily"]["temperature_2m_min"] = {-9.28, -7.78, -6.17, -4.72, -11.06, -13.0};
  const auto celsius = Read();
  ASSERT_TRUE(celsius);
  EXPECT_EQ(FormatFeed(*celsius), expected_);
}

TEST_F(OpenMeteoAnswer, LeavesOutWhatItCannotReadButNeverGuessesAUnit) {
  answer_["current_units"]["wind_speed_10m"] = "furlongs/fortnight";
  answer_["current_units"]["pressure_msl"] = "mmHg";
  answer_["current"]["relative_humidity_2m"] = nullptr;
  answer_["current"].erase("visibility");
  answer_["current"]["uv_index"] = "high";
  answer_["current"]["wind_direction_10m"] = nullptr;
  const auto weather = Read();
  ASSERT_TRUE(weather);
  const std::string feed = FormatFeed(*weather);
  for (const char* absent : {"swWindS", "swWindD", "swBaro", "swHumid", "swVis", "swUV"}) {
    EXPECT_EQ(feed.find(absent), std::string::npos) << absent;
  }
  const auto report = Parse(feed);
  EXPECT_EQ(report->blocks[0].windSpeed, -9999);
  EXPECT_EQ(report->blocks[0].pressure, -9999.9);
  EXPECT_EQ(report->blocks[0].humidity, -9999);
  EXPECT_EQ(report->blocks[0].temperature.value, 21.4);
}

// The golden feed without some statements, with some forecast entries (counted from 0) missing
// and some days (0-4) without a weather code.
std::string Without(const std::string& feed, const std::vector<std::string>& statements,
                    const std::vector<int>& entries, const std::vector<int>& noCode) {
  std::string out;
  std::istringstream lines(feed);
  for (std::string line; std::getline(lines, line);) {
    const auto name = line.substr(4, line.find(' ', 4) - 4);
    if (std::find(statements.begin(), statements.end(), name) != statements.end()) continue;
    if (name == "swFore") {
      std::vector<std::string> parts(1);
      for (char ch : line.substr(14, line.size() - 16)) {
        if (ch == '|') {
          parts.emplace_back();
        } else {
          parts.back() += ch;
        }
      }
      for (int e : entries) parts[e] = kMissingEntry;
      for (int d : noCode) {
        parts[10 + d] = parts[30 + d] = std::to_string(kUnknownIcon);
        parts[15 + d] = parts[35 + d] = "0";
      }
      line = "var swFore = \"" + parts[0];
      for (size_t k = 1; k < parts.size(); ++k) line += "|" + parts[k];
      line += "\";";
    }
    out += line + "\n";
  }
  return out;
}

TEST_F(OpenMeteoAnswer, AGapCostsTheValueItLeavesOutAndNothingElse) {
  const Json erase(Json::value_t::discarded);
  const std::vector<int> rain{25, 26, 27, 28, 29}, highs{20, 21, 22, 23, 24};
  std::vector<int> days(highs);
  days.insert(days.end(), {25, 26, 27, 28, 29, 40, 41, 42, 43, 44});
  // clang-format off
  const struct {
    const char* path;
    Json value;
    std::vector<std::string> absent;
    std::vector<int> missing, noCode;
  } cases[] = {
      {"/current/apparent_temperature", nullptr, {"swReal"}, {}, {}},
      {"/current/apparent_temperature", erase, {"swReal"}, {}, {}},
      {"/current_units/apparent_temperature", "undefined", {"swReal"}, {}, {}},
      {"/current/temperature_2m", nullptr, {"swTemp"}, {}, {}},
      {"/current_units/temperature_2m", "K", {"swTemp"}, {}, {}},
      {"/current/temperature_2m", 1e300, {"swTemp"}, {}, {}},
      {"/daily/precipitation_probability_max/2", nullptr, {}, {27}, {}},
      {"/daily/precipitation_probability_max", erase, {}, rain, {}},
      {"/daily/temperature_2m_max/4", nullptr, {}, {24}, {}},
      {"/daily/temperature_2m_min", {15.3, 18.0, 20.9}, {}, {43, 44}, {}},
      {"/daily_units/temperature_2m_max", "undefined", {}, highs, {}},
      {"/daily/time/1", "16.01.2024", {}, {21, 26, 41}, {1}},
      {"/daily", erase, {}, days, {0, 1, 2, 3, 4}},
      {"/current_units", erase, {}, {}, {}},  // the units asked for
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    answer_ = Json::parse(ReadFile(Golden("oslo_snow.json")));
    const Json::json_pointer at(c.path);
    c.value.is_discarded() ? void(answer_[at.parent_pointer()].erase(at.back()))
                           : void(answer_[at] = c.value);
    std::string error;
    const auto weather = Read(&error);
    ASSERT_TRUE(weather) << error;
    EXPECT_EQ(FormatFeed(*weather), Without(expected_, c.absent, c.missing, c.noCode));
  }
}

TEST_F(OpenMeteoAnswer, ShowsUndocumentedWeatherCodesAsNoData) {
  answer_["current"]["weather_code"] = 4;
  answer_["daily"]["weather_code"][1] = nullptr;
  answer_["daily"]["weather_code"][2] = 2.5;
  const auto weather = Read();
  ASSERT_TRUE(weather);
  EXPECT_EQ(weather->icon, kUnknownIcon);
  EXPECT_EQ(weather->conditionText, "");
  for (int d : {1, 2}) {
    EXPECT_EQ(weather->days[d].dayIcon, kUnknownIcon);
    EXPECT_EQ(weather->days[d].nightIcon, kUnknownIcon);
    EXPECT_EQ(weather->days[d].dayCode, 0);
  }
  EXPECT_EQ(weather->days[3].dayIcon, 42);
}

TEST_F(OpenMeteoAnswer, StartsTheDaysOnTheCitysDateOfTheCurrentConditions) {
  struct Case {
    const char* time;
    int offsetSeconds;
    int firstDay;            // of January 2024
    const char* lastUpdate;  // six hours behind GMT
  };
  const Case cases[] = {
      {"2024-01-15T10:00", 0, 15, "1/15/2024 4:00:00"},
      // After the city's midnight the first row is yesterday: it is skipped.
      {"2024-01-16T00:15", 0, 16, "1/15/2024 18:15:00"},
      // The city's wall time, one hour east: still the 15th in GMT, already the 16th there.
      {"2024-01-16T00:30", 3600, 16, "1/15/2024 17:30:00"},
      {"2024-01-15T11:00", 3600, 15, "1/15/2024 4:00:00"},
      {"2024-01-15T10:00:30", 0, 15, "1/15/2024 4:00:30"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.time);
    answer_["current"]["time"] = c.time;
    answer_["utc_offset_seconds"] = c.offsetSeconds;
    const auto weather = Read();
    ASSERT_TRUE(weather);
    EXPECT_EQ(weather->lastUpdate, c.lastUpdate);
    for (int d = 0; d < 5; ++d) {
      EXPECT_EQ(weather->days[d].day, c.firstDay + d);
      EXPECT_EQ(weather->days[d].high,
                answer_["daily"]["temperature_2m_max"][c.firstDay + d - 15].get<double>());
    }
  }
}

TEST_F(OpenMeteoAnswer, RefusesAnswersAFeedCannotBeMadeFrom) {
  struct Case {
    const char* what;
    std::function<void(Json&)> change;
    const char* reason;  // part of the error text
  };
  const Case cases[] = {
      {"not JSON", [](Json& a) { a = "<html>busy</html>"; }, "not a JSON object"},
      {"refusal",
       [](Json& a) {
         a = Json{{"error", true}, {"reason", "Latitude must be in range"}};
       },
       "Latitude must be in range"},
      {"no current", [](Json& a) { a.erase("current"); }, "no readable time"},
      {"no time", [](Json& a) { a["current"].erase("time"); }, "no readable time"},
      {"bad time", [](Json& a) { a["current"]["time"] = "2024-02-30T10:00"; }, "no readable time"},
      {"nothing but a time",
       [](Json& a) {
         a["current"] = Json{{"time", "2024-01-15T10:00"}};
         a.erase("daily");
       },
       "no current or daily values"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    answer_ = Json::parse(ReadFile(Golden("oslo_snow.json")));
    c.change(answer_);
    std::string error;
    EXPECT_FALSE(Read(&error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
  std::string error;
  EXPECT_FALSE(ReadOpenMeteo("", oslo_, error));
  EXPECT_FALSE(ReadOpenMeteo("{\"current\": {", oslo_, error));
}

TEST_F(OpenMeteoAnswer, KeepsEveryFeedWithinTheReportsLimits) {
  const Location odd{"A \"Very\"; Long|Place Name Of Far More Than Thirty-One Letters",
                     "USXX0001",
                     "South America",
                     -89.99,
                     -179.99,
                     ""};
  for (auto& row : answer_["daily"]["temperature_2m_max"]) row = 999999;
  for (auto& row : answer_["daily"]["temperature_2m_min"]) row = -999999;
  answer_["current"]["temperature_2m"] = -999999;
  answer_["current"]["visibility"] = 999999;
  answer_["current"]["relative_humidity_2m"] = 250;
  answer_["daily"]["precipitation_probability_max"] = {-5, 180, 50, 50, 50, 50};
  std::string error;
  const auto weather = ReadOpenMeteo(answer_.dump(), odd, error);
  ASSERT_TRUE(weather) << error;
  EXPECT_EQ(weather->city.size(), 31u);
  EXPECT_EQ(weather->humidity, 100);
  EXPECT_EQ(weather->days[0].rainChance, 0);
  EXPECT_EQ(weather->days[1].rainChance, 100);
  const std::string feed = FormatFeed(*weather);
  EXPECT_LT(feed.size(), kFeedTextCapacity - 1);
  const auto report = Parse(feed);
  EXPECT_EQ(std::wstring(report->city), std::wstring(weather->city.begin(), weather->city.end()));
  EXPECT_EQ(report->blocks[0].temperature.value, -999999);
  EXPECT_EQ(report->blocks[5].lowTemperature.value, -999999);
}

// ---- the city's own days, through the client ------------------------------------------------

// Each date's high, so that a day read from the wrong row shows.
double HighOf(int64_t day) { return 40.0 + static_cast<double>(day % 30); }

// The answer the API gives for `url` at `utc` for a city `offset` seconds east of GMT: with
// timezone=auto in the city's time and days, else in GMT's.
std::string AnswerFor(const std::string& url, std::time_t utc, int offset, const char* zone) {
  Json answer = Json::parse(ReadFile(Golden("oslo_snow.json")));
  const bool local = url.find("timezone=auto") != std::string::npos;
  answer["utc_offset_seconds"] = local ? offset : 0;
  answer["timezone"] = local ? zone : "GMT";
  answer = Json::parse(AnswerAt(answer.dump(), utc));
  for (int row = 0; row < 6; ++row) {
    const int64_t day = FloorDiv(utc + (local ? offset : 0), 86400) + row;
    answer["daily"]["temperature_2m_max"][row] = HighOf(day);
    answer["daily"]["temperature_2m_min"][row] = HighOf(day) - 20;
  }
  return answer.dump();
}

struct Zone {
  const char* name;
  int offset;     // seconds east of GMT
  int todayFrom;  // the first whole hour at which the client's merge takes today's high and low
};

// Until the city's hour reaches its offset east, GMT is still on the city's yesterday: the
// client's merge finds no forecast date equal to the GMT date of the update and moves nothing.
const Zone kZones[] = {{"Asia_Tokyo", 9 * 3600, 9},
                       {"Asia_Kolkata", 19800, 6},
                       {"America_Los_Angeles", -8 * 3600, 0},
                       {"Pacific_Tongatapu", 13 * 3600, 13},
                       {"Pacific_Pago_Pago", -11 * 3600, 0}};

class CityDays : public ::testing::TestWithParam<std::tuple<Zone, int>> {};

TEST_P(CityDays, TheStripShowsTheCitysTomorrowOnAndTodaysHighWhenTheMergeCanTakeIt) {
  const auto& [zone, hour] = GetParam();
  const int64_t monday = DaysFromCivil({2026, 12, 7});
  const Location city{"City", "N0000E00000", "Region", 0, 0, ""};
  const std::string feed =
      FeedOf(AnswerFor(OpenMeteoRequestUrl(kOpenMeteoUrl, city),
                       monday * 86400 + hour * 3600 - zone.offset, zone.offset, zone.name),
             city);
  // A device in the city's zone, at the city's hour.
  platform::FixedClock clock({2026, 12, 1, 7, static_cast<uint16_t>(hour), 0, 0, 0});
  platform::SetClockForTesting(&clock);
  const testing::TempDevice device;
  WeatherReport report;
  bool changed = false;
  ParseFeed(report, std::wstring(feed.begin(), feed.end()).c_str(), changed);
  platform::RecordingContext dc;
  DrawSummary(report, dc, 10, 0, 230, SummaryHeight(1), 1, InstallFolder(report), kFahrenheit);
  platform::SetClockForTesting(nullptr);

  // Layout 1: three day columns 44 pixels wide, texts from x = 99, each led by its weekday.
  std::vector<std::wstring> columns, expected;
  for (const auto& call : dc.CallsOf(platform::RecordingContext::Kind::Text)) {
    const int column = (call.rect.left - 99) / 44;
    if (call.rect.left >= 99 && (call.rect.left - 99) % 44 == 0 && column == int(columns.size())) {
      columns.push_back(call.text);
    }
  }
  for (int d = 1; d <= 3; ++d)
    expected.push_back(WeekdayName(WeekdayOfDays(monday + d), WeekdayForm::Short));
  EXPECT_EQ(columns, expected);
  EXPECT_EQ(report.blocks[0].highTemperature.value == HighOf(monday), hour >= zone.todayFrom);
  EXPECT_EQ(report.blocks[0].lowTemperature.value == HighOf(monday) - 20, hour >= zone.todayFrom);
}

INSTANTIATE_TEST_SUITE_P(ZonesAndHours, CityDays,
                         ::testing::Combine(::testing::ValuesIn(kZones),
                                            ::testing::Values(1, 8, 17, 23)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "_" +
                                  std::to_string(std::get<1>(info.param));
                         });

// What the source said, rounded once on the way to the screen.
TEST(OpenMeteoDegrees, ShowAsTheSourceSaidThemInEveryUnit) {
  // clang-format off
  const struct { double value; const char* unit; int32_t shown; const wchar_t* text; } cases[] = {
      {31.4, "°C", kCelsius, L"31\u00BAC"}, {-3.7, "°C", kCelsius, L"-4\u00BAC"},
      {-3.4, "°C", kCelsius, L"-3\u00BAC"}, {-40.0, "°F", kCelsius, L"-40\u00BAC"},
      {88.6, "°F", kFahrenheit, L"89\u00BAF"}, {-12.3, "°C", kKelvin, L"261K"}};
  // clang-format on
  for (const auto& c : cases) {
    Json answer = Json::parse(ReadFile(Golden("oslo_snow.json")));
    answer["current_units"]["temperature_2m"] = c.unit;
    answer["current"]["temperature_2m"] = c.value;
    const auto report = Parse(FeedOf(answer.dump(), Shipped("NOXX0029")));
    EXPECT_EQ(FormatTemperature(report->blocks[0].temperature, c.shown, 0), c.text) << c.value;
  }
}

TEST(OpenMeteoRequest, AsksForEverythingTheFeedNeedsInItsUnits) {
  const Location london{"London", "UKXX0085", "Europe", 51.51, -0.13, ""};
  const std::string url = OpenMeteoRequestUrl(kOpenMeteoUrl, london);
  EXPECT_EQ(
      url.rfind("https://api.open-meteo.com/v1/forecast?latitude=51.5100&longitude=-0.1300&", 0),
      0u)
      << url;
  for (const char* part :
       {"current=temperature_2m,apparent_temperature,relative_humidity_2m,pressure_msl,"
        "wind_speed_10m,wind_direction_10m,weather_code,visibility,uv_index,is_day&",
        "daily=weather_code,temperature_2m_max,temperature_2m_min,precipitation_probability_max,"
        "sunrise,sunset&",
        "hourly=temperature_2m,apparent_temperature,precipitation_probability,precipitation,"
        "weather_code,wind_speed_10m,wind_direction_10m,is_day&",
        "forecast_hours=49", "minutely_15=precipitation&", "forecast_minutely_15=9",
        "temperature_unit=fahrenheit", "wind_speed_unit=mph", "timezone=auto", "forecast_days=6"}) {
    EXPECT_NE(url.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(OpenMeteoRequestUrl("http://127.0.0.1:9/v1/forecast?apikey=x", london)
                .rfind("http://127.0.0.1:9/v1/forecast?apikey=x&latitude=51.5100&", 0),
            0u);
}

// ---- the weather-code table ------------------------------------------------------------------

// The codes the API documents, grouped by what they mean.
enum class Group { Sky, Fog, Drizzle, Rain, Snow, Thunder };
const std::pair<int, Group> kDocumented[] = {
    {0, Group::Sky},      {1, Group::Sky},      {2, Group::Sky},      {3, Group::Sky},
    {45, Group::Fog},     {48, Group::Fog},     {51, Group::Drizzle}, {53, Group::Drizzle},
    {55, Group::Drizzle}, {56, Group::Drizzle}, {57, Group::Drizzle}, {61, Group::Rain},
    {63, Group::Rain},    {65, Group::Rain},    {66, Group::Rain},    {67, Group::Rain},
    {71, Group::Snow},    {73, Group::Snow},    {75, Group::Snow},    {77, Group::Snow},
    {80, Group::Rain},    {81, Group::Rain},    {82, Group::Rain},    {85, Group::Snow},
    {86, Group::Snow},    {95, Group::Thunder}, {96, Group::Thunder}, {99, Group::Thunder},
};

bool Liquid(Precip p) {
  return p == Precip::Drizzle || p == Precip::Showers || p == Precip::Rain ||
         p == Precip::HeavyRain || p == Precip::FreezingRain;
}
bool Frozen(Precip p) {
  return p == Precip::Flurries || p == Precip::Snow || p == Precip::HeavySnow;
}

TEST(WeatherCodes, EveryDocumentedCodeHasTextsAndShippedIconsOfItsHalf) {
  EXPECT_EQ(DocumentedWeatherCodes().size(), std::size(kDocumented));
  for (const auto& [code, group] : kDocumented) {
    SCOPED_TRACE(code);
    const WeatherCodeMapping* m = FindWeatherCode(code);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->wmoCode, code);
    for (int32_t text : {m->dayCode, m->nightCode}) {
      EXPECT_EQ(ConditionText(text).find(L"<unknown"), std::wstring::npos) << text;
    }
    const auto day = IconFor(m->dayIcon);
    const auto night = IconFor(m->nightIcon);
    ASSERT_TRUE(day && night);
    EXPECT_NE(m->dayIcon, kUnknownIcon);
    EXPECT_NE(m->nightIcon, kUnknownIcon);
    EXPECT_FALSE(day->night);
    EXPECT_TRUE(night->night);
    for (int32_t icon : {m->dayIcon, m->nightIcon}) {
      EXPECT_TRUE(std::filesystem::exists(testing::BuildDir() / "share" / "cirrodex" / "bmp" /
                                          (std::to_string(icon) + ".bmp")))
          << icon;
    }

    // The pictures say what the code says.
    for (const IconInfo& icon : {*day, *night}) {
      switch (group) {
        case Group::Sky:
          EXPECT_EQ(icon.precip, Precip::None);
          EXPECT_FALSE(icon.thunder);
          break;
        case Group::Fog:
          EXPECT_EQ(icon.precip, Precip::None);
          break;
        case Group::Drizzle:
        case Group::Rain:
          EXPECT_TRUE(Liquid(icon.precip));
          EXPECT_FALSE(icon.thunder);
          break;
        case Group::Snow:
          EXPECT_TRUE(Frozen(icon.precip));
          break;
        case Group::Thunder:
          EXPECT_TRUE(icon.thunder);
          break;
      }
    }
    if (group == Group::Fog) {
      EXPECT_EQ(day->obscured, Obscured::Fog);
    }
    if (code == 0) {
      EXPECT_EQ(day->clouds, Clouds::None);
      EXPECT_EQ(night->clouds, Clouds::None);
    }
    if (code == 3) {
      EXPECT_EQ(day->clouds, Clouds::Overcast);
    }
  }
}

TEST(WeatherCodes, UndocumentedCodesHaveNoMapping) {
  for (int code : {-1, 4, 10, 44, 46, 50, 60, 94, 97, 100, 255}) {
    EXPECT_EQ(FindWeatherCode(code), nullptr) << code;
  }
}

}  // namespace
}  // namespace cirrodex::service
