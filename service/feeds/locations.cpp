#include "service/feeds/locations.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "core/region_file.h"
#include "platform/text.h"
#include "platform/whole_file.h"
#include "service/feeds/feed_document.h"

namespace cirrodex::service {

namespace {

std::wstring_view Trim(std::wstring_view text) {
  while (!text.empty() &&
         (text.front() == L' ' || text.front() == L'\t' || text.front() == L'\r')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == L' ' || text.back() == L'\t' || text.back() == L'\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// "-33.92" and the like as the exact quotient of two integers, which is the nearest double as a
// full decimal reading gives it; false for any other form.
bool ReadPlainDecimal(std::wstring_view text, double& value) {
  const bool negative = !text.empty() && text.front() == L'-';
  if (negative || (!text.empty() && text.front() == L'+')) text.remove_prefix(1);
  int64_t digits = 0;
  int64_t scale = 1;
  bool point = false;
  size_t count = 0;
  for (wchar_t c : text) {
    if (c == L'.' && !point) {
      point = true;
    } else if (c >= L'0' && c <= L'9' && count < 15) {
      digits = digits * 10 + (c - L'0');
      if (point) scale *= 10;
      ++count;
    } else {
      return false;
    }
  }
  if (count == 0) return false;
  value = static_cast<double>(negative ? -digits : digits) / static_cast<double>(scale);
  return true;
}

bool ReadDegrees(std::wstring_view text, double limit, double& value) {
  text = Trim(text);
  if (!ReadPlainDecimal(text, value)) {
    char digits[32];
    if (text.empty() || text.size() >= sizeof digits) return false;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] > 0x7F) return false;
      digits[i] = static_cast<char>(text[i]);
    }
    const char* end = digits + text.size();
    const auto read = std::from_chars(digits, end, value);
    if (read.ec != std::errc() || read.ptr != end) return false;
  }
  return value >= -limit && value <= limit;
}

bool IsCodeOfFiles(std::wstring_view code) {
  return code.size() == kCityCodeLength && std::all_of(code.begin(), code.end(), [](wchar_t c) {
           return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
         });
}

// What follows the code: ", LAT, LON" and optionally ", STATE"; anything after that is ignored.
bool ReadPlace(std::wstring_view rest, Location& location) {
  rest = Trim(rest);
  if (rest.empty() || rest.front() != L',') return false;
  rest.remove_prefix(1);
  std::wstring_view fields[3];
  size_t count = 0;
  while (count < 3) {
    const size_t comma = rest.find(L',');
    fields[count++] = rest.substr(0, comma);
    if (comma == std::wstring_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  if (count < 2 || !ReadDegrees(fields[0], 90, location.latitude) ||
      !ReadDegrees(fields[1], 180, location.longitude)) {
    return false;
  }
  if (count == 3) location.state = platform::ToUtf8(Trim(fields[2]));
  return true;
}

std::optional<Location> LocationOf(const RegionLocation& line, std::wstring_view rest,
                                   const std::string& region) {
  if (line.name.empty() || !IsCodeOfFiles(line.code)) return std::nullopt;
  Location location;
  if (!ReadPlace(rest, location)) return std::nullopt;
  location.code.assign(line.code.begin(), line.code.end());  // letters and digits only
  location.name = platform::ToUtf8(line.name);
  location.region = region;
  return location;
}

// The eight characters of a code as one number that orders as the text does.
uint64_t CodeKey(std::string_view code) {
  uint64_t key = 0;
  for (size_t i = 0; i < kCityCodeLength; ++i) {
    key = key << 8 | (i < code.size() ? static_cast<unsigned char>(code[i]) : 0u);
  }
  return key;
}

bool Digits(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](unsigned char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::optional<Location> ParseLocationLine(const std::string& line, const std::string& region) {
  RegionLocation parsed;
  std::wstring_view rest;
  const std::wstring wide = platform::FromUtf8(line);
  if (!ParseRegionLine(wide, parsed, &rest)) return std::nullopt;
  return LocationOf(parsed, rest, region);
}

std::optional<Coordinates> ParseCoordinateCode(std::string_view code) {
  if (code.size() != 11 || (code[0] != 'N' && code[0] != 'S') ||
      (code[5] != 'E' && code[5] != 'W') || !Digits(code.substr(1, 4)) ||
      !Digits(code.substr(6, 5))) {
    return std::nullopt;
  }
  const int latitude = std::atoi(std::string(code.substr(1, 4)).c_str());
  const int longitude = std::atoi(std::string(code.substr(6, 5)).c_str());
  if (latitude > 9000 || longitude > 18000) return std::nullopt;
  return Coordinates{(code[0] == 'S' ? -latitude : latitude) / 100.0,
                     (code[5] == 'W' ? -longitude : longitude) / 100.0};
}

std::string CoordinatesText(const Coordinates& point) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f%c %.2f%c", std::fabs(point.latitude),
                point.latitude < 0 ? 'S' : 'N', std::fabs(point.longitude),
                point.longitude < 0 ? 'W' : 'E');
  return text;
}

double DistanceKm(const Coordinates& a, const Coordinates& b) {
  constexpr double kRadians = std::numbers::pi / 180;
  const double dLatitude = (b.latitude - a.latitude) * kRadians;
  const double dLongitude = (b.longitude - a.longitude) * kRadians;
  const double h = std::pow(std::sin(dLatitude / 2), 2) + std::cos(a.latitude * kRadians) *
                                                              std::cos(b.latitude * kRadians) *
                                                              std::pow(std::sin(dLongitude / 2), 2);
  return 2 * 6371.0 * std::asin(std::min(1.0, std::sqrt(h)));
}

void SetFeedPlace(const Location& location, const std::string& mark, FeedWeather& weather) {
  weather.city = FeedCityName(location.name, mark);
  weather.subDivision = SubDivisionOfCode(location.code);
  weather.country = FeedField(location.region);
  weather.region = FeedField(location.state.empty() ? location.region : location.state);
}

size_t LocationIndex::LoadFolder(const std::filesystem::path& folder) {
  std::error_code error;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.is_regular_file(error) && entry.path().extension() == ".csv") {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());  // so that which duplicate wins does not vary
  // One buffer for every file, and room for the locations at once: on a virtual machine each
  // fresh page of memory costs more than the reading of its lines.
  std::string bytes;
  uintmax_t total = 0;
  for (const auto& file : files) {
    const uintmax_t size = std::filesystem::file_size(file, error);
    if (!error) total += size;
  }
  // Lines are longer than 50 bytes but for the rare short name.
  locations_.reserve(locations_.size() + static_cast<size_t>(total / 50));
  for (const auto& file : files) {
    // One that cannot be read is skipped like a missing one.
    if (!platform::ReadFileIfPresent(file, bytes)) continue;
    const std::string region = file.stem().string();
    ForEachRegionLine(bytes, [&](const RegionLocation& line, std::wstring_view rest) {
      if (auto location = LocationOf(line, rest, region))
        locations_.push_back(std::move(*location));
    });
  }
  byCode_.clear();
  byCode_.reserve(locations_.size());
  for (size_t i = 0; i < locations_.size(); ++i) {
    byCode_.emplace_back(CodeKey(locations_[i].code), static_cast<uint32_t>(i));
  }
  // By code; of equal codes the one read first sorts first, and the others are dropped.
  std::sort(byCode_.begin(), byCode_.end());
  byCode_.erase(std::unique(byCode_.begin(), byCode_.end(),
                            [](const auto& a, const auto& b) { return a.first == b.first; }),
                byCode_.end());
  byCode_.shrink_to_fit();
  return byCode_.size();
}

const Location* LocationIndex::Find(const std::string& code) const {
  if (code.size() != kCityCodeLength) return nullptr;
  const uint64_t key = CodeKey(code);
  const auto found = std::lower_bound(byCode_.begin(), byCode_.end(), std::pair(key, uint32_t{0}));
  return found == byCode_.end() || found->first != key ? nullptr : &locations_[found->second];
}

const Location* LocationIndex::Nearest(const Coordinates& point, double radiusKm) const {
  // A degree of latitude is 111 km everywhere: a cheap test first.
  const double latitudeSpan = radiusKm / 111.0 + 0.01;
  const Location* nearest = nullptr;
  double best = radiusKm;
  for (const Location& location : locations_) {
    if (std::fabs(location.latitude - point.latitude) > latitudeSpan) continue;
    const double km = DistanceKm(point, {location.latitude, location.longitude});
    if (km <= best) {
      best = km;
      nearest = &location;
    }
  }
  return nearest;
}

std::optional<Location> LocationIndex::Resolve(const std::string& code) const {
  if (const Location* known = Find(code)) return *known;
  if (code == kFallbackCode) {
    if (const Location* stand = Find(kFallbackStandIn)) {
      Location location = *stand;
      location.code = code;
      return location;
    }
  }
  const auto point = ParseCoordinateCode(code);
  if (!point) return std::nullopt;
  Location location;
  location.code = code;
  location.latitude = point->latitude;
  location.longitude = point->longitude;
  if (const Location* near = Nearest(*point, kNamingRadiusKm)) {
    const double km = DistanceKm(*point, {near->latitude, near->longitude});
    location.name = (km <= kSamePlaceKm ? "" : "near ") + near->name;
    location.region = near->region;
    location.state = near->state;
  } else {
    location.name = CoordinatesText(*point);
  }
  return location;
}

}  // namespace cirrodex::service
