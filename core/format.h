// Printf-style wide text, and the reading and writing of numbers as the platform's formatted scan
// and print do them, independent of the process's locale (the Qt programs take theirs from the
// environment, which would turn "21.50" into "21,50").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cirrodex {

// vswprintf into a new string of any length. Wide strings are "%ls"; a plain "%s" expects a
// narrow one. Floating-point conversions follow the locale: use FormatFixed for those.
std::wstring WFormat(const wchar_t* format, ...);

// "%<width>.<precision>lf" in the C locale.
std::wstring FormatFixed(double value, int width, int precision);

// "%ld": skips leading white space, reads an optional sign and decimal digits, and stops at the
// first other character. False when no digit was read; `value` is then unchanged. A number
// beyond 32 bits is clamped to the nearest end of the range.
bool ScanInt(std::wstring_view text, int32_t& value);

// "%lf": the same for a decimal number with optional fraction and exponent. Only decimal
// notation reads (no "inf", "nan" or hexadecimal); a number beyond the range of a double does
// not read.
bool ScanDouble(std::wstring_view text, double& value);

// A small "%d" scan: `format` holds "%d" conversions, white space (matching any run of white
// space in `text`, also none) and other characters that must match exactly. Returns how many
// conversions were read into `values` (which holds one slot per conversion), stopping at the first
// mismatch, as the formatted scan does.
int ScanInts(std::wstring_view text, std::wstring_view format, int32_t* values);

// Truncates toward zero to 32 bits; values beyond the range are clamped and NaN gives 0, where a
// plain conversion would be undefined.
int32_t TruncateToInt32(double value);

}  // namespace cirrodex
