#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/weather_report.h"
#include "platform/text.h"
#include "tests/support/temp_device.h"

namespace cirrodex {
namespace {

using platform::FromUtf8;
using platform::ToUtf8;
using testing::DeviceTest;

using testing::ReadFile;

std::filesystem::path Golden(const char* name) {
  return testing::SourceDir() / "tests" / "core" / "golden" / name;
}

std::string Temperature(const TemperatureValue& t) {
  if (!t.valid) return "unset";
  char text[64];
  std::snprintf(text, sizeof text, "%.2f/%d", t.value, t.unit);
  return text;
}

// Every field of the report, one line per block, for comparing whole reports.
std::string Dump(const WeatherReport& r) {
  std::ostringstream out;
  out << "city: " << ToUtf8(r.city) << "\nsubDivision: " << ToUtf8(r.subDivision)
      << "\nregion: " << ToUtf8(r.region) << "\ncountry: " << ToUtf8(r.country)
      << "\nlastUpdated: " << ToUtf8(r.lastUpdated)
      << "\nconditionText: " << ToUtf8(r.conditionText)
      << "\nwindCompassPoint: " << WindCompassPoint(r) << "\n";
  for (int b = 0; b < 6; ++b) {
    const ForecastDay& d = r.blocks[b];
    char pressure[64];
    std::snprintf(pressure, sizeof pressure, "%.2f", d.pressure);
    out << "block " << b << ": weekday=" << d.weekday << " date=" << ToUtf8(d.dateText)
        << " high=" << Temperature(d.highTemperature) << " low=" << Temperature(d.lowTemperature)
        << " temperature=" << Temperature(d.temperature)
        << " feelsLike=" << Temperature(d.feelsLike) << " dayText=" << d.dayTextCode
        << " nightText=" << d.nightTextCode << " rain=" << d.rainChance << " dayIcon=" << d.dayIcon
        << " nightIcon=" << d.nightIcon << " windSpeed=" << d.windSpeed
        << " windDirection=" << ToUtf8(d.windDirection) << " visibility=" << d.visibility
        << " pressure=" << pressure << " uv=" << d.uvIndex << " humidity=" << d.humidity << "\n";
  }
  return out.str();
}

class FeedParser : public DeviceTest {
 protected:
  bool Parse(const std::wstring& text) {
    bool changed = false;
    ParseFeed(report_, text.c_str(), changed);
    return changed;
  }
  WeatherReport report_;
};

TEST_F(FeedParser, FullFeedGivesTheGoldenReport) {
  std::wstring feed = FromUtf8(ReadFile(Golden("full_feed.txt")));
  ASSERT_GT(feed.size(), 800u);
  EXPECT_TRUE(Parse(feed));
  EXPECT_EQ(Dump(report_), ReadFile(Golden("full_feed.expected")));
  EXPECT_EQ(std::wstring(report_.feedText), feed);
}

TEST_F(FeedParser, TheSameTextTwiceLeavesTheReportUntouched) {
  std::wstring feed = FromUtf8(ReadFile(Golden("full_feed.txt")));
  ASSERT_TRUE(Parse(feed));
  std::string first = Dump(report_);
  // Only a reparse would shift the last-update time again.
  EXPECT_FALSE(Parse(feed));
  EXPECT_EQ(Dump(report_), first);
  EXPECT_TRUE(Parse(feed + L" "));
}

TEST_F(FeedParser, ANewReportKeepsTheEmptyTextAsUnchanged) {
  bool changed = true;
  ParseFeed(report_, nullptr, changed);
  EXPECT_FALSE(changed);
  EXPECT_FALSE(Parse(L""));
  EXPECT_EQ(report_.blocks[0].windSpeed, -9999);
}

TEST_F(FeedParser, StatementWithTwoNamesGoesToTheEarlierOfTheList) {
  Parse(L"var swTemp = \"swCity\";var swVis swHumid = \"7\"");
  EXPECT_STREQ(report_.city, L"swCity");
  EXPECT_FALSE(report_.blocks[0].highTemperature.valid);
  EXPECT_EQ(report_.blocks[0].humidity, 7);
  EXPECT_EQ(report_.blocks[0].visibility, 0);
}

TEST_F(FeedParser, SemicolonInsideAValueSplitsTheStatement) {
  Parse(L"swConText=\"Sunny\"");
  Parse(L"swConText = \"Rain; heavy\";swCity=\"Paris\"");
  EXPECT_STREQ(report_.conditionText, L"Sunny");
  EXPECT_STREQ(report_.city, L"Paris");
}

struct QuotedCase {
  const wchar_t* statement;
  const wchar_t* city;  // what swCity holds afterwards ("Before" when the statement was skipped)
};

TEST_F(FeedParser, QuotedValueRules) {
  const QuotedCase cases[] = {
      {L"swCity=\"\"", L""},
      {L"swCity=\"a\"b\"c\"", L"a"},
      {L"swCity = \" spaced \\\" \"", L" spaced \\"},
      {L"swCity=\"only one", L"Before"},
      {L"swCity", L"Before"},
      {L"\"\"swCity\"X\"", L"Before"},
      {L"\" \"swCity\"X\"", L" "},
      {L"SWCITY=\"Upper\"", L"Before"},
  };
  for (const QuotedCase& c : cases) {
    Parse(L"swCity=\"Before\"");
    Parse(std::wstring(L";;;") + c.statement + L";;");
    EXPECT_STREQ(report_.city, c.city) << ToUtf8(c.statement);
  }
}

TEST_F(FeedParser, NumbersReadAsTheFormattedScanDoes) {
  Parse(L"swTemp=\"  -3.5abc\";swWindS=\"12.7\";swBaro=\"+30.1e0\";swUV=\" 4x\";swHumid=\"x\"");
  const ForecastDay& now = report_.blocks[0];
  EXPECT_EQ(now.highTemperature.value, -3.5);
  EXPECT_EQ(now.highTemperature.unit, kFahrenheit);
  EXPECT_EQ(now.windSpeed, 12);
  EXPECT_EQ(now.pressure, 30.1);
  EXPECT_EQ(now.uvIndex, 4);
  EXPECT_EQ(now.humidity, -9999);

  // Temperatures are not reset, so a value that does not read keeps the earlier one.
  for (const wchar_t* bad : {L"abc", L"inf", L"nan", L"", L"-", L"1e999"}) {
    Parse(std::wstring(L"swVis=\"1\";swTemp=\"") + bad + L"\"");
    EXPECT_EQ(report_.blocks[0].highTemperature.value, -3.5) << ToUtf8(bad);
  }
  Parse(L"swWindS=\"99999999999\";swHumid=\"-99999999999\"");
  EXPECT_EQ(report_.blocks[0].windSpeed, 2147483647);
  EXPECT_EQ(report_.blocks[0].humidity, -2147483647 - 1);
}

TEST_F(FeedParser, NumericValueIsReadFromItsFirst31Characters) {
  Parse(L"swWindS=\"" + std::wstring(30, L' ') + L"5\"");
  EXPECT_EQ(report_.blocks[0].windSpeed, 5);
  Parse(L"swWindS=\"" + std::wstring(31, L' ') + L"5\"");
  EXPECT_EQ(report_.blocks[0].windSpeed, -9999);
}

TEST_F(FeedParser, OverlongValuesAreCutToTheirFields) {
  std::wstring longText(200, L'x');
  Parse(L"swCity=\"" + longText + L"\";swWindD=\"" + longText + L"\";swFore=\"1|" + longText +
        L"\"");
  EXPECT_EQ(std::wstring(report_.city), std::wstring(31, L'x'));
  EXPECT_EQ(std::wstring(report_.blocks[0].windDirection), std::wstring(31, L'x'));
  // The second entry is forecast day 2's weekday.
  EXPECT_EQ(report_.blocks[1].weekday, 1);
  EXPECT_EQ(report_.blocks[2].weekday, 0);
  Parse(L"swFore=\"1|2|3|4|5|" + longText + L"\"");
  EXPECT_EQ(std::wstring(report_.blocks[1].dateText), std::wstring(33, L'x'));
}

TEST_F(FeedParser, EmptyForecastEntriesAreNotCounted) {
  Parse(L"swFore=\"1||2|3|4|5|||6/1/2005|\"");
  for (int b = 1; b <= 5; ++b) EXPECT_EQ(report_.blocks[b].weekday, b) << b;
  EXPECT_STREQ(report_.blocks[1].dateText, L"01/06/2005");
  EXPECT_STREQ(report_.blocks[2].dateText, L"");
}

TEST_F(FeedParser, ForecastEntriesBeyond45AreIgnoredAndMissingOnesStayMissing) {
  std::wstring list;
  for (int k = 0; k < 50; ++k) list += std::to_wstring(k + 1) + L"|";
  Parse(L"swFore=\"" + list + L"\"");
  // Entry 44, the last counted, is the low temperature of day 5.
  EXPECT_EQ(report_.blocks[5].lowTemperature.value, 45.0);
  EXPECT_EQ(report_.blocks[1].weekday, 1);
  EXPECT_EQ(report_.blocks[1].lowTemperature.value, 41.0);

  Parse(L"swFore=\"2|3|4|5|6|1/2/2005|1/3/2005\"");
  EXPECT_STREQ(report_.blocks[2].dateText, L"03/01/2005");
  EXPECT_STREQ(report_.blocks[3].dateText, L"");
  EXPECT_EQ(report_.blocks[1].dayIcon, 0);
  EXPECT_EQ(report_.blocks[1].rainChance, 0);
  EXPECT_EQ(report_.blocks[5].weekday, 6);
}

TEST_F(FeedParser, WeekdayThatIsNoNumberBecomesZero) {
  Parse(L"swFore=\"x|2|3|4|5\"");
  EXPECT_EQ(report_.blocks[1].weekday, 0);
  EXPECT_EQ(report_.blocks[2].weekday, 2);
}

struct LastUpdateCase {
  const wchar_t* feed;
  const wchar_t* gmt;
};

TEST_F(FeedParser, LastUpdateMovesToGmtWithTheSimpleCarry) {
  const LastUpdateCase cases[] = {
      {L"12/31/2004 20:15:00", L"01/01/2005 02:15:00 GMT"},
      {L"4/30/2004 20:00:00", L"31/04/2004 02:00:00 GMT"},
      {L"2/28/2004 17:59:59", L"28/02/2004 23:59:59 GMT"},
      {L"2/28/2004 18:00:00", L"29/02/2004 00:00:00 GMT"},
      {L"1/5/2005 3:4:5", L"05/01/2005 09:04:05 GMT"},
      {L" 6/ 1/2005  1:02:03", L"01/06/2005 07:02:03 GMT"},
  };
  for (const LastUpdateCase& c : cases) {
    Parse(std::wstring(L"swLastUp=\"") + c.feed + L"\"");
    EXPECT_STREQ(report_.lastUpdated, c.gmt) << ToUtf8(c.feed);
    EXPECT_STREQ(report_.blocks[0].dateText, c.gmt);
  }
}

TEST_F(FeedParser, IncompleteLastUpdateIsKeptAsItIs) {
  // Literal separators must follow the numbers at once, as in the formatted scan.
  for (const wchar_t* text : {L"6/1/2005 soon", L"6 /1/2005 1:02:03", L"yesterday"}) {
    Parse(std::wstring(L"swLastUp=\"") + text + L"\"");
    EXPECT_STREQ(report_.lastUpdated, text);
    EXPECT_STREQ(report_.blocks[0].dateText, text);
  }
  // The date part still finds today in the forecast, unshifted.
  Parse(L"swLastUp=\"6/1/2005\";swTemp=\"70\";swFore=\"1|2|3|4|5|6/1/2005|||||7|8|9|10|11\"");
  EXPECT_EQ(report_.blocks[0].temperature.value, 70.0);
}

TEST_F(FeedParser, LastUpdateIsReadAgainWhenTheNextFeedLacksIt) {
  Parse(L"swLastUp=\"4/30/2004 10:00:00\"");
  EXPECT_STREQ(report_.lastUpdated, L"30/04/2004 16:00:00 GMT");
  Parse(L"swCity=\"London\"");
  EXPECT_STREQ(report_.lastUpdated, L"04/30/2004 22:00:00 GMT");
}

TEST_F(FeedParser, TodayInTheForecastMergesTheFirstDayIntoTheCurrentBlock) {
  Parse(
      L"swTemp=\"50\";swReal=\"47\";swLastUp=\"1/1/2005 20:00:00\";"
      L"swFore=\"3|4|5|6|7|1/1/2005|1/2/2005|1/3/2005|1/4/2005|1/5/2005|11|12|13|14|15|"
      L"21|22|23|24|25|61|62|63|64|65|31|32|33|34|35|41|42|43|44|45|51|52|53|54|55|"
      L"71|72|73|74|75\";swCity=\"After\"");
  // The last update (02/01/2005 GMT) is forecast day 2, but the merge takes day 1.
  const ForecastDay& now = report_.blocks[0];
  EXPECT_EQ(now.feelsLike.value, 47.0);
  EXPECT_EQ(now.temperature.value, 50.0);
  EXPECT_EQ(now.highTemperature.value, 61.0);
  EXPECT_EQ(now.lowTemperature.value, 71.0);
  EXPECT_EQ(now.nightTextCode, 51);
  EXPECT_EQ(now.rainChance, 31);
  EXPECT_EQ(now.dayTextCode, 21);
  EXPECT_EQ(now.nightIcon, 41);
  EXPECT_EQ(now.weekday, 3);
  EXPECT_EQ(now.dayIcon, 11);            // no "swCIcon", so the first day's
  EXPECT_STREQ(report_.city, L"After");  // statements after the forecast count too

  Parse(L"swCIcon=\"9\";swLastUp=\"1/1/2005 20:00:00\";swFore=\"3|4|5|6|7|1/2/2005||||||11\"");
  EXPECT_EQ(report_.blocks[0].dayIcon, 9);
  EXPECT_EQ(report_.blocks[0].weekday, 3);
}

TEST_F(FeedParser, WithoutTodayInTheForecastNothingMoves) {
  Parse(
      L"swTemp=\"50\";swReal=\"47\";swLastUp=\"1/1/2005 10:00:00\";"
      L"swFore=\"3|4|5|6|7|1/2/2005|1/3/2005|1/4/2005|1/5/2005|1/6/2005|11|12|13|14|15\"");
  const ForecastDay& now = report_.blocks[0];
  EXPECT_EQ(now.highTemperature.value, 50.0);
  EXPECT_EQ(now.temperature.value, 47.0);
  EXPECT_FALSE(now.feelsLike.valid);
  EXPECT_FALSE(now.lowTemperature.valid);
  EXPECT_EQ(now.weekday, 0);
  EXPECT_EQ(now.dayIcon, 0);
  EXPECT_STREQ(report_.blocks[1].dateText, L"02/01/2005");
}

TEST_F(FeedParser, ResetClearsEverythingButTemperaturesAndTexts) {
  std::wstring feed = FromUtf8(ReadFile(Golden("full_feed.txt")));
  Parse(feed);
  Parse(L"swVis=\"3\"");
  const ForecastDay& now = report_.blocks[0];
  EXPECT_EQ(now.visibility, 3);
  EXPECT_EQ(now.windSpeed, -9999);
  EXPECT_EQ(now.pressure, -9999.9);
  EXPECT_STREQ(now.windDirection, L"");
  EXPECT_EQ(report_.blocks[3].rainChance, 0);
  EXPECT_STREQ(report_.blocks[3].dateText, L"");
  EXPECT_TRUE(report_.blocks[3].highTemperature.valid);
  EXPECT_TRUE(now.feelsLike.valid);
  EXPECT_STREQ(report_.city, L"London");
}

TEST_F(FeedParser, LongFeedsAreCutToWhatTheStoreCanHold) {
  std::wstring head = L"swCity=\"Long\";swTemp=\"60\";swFore=\"";
  std::wstring feed = head + std::wstring(2000, L'|') + L"\";swRegion=\"Beyond\"";
  EXPECT_TRUE(Parse(feed));
  EXPECT_EQ(std::wstring(report_.feedText), feed.substr(0, kFeedTextCapacity - 1));
  EXPECT_STREQ(report_.city, L"Long");
  EXPECT_EQ(report_.blocks[0].highTemperature.value, 60.0);
  EXPECT_STREQ(report_.region, L"");  // past the kept part
  // The same long feed again, and one differing only beyond the kept part, change nothing.
  EXPECT_FALSE(Parse(feed));
  EXPECT_FALSE(Parse(feed + L";swCountry=\"X\""));
  EXPECT_TRUE(Parse(L"x" + feed));
}

TEST_F(FeedParser, CharactersBeyondTheBasicPlaneCountTwiceTowardTheCut) {
  std::wstring feed = L"swCity=\"\U0001F327\";" + std::wstring(1500, L' ');
  Parse(feed);
  std::u16string stored = platform::ToUtf16(report_.feedText);
  EXPECT_EQ(stored.size(), kFeedTextCapacity - 1);
  EXPECT_EQ(std::wstring(report_.feedText).size(), kFeedTextCapacity - 2);
}

struct CompassCase {
  const wchar_t* direction;
  int32_t point;
};

TEST_F(FeedParser, WindCompassPointTakesTheFirstMatchingGroup) {
  const CompassCase cases[] = {
      {L"NNE", 1},   {L"NEN", 1},  {L"ENN", 1},  {L"NNW", 15}, {L"NWN", 15}, {L"WNN", 15},
      {L"NEE", 3},   {L"ENE", 3},  {L"EEN", 3},  {L"SEE", 5},  {L"ESE", 5},  {L"EES", 5},
      {L"SSE", 7},   {L"SES", 7},  {L"ESS", 7},  {L"SSW", 9},  {L"SWS", 9},  {L"WSS", 9},
      {L"WWS", 11},  {L"WSW", 11}, {L"SWW", 11}, {L"WWN", 13}, {L"WNW", 13}, {L"NWW", 13},
      {L"NE", 2},    {L"EN", 2},   {L"SE", 6},   {L"ES", 6},   {L"SW", 10},  {L"WS", 10},
      {L"NW", 14},   {L"WN", 14},  {L"N", 0},    {L"E", 4},    {L"S", 8},    {L"W", 12},
      {L"NORTH", 0}, {L"NEW", 2},  {L"SEEN", 5}, {L"", -1},    {L"nne", -1}, {L"CALM", -1},
      {L"VAR", -1},
  };
  for (const CompassCase& c : cases) {
    Parse(std::wstring(L"swWindD=\"") + c.direction + L"\";swVis=\"1\"");
    EXPECT_EQ(WindCompassPoint(report_), c.point) << ToUtf8(c.direction);
  }
}

// Whether ParseFeed would take a temperature or an update time from a text: the update run keeps
// the stored weather when a download brings neither.
TEST(FeedValues, WeatherIsATemperatureOrUpdateTimeWithAQuotedValue) {
  struct Case {
    const wchar_t* text;
    bool holds;
  };
  const Case cases[] = {
      {L"var swCity = \"London\"; var swLastUp = \"5/6/2025 10:00:00\";", true},
      {L"junk; more junk; var swTemp = \"61\"", true},
      {L"var swCity = \"London\"; var swCountry = \"UK\";", false},  // a place, no weather
      {L"<html><body>Service Unavailable</body></html>", false},
      {L"", false},
      {L";;;;;;", false},
      {L"var swCity = London;", false},      // no quotes
      {L"var swCity = \"London;\"", false},  // the ";" splits the quotes apart
      {L"\"\"swCity\"x\"", false},           // begins with two quotes
      {L"var unknown = \"value\";", false},
  };
  for (const Case& c : cases) EXPECT_EQ(HoldsWeather(c.text), c.holds) << ToUtf8(c.text);
  EXPECT_FALSE(HoldsWeather(nullptr));
  // Only what ParseFeed keeps counts: a value beyond the kept length is not seen.
  const std::wstring late = std::wstring(kFeedTextCapacity, L' ') + L";swTemp=\"61\"";
  EXPECT_FALSE(HoldsWeather(late.c_str()));
}

TEST_F(FeedParser, InstallFolderComesFromTheSettingsOrTheDefault) {
  EXPECT_EQ(InstallFolder(report_), L"\\program files\\velbrook\\nimbrel");
  ASSERT_TRUE(CreateString(HKEY_CURRENT_USER, kSettingsKey, kInstallPath, L"\\Storage Card\\wx"));
  WeatherReport installed;
  EXPECT_EQ(InstallFolder(installed), L"\\Storage Card\\wx");
  EXPECT_STREQ(installed.feedText, L"");
  EXPECT_EQ(installed.downloadResult, 0u);
  EXPECT_FALSE(installed.blocks[0].temperature.valid);
}

}  // namespace
}  // namespace cirrodex
