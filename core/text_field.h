// Copies into the fixed-size text fields of the weather records. Every copy is bounded: an
// over-long value is cut, never overrun, and the field stays terminated.
#pragma once

#include <cstddef>
#include <string_view>

namespace cirrodex {

// Copies at most N-1 characters of `src` (up to its terminator) into `dst` and terminates it.
template <size_t N>
void CopyText(wchar_t (&dst)[N], const wchar_t* src) {
  size_t i = 0;
  if (src != nullptr) {
    for (; i + 1 < N && src[i] != L'\0'; ++i) dst[i] = src[i];
  }
  dst[i] = L'\0';
}

// The same for a text given with its length; it still ends at an embedded NUL.
template <size_t N>
void CopyText(wchar_t (&dst)[N], std::wstring_view src) {
  size_t i = 0;
  for (; i + 1 < N && i < src.size() && src[i] != L'\0'; ++i) dst[i] = src[i];
  dst[i] = L'\0';
}

}  // namespace cirrodex
