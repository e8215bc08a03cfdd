#include "core/weather_cache.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "tests/support/temp_device.h"

namespace cirrodex {
namespace {

using platform::Registry;

constexpr wchar_t kLondon[] = L"SOFTWARE\\Velbrook\\Cirrodex\\UKXX0085";

const wchar_t kFeed[] =
    L"var swCity = \"London\";var swTemp = \"41\";var swWindS = \"12\";var swWindD = \"NNE\";"
    L"var swBaro = \"29.92\";var swLastUp = \"12/31/2004 20:15:00\";"
    L"var swFore = \"6|7|1|2|3|12/31/2004|1/1/2005|1/2/2005|1/3/2005|1/4/2005|26|12|32|30|14|"
    L"1|18|24|4|11|50|45|36|40|39|10|60|5|20|70\";";

class WeatherCache : public testing::DeviceTest {
 protected:
  void SetUp() override {
    Cities() = CityList{};
    StoreString(HKEY_CURRENT_USER, kSettingsKey, L"CityCode1", L"UKXX0085");
  }
  void TearDown() override { Cities() = CityList{}; }

  void Download(const std::wstring& feed, const wchar_t* code = nullptr) {
    bool changed = false;
    ParseFeed(report_, feed.c_str(), changed);
    ASSERT_TRUE(changed);
    EXPECT_TRUE(RecordHistory(report_, code));
  }
  std::wstring Log(int slot) {
    wchar_t name[8];
    std::swprintf(name, 8, L"Log%03d", slot);
    return std::wstring(kLondon) + L"\\" + name;
  }
  uint32_t Dword(const std::wstring& key, const wchar_t* name) {
    return ReadDwordOr(HKEY_CURRENT_USER, key, name, 0xDEADBEEF);
  }
  std::wstring String(const std::wstring& key, const wchar_t* name) {
    std::wstring text = L"<missing>";
    ReadString(HKEY_CURRENT_USER, key, name, text);
    return text;
  }

  WeatherReport report_;
};

TEST_F(WeatherCache, FirstDownloadOfACityFillsSlotZero) {
  Download(kFeed);
  EXPECT_EQ(String(kLondon, L"WeatherPreviousData"), kFeed);
  EXPECT_EQ(Dword(kLondon, L"Latest"), 0u);
  EXPECT_EQ(String(Log(0), L"Tm"), L"01/01/2005 02:15:00 GMT");
  EXPECT_EQ(Dword(Log(0), L"B"), 1010u);
  EXPECT_EQ(Dword(Log(0), L"WS"), 12u);
  EXPECT_EQ(Dword(Log(0), L"WD"), 1u);
  // Today (1 January) is forecast day 2, so the first day's high of 50 F is merged: 10 C.
  EXPECT_EQ(String(Log(0), L"T"), L"10.00");
  EXPECT_EQ(Dword(Log(0), L"R"), 10u);
  EXPECT_FALSE(Registry().KeyExists(HKEY_CURRENT_USER, Log(1)));
}

TEST_F(WeatherCache, TheRingWrapsAfterSlot255AndAfterStrangeValues) {
  struct Case {
    uint32_t latest;
    uint32_t next;
  } cases[] = {{0, 1}, {41, 42}, {254, 255}, {255, 0}, {1000, 0}, {0xFFFFFFFF, 0}};
  int n = 0;
  for (const Case& c : cases) {
    ASSERT_TRUE(CreateDword(HKEY_CURRENT_USER, kLondon, L"Latest", c.latest));
    Download(std::wstring(kFeed) + std::to_wstring(n++));
    EXPECT_EQ(Dword(kLondon, L"Latest"), c.next) << c.latest;
    EXPECT_EQ(String(Log(static_cast<int>(c.next)), L"Tm"), L"01/01/2005 02:15:00 GMT");
  }
}

TEST_F(WeatherCache, MissingValuesAreStoredAsTheirBitPatterns) {
  Download(L"swCity=\"Nowhere\"");
  EXPECT_EQ(Dword(Log(0), L"B"), static_cast<uint32_t>(-337681));
  EXPECT_EQ(Dword(Log(0), L"WS"), static_cast<uint32_t>(-9999));
  EXPECT_EQ(Dword(Log(0), L"WD"), 0xFFFFFFFFu);
  EXPECT_EQ(String(Log(0), L"T"), L"-9999.90");
  EXPECT_EQ(String(Log(0), L"Tm"), L"");
  EXPECT_EQ(Dword(Log(0), L"R"), 0u);
}

TEST_F(WeatherCache, RecordGoesToTheGivenCityOrTheSelectedOne) {
  Download(kFeed, L"FRXX0076");
  EXPECT_EQ(String(CityKey(L"FRXX0076"), L"WeatherPreviousData"), kFeed);
  EXPECT_FALSE(Registry().KeyExists(HKEY_CURRENT_USER, kLondon));
  Download(std::wstring(kFeed) + L" ");
  EXPECT_EQ(Dword(kLondon, L"Latest"), 0u);
}

TEST_F(WeatherCache, AnOlderRecordIsOverwrittenValueByValue) {
  ASSERT_TRUE(CreateString(HKEY_CURRENT_USER, Log(0), L"Extra", L"kept"));
  ASSERT_TRUE(CreateString(HKEY_CURRENT_USER, Log(0), L"T", L"99.00"));
  Download(kFeed);
  EXPECT_EQ(String(Log(0), L"T"), L"10.00");
  EXPECT_EQ(String(Log(0), L"Extra"), L"kept");
}

TEST_F(WeatherCache, LoadStoredFeedNeedsTheTextAndThenReadsTheResult) {
  std::wstring text = L"untouched";
  uint32_t result = 7;
  ASSERT_TRUE(CreateDword(HKEY_CURRENT_USER, kLondon, L"DownloadResult", 12029));
  EXPECT_FALSE(LoadStoredFeed(report_, nullptr, text, result));
  EXPECT_EQ(text, L"untouched");
  EXPECT_EQ(result, 7u);

  Download(kFeed);
  EXPECT_TRUE(LoadStoredFeed(report_, nullptr, text, result));
  EXPECT_EQ(text, kFeed);
  EXPECT_EQ(result, 12029u);

  ASSERT_TRUE(DeleteValue(HKEY_CURRENT_USER, kLondon, L"DownloadResult"));
  result = 3;
  EXPECT_TRUE(LoadStoredFeed(report_, L"UKXX0085", text, result));
  EXPECT_EQ(result, 3u);
  EXPECT_FALSE(LoadStoredFeed(report_, L"FRXX0076", text, result));
}

TEST_F(WeatherCache, AStoredFeedPrimesAReportSoTheSameDownloadIsNoChange) {
  std::wstring longFeed = std::wstring(kFeed) + std::wstring(3000, L' ') + L"swCity=\"Far\"";
  for (const std::wstring& feed : {std::wstring(kFeed), longFeed}) {
    WeatherReport writer;
    bool changed = false;
    ParseFeed(writer, feed.c_str(), changed);
    RecordHistory(writer, nullptr);
    uint32_t latest = Dword(kLondon, L"Latest");

    WeatherReport primed;
    std::wstring stored;
    uint32_t result = 0;
    ASSERT_TRUE(LoadStoredFeed(primed, nullptr, stored, result));
    ParseFeed(primed, stored.c_str(), changed);
    EXPECT_TRUE(changed);
    ParseFeed(primed, feed.c_str(), changed);
    EXPECT_FALSE(changed) << feed.size();
    EXPECT_EQ(Dword(kLondon, L"Latest"), latest);
    EXPECT_STREQ(primed.city, writer.city);
  }
}

TEST_F(WeatherCache, ReadHistoryFillsRecordedSlotsOnly) {
  for (int i = 0; i < 3; ++i) Download(std::wstring(kFeed) + std::to_wstring(i));
  std::vector<HistoryRecord> records(kHistorySlots);
  EXPECT_TRUE(ReadHistory(report_, kHistorySlots, records.data()));
  for (int i = 0; i < 3; ++i) {
    const HistoryRecord& r = records[i];
    EXPECT_EQ(r.slot, i);
    EXPECT_EQ(r.pressure, 1010u);
    EXPECT_EQ(r.windSpeed, 12u);
    EXPECT_EQ(r.windPoint, 1u);
    EXPECT_EQ(r.rainChance, 10u);
    EXPECT_TRUE(r.temperature.valid);
    EXPECT_EQ(r.temperature.value, 10.0);
    EXPECT_EQ(r.temperature.unit, kCelsius);
    EXPECT_EQ(r.timeText, L"01/01/2005 02:15:00 GMT");
    EXPECT_EQ(r.time.day, 1);
    EXPECT_EQ(r.time.month, 1);
    EXPECT_EQ(r.time.year, 2005);
    EXPECT_EQ(r.time.hour, 2);
    EXPECT_EQ(r.time.minute, 15);
    EXPECT_EQ(r.time.second, 0);
    EXPECT_EQ(r.time.dayOfWeek, 0);
  }
  for (int i = 3; i < kHistorySlots; ++i) {
    EXPECT_EQ(records[i].slot, -1) << i;
    EXPECT_FALSE(records[i].timeText.has_value());
  }
}

TEST_F(WeatherCache, IncompleteOrUndatedRecordsReadAsEmpty) {
  Download(kFeed);
  HistoryRecord missingRain;
  ASSERT_TRUE(DeleteValue(HKEY_CURRENT_USER, Log(0), L"R"));
  EXPECT_FALSE(ReadHistoryRecord(report_, 0, missingRain));
  EXPECT_EQ(missingRain.slot, -1);
  EXPECT_EQ(missingRain.pressure, 1010u);  // what was read before the gap stays

  Download(std::wstring(kFeed) + L" ");
  ASSERT_TRUE(StoreString(HKEY_CURRENT_USER, Log(1), L"Tm", L"01/01/2005"));
  HistoryRecord undated;
  EXPECT_FALSE(ReadHistoryRecord(report_, 1, undated));
  EXPECT_EQ(undated.slot, -1);

  ASSERT_TRUE(StoreString(HKEY_CURRENT_USER, Log(1), L"Tm", L"02/01/2005 03:00:00 GMT"));
  ASSERT_TRUE(StoreString(HKEY_CURRENT_USER, Log(1), L"T", L"warm"));
  HistoryRecord unreadableTemperature;
  EXPECT_TRUE(ReadHistoryRecord(report_, 1, unreadableTemperature));
  EXPECT_EQ(unreadableTemperature.slot, 1);
  EXPECT_FALSE(unreadableTemperature.temperature.valid);

  HistoryRecord neverWritten;
  EXPECT_FALSE(ReadHistoryRecord(report_, 200, neverWritten));
  EXPECT_FALSE(ReadHistoryRecord(report_, -1, neverWritten));
  EXPECT_FALSE(ReadHistoryRecord(report_, 1000, neverWritten));
}

// The history read in one go gives what reading each record on its own gives, damaged records
// and a key name in other letters included.
TEST_F(WeatherCache, ReadHistoryInOneReadMatchesReadingEachRecord) {
  for (int i = 0; i < 6; ++i) Download(std::wstring(kFeed) + std::to_wstring(i));
  ASSERT_TRUE(DeleteValue(HKEY_CURRENT_USER, Log(1), L"WD"));
  ASSERT_TRUE(StoreString(HKEY_CURRENT_USER, Log(2), L"Tm", L"01/01/2005"));
  ASSERT_TRUE(StoreString(HKEY_CURRENT_USER, Log(3), L"B", L"a string"));
  ASSERT_TRUE(StoreString(HKEY_CURRENT_USER, Log(4), L"T", L"warm"));
  ASSERT_TRUE(StoreString(HKEY_CURRENT_USER, Log(5), L"Tm", std::wstring(1100, L'1')));
  ASSERT_TRUE(StoreString(HKEY_CURRENT_USER, std::wstring(kLondon) + L"\\log006", L"tm",
                          L"03/01/2005 04:00:00 GMT"));
  for (const wchar_t* name : {L"b", L"ws", L"wd", L"r"}) {
    ASSERT_TRUE(StoreDword(HKEY_CURRENT_USER, std::wstring(kLondon) + L"\\log006", name, 3));
  }
  ASSERT_TRUE(StoreString(HKEY_CURRENT_USER, std::wstring(kLondon) + L"\\log006", L"t", L"1.5"));

  std::vector<HistoryRecord> batch(kHistorySlots);
  ReadHistory(report_, kHistorySlots, batch.data());
  auto fields = [](const HistoryRecord& r) {
    return std::tuple(r.slot, r.pressure, r.windSpeed, r.windPoint, r.rainChance,
                      r.temperature.valid, r.temperature.value, r.timeText, r.time.day,
                      r.time.hour);
  };
  for (int slot = 0; slot < kHistorySlots; ++slot) {
    HistoryRecord single;
    ReadHistoryRecord(report_, slot, single);
    EXPECT_EQ(fields(batch[slot]), fields(single)) << slot;
  }
  EXPECT_EQ(batch[0].slot, 0);
  EXPECT_EQ(batch[6].slot, 6);
  for (int slot : {1, 2, 3, 5}) EXPECT_EQ(batch[slot].slot, -1) << slot;
}

// A run whose report found the feed changed records it only when the store does not hold that
// feed already (another run stored it meanwhile).
TEST_F(WeatherCache, RecordHistoryIfChangedComparesWithTheStoredFeed) {
  Download(kFeed);
  WeatherReport other;
  bool changed = false;
  ParseFeed(other, kFeed, changed);
  ASSERT_TRUE(changed);
  EXPECT_FALSE(RecordHistoryIfChanged(other, nullptr));
  EXPECT_EQ(Dword(kLondon, L"Latest"), 0u);
  ParseFeed(other, (std::wstring(kFeed) + L" ").c_str(), changed);
  EXPECT_TRUE(RecordHistoryIfChanged(other, nullptr));
  EXPECT_EQ(Dword(kLondon, L"Latest"), 1u);
  EXPECT_EQ(String(kLondon, L"WeatherPreviousData"), std::wstring(kFeed) + L" ");
}

}  // namespace
}  // namespace cirrodex
