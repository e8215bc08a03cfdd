#include "core/condition_texts.h"

#include <algorithm>
#include <array>
#include <cwchar>

namespace cirrodex {

namespace {

struct ConditionEntry {
  int32_t code;
  const wchar_t* text;
};

// Sorted by code; several codes share a text.
constexpr std::array<ConditionEntry, kConditionTextCount> kConditionTexts = {{
    {1, L"Cloudy"},
    {3, L"Mostly Cloudy"},
    {4, L"Partly Cloudy"},
    {11, L"Clear"},
    {13, L"Light Rain"},
    {14, L"Showers"},
    {15, L"Showers Early"},
    {16, L"Showers Late"},
    {18, L"Rain"},
    {19, L"AM Showers"},
    {20, L"Scattered Showers"},
    {21, L"Few Showers"},
    {22, L"Mostly Sunny"},
    {23, L"Mostly Clear"},
    {24, L"Sunny"},
    {25, L"Scattered Flurries"},
    {26, L"AM Clouds/PM Sun"},
    {27, L"Iso T-Storms"},
    {28, L"Sct T-Storms"},
    {29, L"PM Showers"},
    {30, L"PM Showers/Wind"},
    {31, L"Rain/Snow Showers"},
    {32, L"Few Snow Showers"},
    {33, L"Cloudy/Wind"},
    {34, L"Flurries/Wind"},
    {35, L"Mostly Cloudy/Windy"},
    {36, L"Rain/Thunder"},
    {37, L"Partly Cloudy/Windy"},
    {38, L"AM Rain/Snow Showers"},
    {39, L"Showers/Wind Late"},
    {40, L"Light Rain/Wind"},
    {41, L"Showers/Wind"},
    {42, L"Cld then Clr"},
    {43, L"T-Showers"},
    {44, L"Mostly Sunny/Wind"},
    {45, L"Flurries"},
    {46, L"Mostly Clear / Wind"},
    {47, L"Rain/Wind"},
    {49, L"Sct Flury/Wind"},
    {50, L"Sct Strong Strms"},
    {51, L"PM T-Storms"},
    {52, L"T-Storms Early"},
    {53, L"Thunderstorms"},
    {55, L"Sunny/Windy"},
    {56, L"AM T-Storms"},
    {57, L"T-Storms Late"},
    {62, L"AM Rain"},
    {63, L"Sct Shwrs/Wnd"},
    {64, L"Iso T-Storms/Wind"},
    {65, L"Rain/Snow"},
    {66, L"Sct T-Storms/Wind"},
    {67, L"AM Showers/Wind"},
    {70, L"Sct Snow Showers"},
    {71, L"Snow to Ice/Wind"},
    {73, L"Light Snow Late"},
    {75, L"Light/Frz Rain"},
    {77, L"Snow to Rain"},
    {78, L"Snow Showers Early"},
    {80, L"AM Light Rain"},
    {81, L"PM Light Rain"},
    {82, L"PM Rain"},
    {84, L"Snow Showers"},
    {85, L"Rain to Snow"},
    {86, L"PM Rain/Snow"},
    {88, L"Few Showers/Wind"},
    {89, L"PM Snow/Wind"},
    {90, L"Snow/Wind"},
    {91, L"PM Rain/Snow Showers"},
    {92, L"PM Rain/Snow/Wind"},
    {93, L"Rain/Snow Showers/Wind"},
    {94, L"Rain/Snow/Wind"},
    {98, L"Light Snow"},
    {100, L"PM Snow"},
    {101, L"Few Snow Showers/Wind"},
    {103, L"Light Snow/Wind"},
    {104, L"Wintry Mix"},
    {105, L"AM Wintry Mix"},
    {106, L"Hvy Rain/Freezing Rain"},
    {107, L"Snow Showers Late"},
    {108, L"AM Light Snow"},
    {109, L"Snow"},
    {114, L"Rain/Freezing Rain"},
    {118, L"T-Storms/Wind"},
    {123, L"Sprinkles"},
    {125, L"AM Snow Showers"},
    {126, L"AM Clouds/PM Sun/Wind"},
    {127, L"Rain / Snow Showers Late"},
    {128, L"AM Rain/Snow/Wind"},
    {130, L"Rain to Snow/Wind"},
    {132, L"Snow to Wintry Mix"},
    {133, L"PM Snow Showers/Wind"},
    {135, L"Snow and Ice to Rain"},
    {137, L"Heavy Rain"},
    {138, L"AM Rain/Ice"},
    {140, L"Heavy T-Storms/Wind"},
    {142, L"Rain/Thunder/Wind"},
    {145, L"AM Snow Showers/Wind"},
    {146, L"AM Light Snow/Wind"},
    {147, L"Sct Snow Showers/Wind"},
    {150, L"PM Light Rain/Wind"},
    {152, L"AM Light Wintry Mix"},
    {153, L"PM Light Snow/Wind"},
    {154, L"Heavy Rain/Wind"},
    {155, L"PM Snow Shower"},
    {158, L"Snow to Rain/Wind"},
    {163, L"Rain/Sleet"},
    {164, L"PM Light Rain/Ice"},
    {167, L"AM Snow"},
    {171, L"Snow to Ice"},
    {172, L"Wintry Mix/Wind"},
    {173, L"Strong Storms"},
    {175, L"PM Light Snow"},
    {178, L"AM Drizzle"},
    {183, L"Snow Showers / Wind Early"},
    {189, L"Strong Storms/Wind"},
    {193, L"PM Drizzle"},
    {194, L"Drizzle"},
    {201, L"AM Light Rain/Wind"},
    {202, L"PM Wintry Mix"},
    {204, L"AM Rain/Wind"},
    {223, L"Wintry Mix to Snow"},
    {231, L"Rain"},
    {236, L"Ice to Rain"},
    {259, L"Hvy Rain/Freezing Rain"},
    {271, L"Snow Showers/Windy"},
    {988, L"Partly Cloudy/Windy"},
    {989, L"Light Rain Shower"},
    {990, L"Light Rain with Thunder"},
    {991, L"Light Drizzle"},
    {992, L"Mist"},
    {993, L"Smoke"},
    {994, L"Haze"},
    {995, L"Light Snow Shower"},
    {996, L"Light Snow Shower/ Windy"},
    {997, L"Clear"},
    {998, L"A Few Clouds"},
    {999, L"Fair"},
}};

static_assert(std::is_sorted(kConditionTexts.begin(), kConditionTexts.end(),
                             [](const ConditionEntry& a, const ConditionEntry& b) {
                               return a.code < b.code;
                             }));

constexpr const wchar_t* kShortNames[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
constexpr const wchar_t* kLongNames[] = {L"Sunday",   L"Monday", L"Tuesday", L"Wednesday",
                                         L"Thursday", L"Friday", L"Saturday"};

}  // namespace

std::wstring ConditionText(int32_t code) {
  auto it = std::lower_bound(
      kConditionTexts.begin(), kConditionTexts.end(), code,
      [](const ConditionEntry& entry, int32_t value) { return entry.code < value; });
  if (it != kConditionTexts.end() && it->code == code) return it->text;
  wchar_t buffer[32];
  std::swprintf(buffer, 32, L"<unknown %d>", code);
  return buffer;
}

std::wstring WeekdayName(int32_t number, WeekdayForm form) {
  if (number < 1 || number > 7) return L"???";
  return form == WeekdayForm::Short ? kShortNames[number - 1] : kLongNames[number - 1];
}

std::wstring IconFileName(int32_t number) {
  wchar_t buffer[32];
  std::swprintf(buffer, 32, L"bmp\\%d.bmp", number);
  return buffer;
}

std::wstring IconPath(const std::wstring& installFolder, int32_t number) {
  return installFolder + L"\\" + IconFileName(number);
}

}  // namespace cirrodex
