// The settings key, its value names, the six-slot city list and the default settings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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
// The units of wind speed, pressure and distance (core/units.h), each 0 by default.
inline constexpr wchar_t kWindUnits[] = L"WindUnits";
inline constexpr wchar_t kPressureUnits[] = L"PressureUnits";
inline constexpr wchar_t kDistanceUnits[] = L"DistanceUnits";

// The download schedule: minutes between downloads, and the allowed hours as the first and last
// minute after midnight (inclusive).
inline constexpr uint32_t kDefaultUpdateRate = 30;
inline constexpr uint32_t kLastMinuteOfDay = 1439;
struct UpdateSchedule {
  uint32_t updateRate = kDefaultUpdateRate;
  uint32_t startUpdate = 0;
  uint32_t endUpdate = kLastMinuteOfDay;
};
// The stored schedule; a missing value reads as its default.
UpdateSchedule ReadUpdateSchedule();

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
// Fills in what is missing, never overwriting a present value. Always true.
bool WriteDefaultSettings();

// The desktop panel's settings (today-host --tray), DWORDs; a missing value reads as its default.
// Whether the session starts the panel item at login (the Install page writes the autostart entry
// with it).
inline constexpr wchar_t kTrayAtLogin[] = L"TrayAtLogin";
inline constexpr uint32_t kDefaultTrayAtLogin = 0;
// Whether the panel item tells of rain about to begin.
inline constexpr wchar_t kRainNotices[] = L"RainNotices";
inline constexpr uint32_t kDefaultRainNotices = 1;

}  // namespace cirrodex
