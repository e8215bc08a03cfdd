#include "core/weather_cache.h"

#include <vector>

#include "core/format.h"
#include "core/registry_ops.h"
#include "core/settings.h"
#include "platform/text.h"

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

void AddHistoryRecord(WeatherReport& report, const std::wstring& key) {
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
}

}  // namespace

bool LoadStoredFeed(WeatherReport& /*report*/, const wchar_t* code, std::wstring& text,
                    uint32_t& result) {
  std::wstring key = CityKeyOf(code);
  if (!ReadString(HKEY_CURRENT_USER, key, kWeatherPreviousData, text)) return false;
  ReadDword(HKEY_CURRENT_USER, key, kDownloadResult, result);
  return true;
}

bool LoadStoredResult(const wchar_t* code, uint32_t& result) {
  return ReadDword(HKEY_CURRENT_USER, CityKeyOf(code), kDownloadResult, result);
}

bool RecordHistory(WeatherReport& report, const wchar_t* code) {
  // One transaction, so that two runs never both take the same "Latest" and never leave a
  // record half written.
  // The city is looked up before the transaction: the city list's lock is never taken while the
  // store is held, so no thread can hold the two the other way round.
  const std::wstring key = CityKeyOf(code);
  InOneTransaction([&] {
    AddHistoryRecord(report, key);
    return true;
  });
  return true;
}

bool RecordHistoryIfChanged(WeatherReport& report, const wchar_t* code) {
  const std::wstring key = CityKeyOf(code);
  bool recorded = false;
  // The comparison with what is stored and the record it decides on are one transaction, so a
  // run that fetched the same feed as another run beside it adds no second record.
  const bool committed = InOneTransaction([&] {
    std::wstring stored;
    if (ReadString(HKEY_CURRENT_USER, key, kWeatherPreviousData, stored) &&
        stored == report.feedText) {
      return false;
    }
    AddHistoryRecord(report, key);
    recorded = true;
    return true;
  });
  return committed && recorded;
}

namespace {

// Where a record's values come from: the registry value by value, or one record of a batch.
struct RegistryValues {
  std::wstring key;
  bool Dword(const wchar_t* name, uint32_t& value) const {
    return ReadDword(HKEY_CURRENT_USER, key, name, value);
  }
  bool String(const wchar_t* name, std::wstring& text) const {
    return ReadString(HKEY_CURRENT_USER, key, name, text);
  }
};

// The slot whose history key HistoryKey names `name` ("Log" and at least three digits, no
// leading zero beyond those three), or -1.
int64_t SlotOfName(std::wstring_view name) {
  if (name.size() < 6 || name.size() > 12 ||
      !platform::EqualIgnoringAsciiCase(name.substr(0, 3), L"log"))
    return -1;
  const std::wstring_view digits = name.substr(3);
  if (digits.size() > 3 && digits[0] == L'0') return -1;
  int64_t slot = 0;
  for (wchar_t c : digits) {
    if (c < L'0' || c > L'9') return -1;
    slot = slot * 10 + (c - L'0');
  }
  return slot;
}

struct BatchValues {
  const std::vector<platform::RegistryStore::Value>* values;
  const platform::RegistryStore::Value* Find(const wchar_t* name) const {
    for (const auto& value : *values) {
      if (platform::EqualIgnoringAsciiCase(value.name, name)) return &value;
    }
    return nullptr;
  }
  bool Dword(const wchar_t* name, uint32_t& out) const {
    const auto* value = Find(name);
    return value != nullptr && DwordOf(*value, out);
  }
  bool String(const wchar_t* name, std::wstring& out) const {
    const auto* value = Find(name);
    return value != nullptr && StringOf(*value, out);
  }
};

template <typename Values>
bool ReadRecordFrom(const Values& values, int32_t slot, HistoryRecord& record) {
  std::wstring timeText;
  if (!values.String(L"Tm", timeText)) return false;
  record.timeText = timeText;
  if (!values.Dword(L"B", record.pressure)) return false;
  if (!values.Dword(L"WS", record.windSpeed)) return false;
  if (!values.Dword(L"WD", record.windPoint)) return false;
  if (!values.Dword(L"R", record.rainChance)) return false;

  std::wstring temperature;
  if (!values.String(L"T", temperature)) return false;
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
  return ReadRecordFrom(RegistryValues{HistoryKey(SelectedCityKey(), slot)}, slot, record);
}

bool ReadHistory(WeatherReport& /*report*/, int32_t count, HistoryRecord* records) {
  // All records come in one read of the city key's subkeys rather than value by value: the
  // Current page reads the whole ring on every paint.
  const std::wstring cityKey = SelectedCityKey();
  // Kept between reads, so that the same ring read again reuses its storage.
  thread_local std::vector<platform::RegistryStore::Subkey> subkeys;
  if (count <= 0 || !ReadSubkeys(HKEY_CURRENT_USER, cityKey, subkeys)) return true;
  for (const auto& subkey : subkeys) {
    const int64_t slot = SlotOfName(subkey.name);
    if (slot < 0 || slot >= count) continue;
    ReadRecordFrom(BatchValues{&subkey.values}, static_cast<int32_t>(slot), records[slot]);
  }
  return true;
}

}  // namespace cirrodex
