#include "core/weather_cache.h"

#include "core/format.h"
#include "core/registry_ops.h"
#include "core/settings.h"

namespace cirrodex {

namespace {

inline constexpr wchar_t kWeatherPreviousData[] = L"WeatherPreviousData";
inline constexpr wchar_t kDownloadResult[] = L"DownloadResult";
inline constexpr wchar_t kLatest[] = L"Latest";

constexpr double kInchesToMillibars = 33.7685;

std::wstring CityKeyOf(const wchar_t* code) {
  return code != nullptr ? CityKey(code) : SelectedCityKey();
}

// "Log" and the slot in at least three digits, below the city key.
std::wstring HistoryKey(const std::wstring& cityKey, int64_t slot) {
  return WFormat(L"%ls\\%ls%03lld", cityKey.c_str(), L"Log", static_cast<long long>(slot));
}

}  // namespace

bool LoadStoredFeed(WeatherReport& /*report*/, const wchar_t* code, std::wstring& text,
                    uint32_t& result) {
  std::wstring key = CityKeyOf(code);
  if (!ReadString(HKEY_CURRENT_USER, key, kWeatherPreviousData, text)) return false;
  ReadDword(HKEY_CURRENT_USER, key, kDownloadResult, result);
  return true;
}

bool RecordHistory(WeatherReport& report, const wchar_t* code) {
  std::wstring key = CityKeyOf(code);
  StoreString(HKEY_CURRENT_USER, key, kWeatherPreviousData, report.feedText);

  uint32_t slot = 0;
  uint32_t latest = 0;
  if (ReadDword(HKEY_CURRENT_USER, key, kLatest, latest)) {
    slot = latest + 1;
    if (slot >= static_cast<uint32_t>(kHistorySlots)) slot = 0;
  }
  StoreDword(HKEY_CURRENT_USER, key, kLatest, slot);

  const ForecastDay& now = report.blocks[0];
  auto pressure = static_cast<uint32_t>(TruncateToInt32(now.pressure * kInchesToMillibars));
  auto windSpeed = static_cast<uint32_t>(now.windSpeed);
  auto windPoint = static_cast<uint32_t>(WindCompassPoint(report));
  std::wstring temperature = FormatFixed(ConvertTemperature(now.highTemperature, kCelsius), 2, 2);
  auto rainChance = static_cast<uint32_t>(now.rainChance);

  // "Tm" creates the record's key; the others go only into a key that exists.
  std::wstring record = HistoryKey(key, slot);
  StoreString(HKEY_CURRENT_USER, record, L"Tm", report.lastUpdated);
  WriteDword(HKEY_CURRENT_USER, record, L"B", pressure);
  WriteDword(HKEY_CURRENT_USER, record, L"WS", windSpeed);
  WriteDword(HKEY_CURRENT_USER, record, L"WD", windPoint);
  WriteString(HKEY_CURRENT_USER, record, L"T", temperature);
  WriteDword(HKEY_CURRENT_USER, record, L"R", rainChance);
  return true;
}

namespace {

bool ReadRecordOf(const std::wstring& cityKey, int32_t slot, HistoryRecord& record) {
  const std::wstring key = HistoryKey(cityKey, slot);
  std::wstring timeText;
  if (!ReadString(HKEY_CURRENT_USER, key, L"Tm", timeText)) return false;
  record.timeText = timeText;
  if (!ReadDword(HKEY_CURRENT_USER, key, L"B", record.pressure)) return false;
  if (!ReadDword(HKEY_CURRENT_USER, key, L"WS", record.windSpeed)) return false;
  if (!ReadDword(HKEY_CURRENT_USER, key, L"WD", record.windPoint)) return false;
  if (!ReadDword(HKEY_CURRENT_USER, key, L"R", record.rainChance)) return false;

  std::wstring temperature;
  if (!ReadString(HKEY_CURRENT_USER, key, L"T", temperature)) return false;
  double celsius = 0;
  if (ScanDouble(temperature, celsius)) record.temperature.Set(celsius, kCelsius);

  int32_t fields[6] = {};
  if (ScanInts(timeText, L"%d/%d/%d %d:%d:%d", fields) < 6) return false;
  record.time.day = static_cast<uint16_t>(fields[0]);
  record.time.month = static_cast<uint16_t>(fields[1]);
  record.time.year = static_cast<uint16_t>(fields[2]);
  record.time.hour = static_cast<uint16_t>(fields[3]);
  record.time.minute = static_cast<uint16_t>(fields[4]);
  record.time.second = static_cast<uint16_t>(fields[5]);
  record.slot = slot;
  return true;
}

}  // namespace

bool ReadHistoryRecord(WeatherReport& /*report*/, int32_t slot, HistoryRecord& record) {
  return ReadRecordOf(SelectedCityKey(), slot, record);
}

bool ReadHistory(WeatherReport& /*report*/, int32_t count, HistoryRecord* records) {
  // The selected city is looked up once for all records rather than once per record.
  const std::wstring cityKey = SelectedCityKey();
  for (int32_t slot = 0; slot < count; ++slot) ReadRecordOf(cityKey, slot, records[slot]);
  return true;
}

}  // namespace cirrodex
