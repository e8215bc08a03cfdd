// The settings key, its value names, the six-slot city list and the default settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/units.h"

namespace cirrodex {

inline constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\Velbrook\\Cirrodex";

inline constexpr wchar_t kTemperatureUnits[] = L"TemperatureUnits";
inline constexpr wchar_t kSummaryDisplayType[] = L"SummaryDisplayType";
inline constexpr wchar_t kDisplayLastUpdateTime[] = L"DisplayLastUpdateTime";
inline constexpr wchar_t kUpdateRate[] = L"UpdateRate";
inline constexpr wchar_t kStartUpdate[] = L"StartUpdate";
inline constexpr wchar_t kEndUpdate[] = L"EndUpdate";
inline constexpr wchar_t kCitySelected[] = L"CitySelected";
inline constexpr wchar_t kInstallPath[] = L"InstallPath";
// The units of wind speed, pressure and distance (core/units.h).
inline constexpr wchar_t kWindUnits[] = L"WindUnits";
inline constexpr wchar_t kPressureUnits[] = L"PressureUnits";
inline constexpr wchar_t kDistanceUnits[] = L"DistanceUnits";
// The desktop panel's (today-host --tray): whether the session starts it at login (the Install
// page writes the autostart entry with it), and whether it tells of rain about to begin.
inline constexpr wchar_t kTrayAtLogin[] = L"TrayAtLogin";
inline constexpr wchar_t kRainNotices[] = L"RainNotices";

inline constexpr uint32_t kDefaultUpdateRate = 30;
inline constexpr uint32_t kLastMinuteOfDay = 1439;

// The program that reads a setting. They differ only where their screens do: a missing
// "DisplayLastUpdateTime" hides the item's status line but starts the Setup page's check box set.
enum class SettingsReader { TodayItem, SetupProgram };

// One DWORD setting under the settings key: what each reader takes when the value is missing or
// not a DWORD, and what WriteDefaultSettings stores where it is missing (nothing when empty).
struct DwordSetting {
  const wchar_t* name;
  uint32_t itemDefault;
  uint32_t setupDefault;
  std::optional<uint32_t> firstStart;
};

// Every DWORD setting of the settings key; a new setting is one row. The map store's values
// ("RadarCropSizeX" and the rest) are its own.
// clang-format off
inline constexpr DwordSetting kDwordSettings[] = {
    // value name            item                 setup                first start
    {kTemperatureUnits,      0,                   0,                   0},
    {kSummaryDisplayType,    0,                   0,                   2},
    {kDisplayLastUpdateTime, 0,                   1,                   1},
    {kUpdateRate,            kDefaultUpdateRate,  kDefaultUpdateRate,  {}},
    {kStartUpdate,           0,                   0,                   {}},
    {kEndUpdate,             kLastMinuteOfDay,    kLastMinuteOfDay,    {}},
    {kCitySelected,          0,                   0,                   {}},
    {kWindUnits,             0,                   0,                   0},
    {kPressureUnits,         0,                   0,                   0},
    {kDistanceUnits,         0,                   0,                   0},
    {kTrayAtLogin,           0,                   0,                   {}},
    {kRainNotices,           1,                   1,                   {}},
};
// clang-format on

// A row of kDwordSettings named by its value name; a name the table lacks does not compile.
class SettingRow {
 public:
  consteval SettingRow(const wchar_t* name) : row_(&Find(name)) {}  // NOLINT: implicit by design
  const DwordSetting& operator*() const { return *row_; }
  const DwordSetting* operator->() const { return row_; }

 private:
  static consteval const DwordSetting& Find(const wchar_t* name) {
    for (const DwordSetting& row : kDwordSettings) {
      if (std::wstring_view(row.name) == name) return row;
    }
    throw "no such setting";
  }
  const DwordSetting* row_;
};

// The stored value, or the row's default for `reader` when it is missing or not a DWORD.
uint32_t ReadSetting(SettingRow setting, SettingsReader reader);
// Writes the value (the write-or-create of the registry operations); false when both fail.
bool WriteSetting(SettingRow setting, uint32_t value);

// The download schedule as the Today item's worker reads it: minutes between downloads, and the
// allowed hours as the first and last minute after midnight (inclusive).
struct UpdateSchedule {
  uint32_t updateRate = 0;
  uint32_t startUpdate = 0;
  uint32_t endUpdate = 0;
};
UpdateSchedule ReadUpdateSchedule();

// The settings the Setup page holds and the strip is drawn by: the unit code, the layout 0-5,
// the last-update line, the update schedule, and the units of wind, pressure and distance (each
// out-of-range code read as the first unit).
struct DisplaySettings {
  int32_t temperatureUnit = 0;
  int32_t summaryLayout = 0;
  bool showLastUpdate = false;  // any non-zero stored value
  int32_t updateRate = 0;
  int32_t startUpdate = 0;
  int32_t endUpdate = 0;
  MeasureUnits measureUnits;
  friend bool operator==(const DisplaySettings&, const DisplaySettings&) = default;
};
DisplaySettings ReadDisplaySettings(SettingsReader reader);

// Used when the selected slot has no code.
inline constexpr wchar_t kFallbackCityCode[] = L"UKXX0260";

inline constexpr int kCitySlots = 6;
// A city code is at most this long; longer stored codes are cut.
inline constexpr size_t kMaxCityCode = 15;

struct CityEntry {
  wchar_t code[kMaxCityCode + 1] = {};  // empty: the slot holds no city
  wchar_t name[64] = {};
};

// The program-wide city list: slots 1-6 at indices 0-5; `selectedCity` is -1 until loaded.
struct CityList {
  CityEntry slots[kCitySlots];
  int32_t selectedCity = -1;
};

// The process's one list.
CityList& Cities();

void LoadCityList();
void SaveCityList();
int32_t SelectedCity();
int32_t SelectCity(int32_t index);
// The code as every reader of the city list takes it from a stored code value: its first 15
// characters, so that the city key a download writes is the one the readers look up.
std::wstring CityCodeOf(std::wstring_view stored);
// The selected slot's code (cut as CityCodeOf does), "UKXX0260" when it has none.
std::wstring SelectedCityCode();
// The same code as stored, leaving the list in memory (a selection not yet saved) untouched.
std::wstring StoredSelectedCityCode();
std::wstring SelectedCityKey();
std::wstring CityKey(std::wstring_view code);
// Fills in what is missing, never overwriting a present value: every row of kDwordSettings with a
// first-start value, the selection, and London, Paris and Geneva in empty slots 1-3. Always true.
bool WriteDefaultSettings();

}  // namespace cirrodex
