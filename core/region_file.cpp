#include "core/region_file.h"

#include <algorithm>

namespace cirrodex {

bool ParseRegionLine(std::wstring_view line, RegionLocation& location, std::wstring_view* rest) {
  if (!line.empty() && line.back() == L'\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);
  const size_t comma = line.find(L',');
  if (comma == std::wstring_view::npos) return false;
  location.name.assign(line.substr(0, std::min(comma, kMaxLocationName)));
  size_t start = comma + 1;
  while (start < line.size() && line[start] == L' ') ++start;
  location.code.assign(line.substr(start, kCityCodeLength));
  if (rest != nullptr) *rest = line.substr(std::min(line.size(), start + kCityCodeLength));
  return true;
}

std::vector<RegionLocation> ParseRegionText(std::string_view bytes) {
  std::vector<RegionLocation> locations;
  ForEachRegionLine(bytes, [&](const RegionLocation& location, std::wstring_view) {
    locations.push_back(location);
  });
  return locations;
}

}  // namespace cirrodex
