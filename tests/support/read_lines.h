// The platform's wide, text-mode line reading, written out plainly as the tests' reference: lines
// end after a line feed (a carriage return before it is dropped) or after 255 characters.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/region_file.h"

namespace cirrodex::testing {

inline std::vector<std::wstring> SplitReadLines(std::wstring_view text) {
  std::vector<std::wstring> lines;
  std::wstring line;
  for (wchar_t c : text) {
    if (c == L'\n') {
      if (!line.empty() && line.back() == L'\r') line.pop_back();
      lines.push_back(std::move(line));
      line.clear();
      continue;
    }
    line.push_back(c);
    if (line.size() == kMaxLineRead) {
      lines.push_back(std::move(line));
      line.clear();
    }
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

}  // namespace cirrodex::testing
