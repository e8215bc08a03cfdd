// The region files of city codes: one file per region in the install folder's "citycodes" folder,
// one location per line ("London, UKXX0085, 51.51, -0.13").
#pragma once

#include <string>
#include <string_view>
#include <vector>

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
// False for a line without a comma.
bool ParseRegionLine(std::wstring_view line, RegionLocation& location);

// Splits text as the platform's wide, text-mode line reading does: lines end after a line feed
// (a carriage return before it is dropped) or after 255 characters.
std::vector<std::wstring> SplitReadLines(std::wstring_view text);

// The locations in the bytes of one region file (UTF-8, an optional byte-order mark), in file
// order: lines as SplitReadLines reads them, the lines without a comma skipped.
std::vector<RegionLocation> ParseRegionText(std::string_view bytes);

// The region names of the files "*.csv" in "<installFolder>\citycodes" (a handheld path): each
// file name in capitals up to its first ".CSV", sorted by 16-bit character codes, equal names in
// the order found. Empty when the folder is missing.
std::vector<std::wstring> FindRegions(const std::wstring& installFolder);

// The locations of a region's file "<installFolder>\citycodes\<region>.csv" in file order (file
// names match without regard to case, as on the handheld). False when it cannot be opened.
bool ReadRegion(const std::wstring& installFolder, const std::wstring& region,
                std::vector<RegionLocation>& locations);

}  // namespace cirrodex
