#include "setup/sheet/region_files.h"

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <iterator>
#include <optional>
#include <system_error>

#include "platform/device.h"
#include "platform/text.h"
#include "platform/whole_file.h"

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
    // Of the names that match without regard to case, the first by name, as a sorted listing
    // would give it; without sorting the folder for every region.
    const std::wstring wanted = Upper(region + L".csv");
    fs::path found;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      const fs::path& candidate = it->path();
      if (!found.empty() && candidate >= found) continue;
      if (it->is_regular_file(error) &&
          Upper(platform::FromUtf8(candidate.filename().string())) == wanted) {
        found = candidate;
      }
    }
    if (!found.empty()) file = found;
  }
  const std::optional<std::string> bytes = platform::ReadFileIfPresent(file);
  if (!bytes) return false;
  std::vector<RegionLocation> found = ParseRegionText(*bytes);
  locations.insert(locations.end(), std::make_move_iterator(found.begin()),
                   std::make_move_iterator(found.end()));
  return true;
}

}  // namespace cirrodex
