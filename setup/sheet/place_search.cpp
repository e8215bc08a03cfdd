#include "setup/sheet/place_search.h"

#include <QList>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cwctype>
#include <filesystem>
#include <map>
#include <numbers>
#include <optional>
#include <system_error>

#include "core/format.h"
#include "core/region_file.h"
#include "platform/device.h"
#include "platform/text.h"
#include "platform/whole_file.h"
#include "setup/sheet/region_files.h"

namespace cirrodex {

namespace {

namespace fs = std::filesystem;

constexpr double kSamePlaceKm = 5;

// Letters that no decomposition takes apart.
const wchar_t* SpeltOut(char32_t c) {
  switch (c) {
    case U'ß':
      return L"ss";
    case U'æ':
      return L"ae";
    case U'œ':
      return L"oe";
    case U'ø':
      return L"o";
    case U'đ':
      return L"d";
    case U'ð':
      return L"d";
    case U'ħ':
      return L"h";
    case U'ı':
      return L"i";
    case U'ł':
      return L"l";
    case U'þ':
      return L"th";
    case U'ŧ':
      return L"t";
    default:
      return nullptr;
  }
}

// Codes of two letters and six digits were made for the places added from the gazetteer; the
// others come from the first list, which held the large cities of every country.
bool IsGeneratedCode(std::wstring_view code) {
  if (code.size() != 8) return false;
  for (size_t i = 0; i < code.size(); ++i) {
    const wchar_t c = code[i];
    if (i < 2 ? !(c >= L'A' && c <= L'Z') : !(c >= L'0' && c <= L'9')) return false;
  }
  return true;
}

bool IsWordStart(std::string_view text, size_t at) {
  if (at == 0) return true;
  const char before = text[at - 1];
  return before == ' ' || before == '-' || before == '\'' || before == '(' || before == '/' ||
         before == '.';
}

// What follows a code in a region file: ", LAT, LON[, STATE]".
void ReadPlaceFields(std::wstring_view rest, float& latitude, float& longitude,
                     std::wstring& state) {
  std::vector<std::wstring_view> fields;
  while (!rest.empty()) {
    const size_t comma = rest.find(L',');
    fields.push_back(rest.substr(0, comma));
    rest = comma == std::wstring_view::npos ? std::wstring_view() : rest.substr(comma + 1);
  }
  double value = 0;
  latitude = fields.size() > 1 && ScanDouble(fields[1], value) ? static_cast<float>(value) : 0;
  longitude = fields.size() > 2 && ScanDouble(fields[2], value) ? static_cast<float>(value) : 0;
  state.clear();
  if (fields.size() > 3) {
    std::wstring_view s = fields[3];
    while (!s.empty() && std::iswspace(static_cast<wint_t>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::iswspace(static_cast<wint_t>(s.back()))) s.remove_suffix(1);
    state = s;
  }
}

double DistanceKm(double lat1, double lon1, double lat2, double lon2) {
  constexpr double kRadians = std::numbers::pi / 180;
  const double dLat = (lat2 - lat1) * kRadians;
  const double dLon = (lon2 - lon1) * kRadians;
  const double h = std::pow(std::sin(dLat / 2), 2) + std::cos(lat1 * kRadians) *
                                                         std::cos(lat2 * kRadians) *
                                                         std::pow(std::sin(dLon / 2), 2);
  return 2 * 6371.0 * std::asin(std::min(1.0, std::sqrt(h)));
}

// One coordinate: a signed decimal number, perhaps followed by its hemisphere letter.
bool ReadCoordinate(std::wstring_view& text, wchar_t positive, wchar_t negative, double limit,
                    double& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == L' ') ++i;
  const size_t start = i;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) ++i;
  bool digits = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (std::iswdigit(static_cast<wint_t>(text[i]))) {
      digits = true;
    } else if (text[i] == L'.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!digits || !ScanDouble(text.substr(start, i - start), value)) return false;
  while (i < text.size() && text[i] == L' ') ++i;
  if (i < text.size()) {
    const auto letter = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(text[i])));
    if (letter == positive || letter == negative) {
      if (value < 0) return false;
      if (letter == negative) value = -value;
      ++i;
    }
  }
  text.remove_prefix(i);
  return std::fabs(value) <= limit;
}

}  // namespace

std::string FoldForSearch(std::wstring_view text) {
  std::string folded;
  folded.reserve(text.size());
  const bool ascii =
      std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= 0 && c < 0x80; });
  if (ascii) {
    for (wchar_t c : text) {
      folded += static_cast<char>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c);
    }
    return folded;
  }
  // Compatibility decomposition splits "é" into "e" and a combining mark, which is dropped.
  const QString decomposed =
      QString::fromStdWString(std::wstring(text)).normalized(QString::NormalizationForm_KD);
  std::wstring out;
  out.reserve(static_cast<size_t>(decomposed.size()));
  for (const char32_t c : decomposed.toUcs4()) {
    const QChar::Category category = QChar::category(c);
    if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
        category == QChar::Mark_Enclosing) {
      continue;
    }
    const char32_t lower = QChar::toCaseFolded(c);
    if (const wchar_t* spelt = SpeltOut(lower)) {
      out += spelt;
    } else {
      out += static_cast<wchar_t>(lower);
    }
  }
  return platform::ToUtf8(out);
}

bool ParseCoordinates(std::wstring_view text, double& latitude, double& longitude) {
  if (!ReadCoordinate(text, L'N', L'S', 90, latitude)) return false;
  while (!text.empty() && (text.front() == L' ' || text.front() == L',' || text.front() == L';')) {
    text.remove_prefix(1);
  }
  if (!ReadCoordinate(text, L'E', L'W', 180, longitude)) return false;
  while (!text.empty() && text.front() == L' ') text.remove_prefix(1);
  return text.empty();
}

std::wstring CoordinateCode(double latitude, double longitude) {
  const int lat = TruncateToInt32(std::round(std::fabs(latitude) * 100));
  const int lon = TruncateToInt32(std::round(std::fabs(longitude) * 100));
  return WFormat(L"%lc%04d%lc%05d", latitude < 0 ? L'S' : L'N', lat, longitude < 0 ? L'W' : L'E',
                 lon);
}

void PlaceIndex::Load(const std::wstring& installFolder) {
  places_.clear();
  pool_.clear();
  regionNames_.clear();
  const std::vector<std::wstring> regions = FindRegions(installFolder);
  // The file of each region as the chooser opens it: the first whose capitalised name matches.
  const fs::path folder = platform::DevicePath(installFolder + L"\\citycodes");
  std::map<std::wstring, fs::path> files;
  std::error_code error;
  std::vector<fs::path> listing;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (it->is_regular_file(error)) listing.push_back(it->path());
  }
  std::sort(listing.begin(), listing.end());
  for (const fs::path& file : listing) {
    std::wstring upper = platform::FromUtf8(file.filename().string());
    for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    files.emplace(std::move(upper), file);
  }
  places_.reserve(25000);
  pool_.reserve(25000 * 32);
  std::string bytes;
  std::string problem;
  std::wstring state;
  for (size_t r = 0; r < regions.size(); ++r) {
    const auto found = files.find(regions[r] + L".CSV");
    std::wstring shown = regions[r];
    if (found != files.end()) {
      shown = platform::FromUtf8(found->second.filename().string()).substr(0, regions[r].size());
    }
    regionNames_.push_back(shown);
    if (found == files.end() || !platform::ReadWholeFile(found->second, bytes, problem)) continue;
    uint32_t location = 0;
    ForEachRegionLine(bytes, [&](const RegionLocation& line, std::wstring_view rest) {
      Place place{};
      ReadPlaceFields(rest, place.latitude, place.longitude, state);
      const std::string name = platform::ToUtf8(line.name);
      const std::string folded = FoldForSearch(line.name);
      const std::string stateText = platform::ToUtf8(state);
      place.text = static_cast<uint32_t>(pool_.size());
      place.nameSize = static_cast<uint16_t>(name.size());
      place.foldedSize = static_cast<uint16_t>(folded.size());
      place.stateSize = static_cast<uint16_t>(stateText.size());
      pool_ += name;
      pool_ += folded;
      pool_ += stateText;
      place.region = static_cast<uint16_t>(r);
      place.location = location++;
      for (size_t i = 0; i < sizeof place.code; ++i) {
        place.code[i] = i < line.code.size() ? static_cast<char>(line.code[i]) : ' ';
      }
      place.major = !IsGeneratedCode(line.code);
      places_.push_back(place);
    });
  }
  places_.shrink_to_fit();
  pool_.shrink_to_fit();
}

std::string_view PlaceIndex::Name(const Place& place) const {
  return std::string_view(pool_).substr(place.text, place.nameSize);
}

std::string_view PlaceIndex::Folded(const Place& place) const {
  return std::string_view(pool_).substr(place.text + place.nameSize, place.foldedSize);
}

std::string_view PlaceIndex::State(const Place& place) const {
  return std::string_view(pool_).substr(place.text + place.nameSize + place.foldedSize,
                                        place.stateSize);
}

PlaceMatch PlaceIndex::MatchOf(const Place& place) const {
  PlaceMatch match;
  match.name = platform::FromUtf8(Name(place));
  match.code = platform::FromUtf8(std::string_view(place.code, sizeof place.code));
  match.region = place.region;
  match.location = static_cast<int>(place.location);
  const std::wstring state = platform::FromUtf8(State(place));
  match.label = match.name;
  if (!state.empty() && state != match.name) match.label += L", " + state;
  match.label += L" (" + regionNames_[place.region] + L")";
  return match;
}

std::vector<PlaceMatch> PlaceIndex::Search(std::wstring_view query, size_t limit) const {
  std::vector<PlaceMatch> matches;
  double latitude = 0;
  double longitude = 0;
  if (ParseCoordinates(query, latitude, longitude)) {
    const Place* nearest = nullptr;
    double best = 0;
    for (const Place& place : places_) {
      const double km = DistanceKm(latitude, longitude, place.latitude, place.longitude);
      if (nearest == nullptr || km < best) {
        nearest = &place;
        best = km;
      }
    }
    PlaceMatch match;
    match.code = CoordinateCode(latitude, longitude);
    if (nearest != nullptr) {
      const PlaceMatch near = MatchOf(*nearest);
      match.name = (best <= kSamePlaceKm ? L"" : L"near ") + near.name;
      match.region = near.region;
      match.label = match.code + L": " + match.name + L" (" + regionNames_[nearest->region] + L")";
    } else {
      match.name = match.code;
      match.label = match.code;
    }
    matches.push_back(std::move(match));
    return matches;
  }

  // Runs of spaces count as one, and spaces at either end not at all.
  std::wstring cleaned;
  for (wchar_t c : query) {
    if (std::iswspace(static_cast<wint_t>(c))) {
      if (!cleaned.empty() && cleaned.back() != L' ') cleaned += L' ';
    } else {
      cleaned += c;
    }
  }
  if (!cleaned.empty() && cleaned.back() == L' ') cleaned.pop_back();
  if (cleaned.size() < 2) return matches;
  const std::string wanted = FoldForSearch(cleaned);

  struct Hit {
    int rank;
    uint32_t index;
  };
  std::vector<Hit> hits;
  for (uint32_t i = 0; i < places_.size(); ++i) {
    const std::string_view name = Folded(places_[i]);
    if (name.size() < wanted.size()) continue;
    int rank = -1;
    if (name.starts_with(wanted)) {
      rank = name.size() == wanted.size() ? 0 : 1;
    } else {
      for (size_t at = name.find(wanted, 1); at != std::string_view::npos;
           at = name.find(wanted, at + 1)) {
        if (IsWordStart(name, at)) {
          rank = 2;
          break;
        }
      }
    }
    if (rank >= 0) hits.push_back({rank, i});
  }
  auto better = [this](const Hit& a, const Hit& b) {
    const Place& pa = places_[a.index];
    const Place& pb = places_[b.index];
    if (a.rank != b.rank) return a.rank < b.rank;
    if (pa.major != pb.major) return pa.major;
    if (pa.foldedSize != pb.foldedSize) return pa.foldedSize < pb.foldedSize;
    return a.index < b.index;
  };
  const size_t kept = std::min(limit, hits.size());
  std::partial_sort(hits.begin(), hits.begin() + static_cast<std::ptrdiff_t>(kept), hits.end(),
                    better);
  for (size_t i = 0; i < kept; ++i) matches.push_back(MatchOf(places_[hits[i].index]));
  return matches;
}

}  // namespace cirrodex
