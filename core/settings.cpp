#include "core/settings.h"

#include <mutex>

#include "core/format.h"
#include "core/registry_ops.h"
#include "core/weather_report.h"

namespace cirrodex {

namespace {

// The Today item's window thread and its refresh worker both ask for the selected city. Built on
// first use, so that program-wide objects may use the list while they are constructed.
std::recursive_mutex& ListMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

std::wstring SlotValueName(const wchar_t* prefix, int64_t slot) {
  return WFormat(L"%ls%0lld", prefix, static_cast<long long>(slot));
}

}  // namespace

CityList& Cities() {
  static CityList list;
  return list;
}

void LoadCityList() {
  std::lock_guard lock(ListMutex());
  CityList& list = Cities();
  if (list.selectedCity < 0) list.selectedCity = 0;
  for (int n = 1; n <= kCitySlots; ++n) {
    CityEntry& entry = list.slots[n - 1];
    std::wstring code;
    if (ReadString(HKEY_CURRENT_USER, kSettingsKey, SlotValueName(L"CityCode", n), code)) {
      CopyText(entry.code, CityCodeOf(code));
      std::wstring name;
      if (ReadString(HKEY_CURRENT_USER, kSettingsKey, SlotValueName(L"CityName", n), name)) {
        CopyText(entry.name, name);
      } else {
        entry.name[0] = L'\0';
      }
    } else {
      entry.code[0] = L'\0';
      entry.name[0] = L'\0';
    }
  }
}

void SaveCityList() {
  std::lock_guard lock(ListMutex());
  CityList& list = Cities();
  for (int n = 1; n <= kCitySlots; ++n) {
    const CityEntry& entry = list.slots[n - 1];
    std::wstring codeName = SlotValueName(L"CityCode", n);
    std::wstring nameName = SlotValueName(L"CityName", n);
    if (entry.code[0] == L'\0') {
      DeleteValue(HKEY_CURRENT_USER, kSettingsKey, codeName);
      DeleteValue(HKEY_CURRENT_USER, kSettingsKey, nameName);
    } else {
      StoreString(HKEY_CURRENT_USER, kSettingsKey, codeName, entry.code);
      StoreString(HKEY_CURRENT_USER, kSettingsKey, nameName, entry.name);
    }
  }
}

int32_t SelectedCity() {
  std::lock_guard lock(ListMutex());
  // No range test: a stored value outside 0-5 comes back as it is.
  auto selected = static_cast<int32_t>(ReadSetting(kCitySelected, SettingsReader::TodayItem));
  CityList& list = Cities();
  if (list.selectedCity < 0) LoadCityList();
  list.selectedCity = selected;
  return selected;
}

int32_t SelectCity(int32_t index) {
  std::lock_guard lock(ListMutex());
  if (index >= 0 && index < kCitySlots) {
    Cities().selectedCity = index;
    WriteSetting(kCitySelected, static_cast<uint32_t>(index));
  }
  return SelectedCity();
}

std::wstring SelectedCityCode() {
  SelectedCity();
  return StoredSelectedCityCode();
}

std::wstring StoredSelectedCityCode() {
  const auto selected = static_cast<int32_t>(ReadSetting(kCitySelected, SettingsReader::TodayItem));
  // The slot number is formed in 64 bits: a stored selection of 2147483647 names no slot.
  const int64_t slot = int64_t{selected} + 1;
  std::wstring code;
  if (!ReadString(HKEY_CURRENT_USER, kSettingsKey, SlotValueName(L"CityCode", slot), code)) {
    return kFallbackCityCode;
  }
  return CityCodeOf(code);
}

std::wstring CityCodeOf(std::wstring_view stored) {
  stored = stored.substr(0, stored.find(L'\0'));
  return std::wstring(stored.substr(0, kMaxCityCode));
}

std::wstring SelectedCityKey() { return CityKey(SelectedCityCode()); }

std::wstring CityKey(std::wstring_view code) {
  std::wstring key = kSettingsKey;
  key += L'\\';
  key += code;
  return key;
}

uint32_t ReadSetting(SettingRow setting, SettingsReader reader) {
  const uint32_t fallback =
      reader == SettingsReader::TodayItem ? setting->itemDefault : setting->setupDefault;
  return ReadDwordOr(HKEY_CURRENT_USER, kSettingsKey, setting->name, fallback);
}

bool WriteSetting(SettingRow setting, uint32_t value) {
  return StoreDword(HKEY_CURRENT_USER, kSettingsKey, setting->name, value);
}

bool WriteDefaultSettings() {
  std::lock_guard lock(ListMutex());
  for (const DwordSetting& row : kDwordSettings) {
    uint32_t ignored = 0;
    if (row.firstStart && !ReadDword(HKEY_CURRENT_USER, kSettingsKey, row.name, ignored)) {
      StoreDword(HKEY_CURRENT_USER, kSettingsKey, row.name, *row.firstStart);
    }
  }
  SelectCity(SelectedCity());

  struct DefaultCity {
    const wchar_t* code;
    const wchar_t* name;
  };
  static constexpr DefaultCity kDefaults[] = {
      {L"UKXX0085", L"London"}, {L"FRXX0076", L"Paris"}, {L"SZXX0013", L"Geneva"}};
  bool filled = false;
  CityList& list = Cities();
  for (size_t i = 0; i < std::size(kDefaults); ++i) {
    CityEntry& entry = list.slots[i];
    if (entry.code[0] == L'\0') {
      CopyText(entry.code, kDefaults[i].code);
      CopyText(entry.name, kDefaults[i].name);
      filled = true;
    }
  }
  if (filled) SaveCityList();
  return true;
}

UpdateSchedule ReadUpdateSchedule() {
  constexpr auto kItem = SettingsReader::TodayItem;
  return {ReadSetting(kUpdateRate, kItem), ReadSetting(kStartUpdate, kItem),
          ReadSetting(kEndUpdate, kItem)};
}

DisplaySettings ReadDisplaySettings(SettingsReader reader) {
  auto read = [reader](SettingRow row) { return static_cast<int32_t>(ReadSetting(row, reader)); };
  DisplaySettings settings;
  settings.temperatureUnit = read(kTemperatureUnits);
  settings.summaryLayout = read(kSummaryDisplayType);
  settings.showLastUpdate = read(kDisplayLastUpdateTime) != 0;
  settings.updateRate = read(kUpdateRate);
  settings.startUpdate = read(kStartUpdate);
  settings.endUpdate = read(kEndUpdate);
  settings.measureUnits =
      ValidUnits({read(kWindUnits), read(kPressureUnits), read(kDistanceUnits)});
  return settings;
}

}  // namespace cirrodex
