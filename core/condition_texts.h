// What the feed's numbers mean on screen: condition codes as short texts, weekday numbers as
// names, icon numbers as bitmap file names. Nothing here reads a report.
#pragma once

#include <cstdint>
#include <string>

namespace cirrodex {

// Number of codes in the condition text table.
inline constexpr int kConditionTextCount = 137;
// The longest condition text, in characters.
inline constexpr int kLongestConditionText = 25;

// The text of an exact code; "<unknown %d>" of the code for one outside the table (0 and negative
// codes included).
std::wstring ConditionText(int32_t code);

enum class WeekdayForm { Short, Long };

// "Sun" .. "Sat" or "Sunday" .. "Saturday" for 1 = Sunday .. 7 = Saturday; "???" for any other.
std::wstring WeekdayName(int32_t number, WeekdayForm form);

// "bmp\%d.bmp" of the number, relative to the install folder.
std::wstring IconFileName(int32_t number);

// "%s\%s" of the install folder and IconFileName(number): the handheld path of an icon file.
std::wstring IconPath(const std::wstring& installFolder, int32_t number);

}  // namespace cirrodex
