#include "core/format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cwchar>
#include <limits>
#include <string>
#include <vector>

namespace cirrodex {

namespace {

bool IsSpace(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Reads one "%d" at `pos`; advances `pos` past it. False (pos unchanged) when no digit follows.
bool ReadInt(std::wstring_view text, size_t& pos, int32_t& value) {
  size_t i = pos;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  if (i >= text.size() || !IsDigit(text[i])) return false;
  // Accumulate toward the limit of the sign so that -2147483648 reads exactly.
  const int64_t limit = negative ? int64_t{2147483648} : int64_t{2147483647};
  int64_t magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    if (magnitude < limit) magnitude = std::min(limit, magnitude * 10 + (text[i] - L'0'));
  }
  value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  pos = i;
  return true;
}

}  // namespace

std::wstring WFormat(const wchar_t* format, ...) {
  std::vector<wchar_t> buffer(128);
  for (;;) {
    va_list args;
    va_start(args, format);
    int n = std::vswprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    // vswprintf gives -1 both for a buffer too small and for a bad conversion; stop growing at a
    // size no text of this system approaches.
    if (n >= 0) return std::wstring(buffer.data(), static_cast<size_t>(n));
    if (buffer.size() >= (1u << 20)) return std::wstring();
    buffer.resize(buffer.size() * 4);
  }
}

std::wstring FormatFixed(double value, int width, int precision) {
  // Enough for the 309 integer digits of the largest double and any sensible precision.
  char digits[400];
  precision = std::clamp(precision, 0, 40);
  auto [end, ec] =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, precision);
  if (ec != std::errc()) return std::wstring();
  std::wstring out;
  size_t length = static_cast<size_t>(end - digits);
  if (width > 0 && length < static_cast<size_t>(width)) {
    out.assign(static_cast<size_t>(width) - length, L' ');
  }
  for (const char* p = digits; p != end; ++p) out += static_cast<wchar_t>(*p);
  return out;
}

bool ScanInt(std::wstring_view text, int32_t& value) {
  size_t pos = 0;
  return ReadInt(text, pos, value);
}

bool ScanDouble(std::wstring_view text, double& value) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  // The longest prefix of the form [sign] digits [. digits] [e [sign] digits], narrowed for
  // from_chars, which takes no "+" sign. Numbers of the feed fit the local buffer; longer ones
  // go to the heap.
  char local[64];
  std::string heap;
  size_t length = 0;
  auto add = [&](wchar_t c) {
    if (length < sizeof local) {
      local[length] = static_cast<char>(c);
    } else {
      if (heap.empty()) heap.assign(local, sizeof local);
      heap += static_cast<char>(c);
    }
    ++length;
  };
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    if (text[i] == L'-') add(L'-');
    ++i;
  }
  size_t mantissaDigits = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i, ++mantissaDigits) add(text[i]);
  if (i < text.size() && text[i] == L'.') {
    add(L'.');
    for (++i; i < text.size() && IsDigit(text[i]); ++i, ++mantissaDigits) add(text[i]);
  }
  if (mantissaDigits == 0) return false;
  if (i < text.size() && (text[i] == L'e' || text[i] == L'E')) {
    // The exponent counts only when digits follow it.
    size_t j = i + 1;
    if (j < text.size() && (text[j] == L'+' || text[j] == L'-')) ++j;
    if (j < text.size() && IsDigit(text[j])) {
      for (; i < j; ++i) add(text[i]);
      for (; i < text.size() && IsDigit(text[i]); ++i) add(text[i]);
    }
  }
  const char* begin = heap.empty() ? local : heap.data();
  double parsed = 0;
  auto [end, ec] = std::from_chars(begin, begin + length, parsed);
  if (ec != std::errc() || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

int ScanInts(std::wstring_view text, std::wstring_view format, int32_t* values) {
  size_t pos = 0;
  int count = 0;
  for (size_t f = 0; f < format.size(); ++f) {
    if (format[f] == L'%' && f + 1 < format.size() && format[f + 1] == L'd') {
      if (!ReadInt(text, pos, values[count])) return count;
      ++count;
      ++f;
    } else if (IsSpace(format[f])) {
      while (pos < text.size() && IsSpace(text[pos])) ++pos;
    } else {
      if (pos >= text.size() || text[pos] != format[f]) return count;
      ++pos;
    }
  }
  return count;
}

int32_t TruncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483648.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483649.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

}  // namespace cirrodex
