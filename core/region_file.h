// The lines of a region file of city codes, as the chooser reads them and the weather service
// reads them too: one location a line, "London, UKXX0085, 51.51, -0.13, England".
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace cirrodex {

// The longest location name kept.
inline constexpr size_t kMaxLocationName = 127;
// City codes are eight characters long.
inline constexpr size_t kCityCodeLength = 8;
// The platform's line reading takes at most this many characters at a time; the rest of a longer
// line comes as a line of its own.
inline constexpr size_t kMaxLineRead = 255;

struct RegionLocation {
  std::wstring name;
  std::wstring code;
};

// One line as read (with or without its line end): the name is everything before the first comma
// (at most 127 characters), then spaces are skipped and the next eight characters are the code.
// False for a line without a comma. `rest`, when given, receives what follows the code.
bool ParseRegionLine(std::wstring_view line, RegionLocation& location,
                     std::wstring_view* rest = nullptr);

// Calls `visit(const RegionLocation&, std::wstring_view rest)` with each location in the bytes of
// one region file (UTF-8, an optional byte-order mark) in file order, and with what follows its
// code: lines as the platform's wide, text-mode line reading gives them (ending after a line
// feed or after 255 characters), the lines without a comma skipped.
template <typename Visit>
void ForEachRegionLine(std::string_view bytes, Visit&& visit) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  RegionLocation location;
  std::wstring_view rest;
  // Line by line, so that a large file is never held as wide text at once; a byte sequence of
  // UTF-8 never holds a line feed, so each line decodes as it would within the whole.
  while (!bytes.empty()) {
    const size_t feed = bytes.find('\n');
    const size_t end = feed == std::string_view::npos ? bytes.size() : feed + 1;
    const std::wstring text = platform::FromUtf8(bytes.substr(0, end));
    bytes.remove_prefix(end);
    // The same cuts as SplitReadLines: at most 255 characters a read, so a line feed right after
    // 255 characters is read as an empty line of its own.
    for (std::wstring_view remaining = text; !remaining.empty();) {
      const std::wstring_view line = remaining.substr(0, kMaxLineRead);
      remaining.remove_prefix(line.size());
      if (ParseRegionLine(line, location, &rest)) visit(location, rest);
    }
  }
}

// The locations of ForEachRegionLine, in file order.
std::vector<RegionLocation> ParseRegionText(std::string_view bytes);

}  // namespace cirrodex
