#include "setup/sheet/region_files.h"

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/device.h"
#include "platform/text.h"

namespace cirrodex {

namespace {

namespace fs = std::filesystem;

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  return text;
}

// Region names compare by their 16-bit character codes, a prefix first.
bool SortsBefore(const std::wstring& a, const std::wstring& b) {
  return platform::ToUtf16(a) < platform::ToUtf16(b);
}

fs::path CityCodesFolder(const std::wstring& installFolder) {
  return platform::DevicePath(installFolder + L"\\citycodes");
}

std::vector<fs::path> FolderFiles(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (it->is_regular_file(error)) files.push_back(it->path());
  }
  // The handheld's file system lists by name; the order only matters for equal region names.
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

bool ParseRegionLine(std::wstring_view line, RegionLocation& location) {
  if (!line.empty() && line.back() == L'\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);
  const size_t comma = line.find(L',');
  if (comma == std::wstring_view::npos) return false;
  location.name = std::wstring(line.substr(0, std::min(comma, kMaxLocationName)));
  size_t start = comma + 1;
  while (start < line.size() && line[start] == L' ') ++start;
  location.code = std::wstring(line.substr(start, kCityCodeLength));
  return true;
}

std::vector<std::wstring> SplitReadLines(std::wstring_view text) {
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

std::vector<std::wstring> FindRegions(const std::wstring& installFolder) {
  std::vector<std::wstring> regions;
  for (const fs::path& file : FolderFiles(CityCodesFolder(installFolder))) {
    const std::wstring name = Upper(platform::FromUtf8(file.filename().string()));
    const size_t extension = name.find(L".CSV");
    // "*.csv" matches names ending so; the region is the part before the first ".CSV".
    if (name.size() < 4 || name.compare(name.size() - 4, 4, L".CSV") != 0) continue;
    if (extension == 0 || extension == std::wstring::npos) continue;
    std::wstring region = name.substr(0, extension);
    auto at = std::find_if(regions.begin(), regions.end(),
                           [&](const std::wstring& other) { return SortsBefore(region, other); });
    regions.insert(at, std::move(region));
  }
  return regions;
}

bool ReadRegion(const std::wstring& installFolder, const std::wstring& region,
                std::vector<RegionLocation>& locations) {
  const fs::path folder = CityCodesFolder(installFolder);
  fs::path file = folder / platform::ToUtf8(region + L".csv");
  std::error_code error;
  if (!fs::is_regular_file(file, error)) {
    const std::wstring wanted = Upper(region + L".csv");
    for (const fs::path& candidate : FolderFiles(folder)) {
      if (Upper(platform::FromUtf8(candidate.filename().string())) == wanted) {
        file = candidate;
        break;
      }
    }
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<RegionLocation> found = ParseRegionText(bytes);
  locations.insert(locations.end(), std::make_move_iterator(found.begin()),
                   std::make_move_iterator(found.end()));
  return true;
}

std::vector<RegionLocation> ParseRegionText(std::string_view bytes) {
  std::wstring text = platform::FromUtf8(bytes);
  if (!text.empty() && text.front() == L'\uFEFF') text.erase(0, 1);
  std::vector<RegionLocation> locations;
  RegionLocation location;
  for (const std::wstring& line : SplitReadLines(text)) {
    if (ParseRegionLine(line, location)) locations.push_back(location);
  }
  return locations;
}

}  // namespace cirrodex
