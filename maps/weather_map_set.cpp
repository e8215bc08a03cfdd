#include "maps/weather_map_set.h"

#include <algorithm>
#include <memory>
#include <new>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/summary_drawing.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "update/http_fetch.h"
#include "update/update_run.h"

namespace cirrodex {

namespace {

// Radar echoes are drawn in vivid colours over a muted map; a pixel whose channels spread this
// far apart counts as an echo when the icons are merged.
constexpr int kEchoSpread = 80;

const wchar_t* Prefix(MapKind kind) { return kind == MapKind::Radar ? L"Radar" : L"Satellite"; }

std::wstring ValueName(MapKind kind, const wchar_t* suffix) {
  return std::wstring(Prefix(kind)) + suffix;
}

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// RFC 3986's unreserved characters but for '.' and '~', which no city code holds.
bool KeptAsWritten(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

const wchar_t* IconFile(MapKind kind) {
  return kind == MapKind::Radar ? kRadarIconFile : kSatelliteIconFile;
}

void ShowOutOfMemory(const wchar_t* text) {
  platform::MessageBox(nullptr, text, text, platform::MB_OK);
}

int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// Moves `centre` so that centre - half and centre + half lie within 0..extent. The upper test
// compares as unsigned, so a negative sum counts as past the edge. True when it moved.
bool ClampCentre(int32_t& centre, int32_t half, int32_t extent) {
  if (int64_t{centre} - half < 0) {
    centre = half;
    return true;
  }
  const int64_t far = int64_t{centre} + half;
  if (far < 0 || far > extent) {
    centre = ClampToInt32(int64_t{extent} - half);
    return true;
  }
  return false;
}

bool IsEcho(RgbQuad c) {
  const int high = std::max({c.red, c.green, c.blue});
  const int low = std::min({c.red, c.green, c.blue});
  return high - low >= kEchoSpread;
}

}  // namespace

std::wstring DefaultMapUrl(MapKind kind, int port) {
  return Widen(ServiceOrigin(port) + MapPrefix(kind)) + kCityPlaceholder + Widen(kMapSuffix);
}

std::wstring OldDefaultMapUrl(MapKind kind, int port) {
  return Widen(ServiceOrigin(port) + LegacyMapPath(kind));
}

std::wstring FillCityPlaceholder(std::wstring_view url, std::wstring_view code) {
  if (code.empty()) code = kFallbackCityCode;
  const std::string encoded = platform::PercentEncode(code, KeptAsWritten);
  const std::wstring escaped(encoded.begin(), encoded.end());
  const std::wstring_view placeholder = kCityPlaceholder;
  std::wstring filled;
  size_t from = 0;
  for (size_t at = url.find(placeholder); at != std::wstring_view::npos;
       at = url.find(placeholder, from)) {
    filled.append(url.substr(from, at - from));
    filled += escaped;
    from = at + placeholder.size();
  }
  filled.append(url.substr(from));
  return filled;
}

WeatherMapSet::WeatherMapSet() : cityCode_(StoredSelectedCityCode) {
  for (MapKind kind : {MapKind::Radar, MapKind::Satellite}) {
    if (!ReadMapUrl(kind)) SetMapUrl(kind, DefaultMapUrl(kind, ServicePort()));
    ReadCropSettings(kind);
  }
}

bool WeatherMapSet::ReadMapUrl(MapKind kind) {
  WeatherMap& map = Map(kind);
  map.url.reset();
  std::wstring text;
  if (!ReadString(HKEY_CURRENT_USER, kSettingsKey, ValueName(kind, L"ImageURL"), text)) {
    return false;
  }
  // The old defaults showed one fixed area; today's follow the selected city, and the service's
  // port.
  if (text == OldDefaultMapUrl(kind, kDefaultServicePort) ||
      text == DefaultMapUrl(kind, kDefaultServicePort)) {
    text = DefaultMapUrl(kind, ServicePort());
  }
  map.url = std::move(text);
  return true;
}

bool WeatherMapSet::WriteMapUrl(MapKind kind) {
  const WeatherMap& map = Map(kind);
  if (!map.url) return false;
  return StoreString(HKEY_CURRENT_USER, kSettingsKey, ValueName(kind, L"ImageURL"), *map.url);
}

bool WeatherMapSet::SetMapUrl(MapKind kind, std::wstring_view url) {
  WeatherMap& map = Map(kind);
  map.url.reset();
  try {
    map.url.emplace(url);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void WeatherMapSet::SetCityCodeSource(std::function<std::wstring()> source) {
  cityCode_ = std::move(source);
}

std::optional<std::wstring> WeatherMapSet::FetchUrl(MapKind kind) const {
  const WeatherMap& map = Map(kind);
  if (!map.url) return std::nullopt;
  // A URL of the user's own goes out byte for byte.
  if (map.url->find(kCityPlaceholder) == std::wstring::npos) return *map.url;
  return FillCityPlaceholder(*map.url, cityCode_ ? cityCode_() : std::wstring());
}

bool WeatherMapSet::CityChanged(MapKind kind) const {
  const WeatherMap& map = Map(kind);
  if (!map.url || map.url->find(kCityPlaceholder) == std::wstring::npos) return false;
  return FetchUrl(kind) != map.fetchedUrl;
}

bool WeatherMapSet::ReadCropSettings(MapKind kind) {
  WeatherMap& map = Map(kind);
  const auto read = [&](const wchar_t* suffix) {
    return static_cast<int32_t>(
        ReadDwordOr(HKEY_CURRENT_USER, kSettingsKey, ValueName(kind, suffix), kDefaultCropValue));
  };
  map.cropSizeX = read(L"CropSizeX");
  map.cropSizeY = read(L"CropSizeY");
  map.cropCenterX = read(L"CropCenterX");
  map.cropCenterY = read(L"CropCenterY");
  return true;
}

bool WeatherMapSet::WriteCropSettings(MapKind kind) {
  const WeatherMap& map = Map(kind);
  const auto store = [&](const wchar_t* suffix, int32_t value) {
    return StoreDword(HKEY_CURRENT_USER, kSettingsKey, ValueName(kind, suffix),
                      static_cast<uint32_t>(value));
  };
  bool stored = store(L"CropSizeX", map.cropSizeX);
  stored = store(L"CropSizeY", map.cropSizeY) && stored;
  stored = store(L"CropCenterX", map.cropCenterX) && stored;
  stored = store(L"CropCenterY", map.cropCenterY) && stored;
  return stored;
}

bool WeatherMapSet::DownloadMap(MapKind kind, std::wstring_view folder) {
  WeatherMap& map = Map(kind);
  try {
    std::optional<std::wstring> url = FetchUrl(kind);
    if (!url) return false;
    map.fetchedUrl = *url;
    std::unique_ptr<wchar_t[]> body;
    uint32_t length = 0;
    uint32_t result = 0;
    if (!HttpFetch(url->c_str(), body, length, &result)) return false;

    // Each character of the body carries one byte in its low 8 bits.
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[std::max<uint32_t>(length, 1)]);
    if (!bytes) return false;
    std::transform(body.get(), body.get() + length, bytes.get(),
                   [](wchar_t c) { return static_cast<uint8_t>(c & 0xFF); });
    body.reset();

    if (!map.picture.DecodeMemory(bytes.get(), length, ImageType::Jpeg)) return false;
    map.aspect = static_cast<float>(map.picture.Height()) / static_cast<float>(map.picture.Width());
    // The decoded picture is saved, not the downloaded bytes; a failed save changes nothing.
    map.picture.SetJpegQuality(100);
    map.picture.SaveFile(MapFilePath(kind, folder), ImageType::Jpeg);
    return true;
  } catch (const std::bad_alloc&) {
    ShowOutOfMemory(L"Downloading Image Error");
    return false;
  }
}

bool WeatherMapSet::LoadSavedMap(MapKind kind, std::wstring_view folder) {
  WeatherMap& map = Map(kind);
  try {
    if (!map.picture.LoadFile(MapFilePath(kind, folder), ImageType::Jpeg)) return false;
    map.aspect = static_cast<float>(map.picture.Height()) / static_cast<float>(map.picture.Width());
    return true;
  } catch (const std::bad_alloc&) {
    ShowOutOfMemory(L"Loading Image Error");
    return false;
  }
}

bool WeatherMapSet::CropMapIcon(MapKind kind, std::wstring_view folder) {
  WeatherMap& map = Map(kind);
  try {
    if (!map.picture.IsValid()) return false;
    const int32_t hx = map.cropSizeX / 2;
    const int32_t hy = map.cropSizeY / 2;
    bool moved = ClampCentre(map.cropCenterX, hx, map.picture.Width());
    moved = ClampCentre(map.cropCenterY, hy, map.picture.Height()) || moved;
    if (moved) WriteCropSettings(kind);

    // Twice the half size: size 31 cuts 30 pixels. The edges are pulled into the picture.
    map.picture.Crop(ClampToInt32(int64_t{map.cropCenterX} - hx),
                     ClampToInt32(int64_t{map.cropCenterY} - hy),
                     ClampToInt32(int64_t{map.cropCenterX} + hx),
                     ClampToInt32(int64_t{map.cropCenterY} + hy), &map.icon);
    // An icon that never held a picture writes nothing; a failed save keeps the old file.
    map.icon.SaveFile(MapFilePath(kind, folder, IconFile(kind)), ImageType::Bmp);
    return true;
  } catch (const std::bad_alloc&) {
    ShowOutOfMemory(L"Cropping Image Error");
    return false;
  }
}

// The merged icon shows the satellite icon with the radar icon's echoes laid over it: where a
// radar pixel is vividly coloured (rain) it wins, elsewhere the satellite pixel shows, and where
// the satellite icon is smaller the radar pixel fills in. Both icons are aligned at their
// top-left corners; the result has the radar icon's size.
void WeatherMapSet::MergeMapIcons(std::wstring_view folder) {
  const WeatherMap& radar = Map(MapKind::Radar);
  const WeatherMap& satellite = Map(MapKind::Satellite);
  try {
    if (!radar.picture.IsValid() || !satellite.picture.IsValid()) return;
    const ImageBuffer& top = radar.icon;
    const ImageBuffer& under = satellite.icon;
    if (!top.IsValid()) return;
    ImageBuffer merged(top.Width(), top.Height(), 24, ImageType::Bmp);
    if (!merged.IsValid()) return;
    for (int32_t y = 0; y < top.Height(); ++y) {
      const int32_t fromTop = top.Height() - 1 - y;
      for (int32_t x = 0; x < top.Width(); ++x) {
        RgbQuad colour = top.ReadPixelColor(x, y);
        const bool underThere = under.IsValid() && x < under.Width() && fromTop < under.Height();
        if (underThere && !IsEcho(colour)) {
          colour = under.ReadPixelColor(x, under.Height() - 1 - fromTop);
        }
        merged.WritePixelColor(x, y, colour);
      }
    }
    merged.SaveFile(MapFilePath(MapKind::Radar, folder, kMergedIconFile), ImageType::Bmp);
  } catch (const std::bad_alloc&) {
    ShowOutOfMemory(L"Merging Image Error");
  }
}

bool WeatherMapSet::DrawMapPicture(MapKind kind, platform::DrawingContext* dc, int32_t x, int32_t y,
                                   int32_t width, int32_t height) const {
  const WeatherMap& map = Map(kind);
  if (!map.picture.IsValid()) return false;
  return map.picture.Draw(dc, x, y, width, height);
}

bool WeatherMapSet::DrawMapIcon(MapKind kind, platform::DrawingContext* dc, int32_t x,
                                int32_t y) const {
  const WeatherMap& map = Map(kind);
  if (!map.icon.IsValid()) return false;
  return map.icon.Draw(dc, x, y, 0, 0);
}

std::wstring WeatherMapSet::MapFilePath(MapKind kind, std::wstring_view folder,
                                        const wchar_t* name) const {
  if (name == nullptr) name = kind == MapKind::Radar ? kRadarMapFile : kSatelliteMapFile;
  std::wstring path(folder);
  path += L'\\';
  path += name;
  return path;
}

bool WeatherMapSet::FollowCity(MapKind kind, std::wstring_view folder) {
  if (!CityChanged(kind) || !DownloadMap(kind, folder)) return false;
  CropMapIcon(kind, folder);
  if (Map(MapKind::Radar).picture.IsValid() && Map(MapKind::Satellite).picture.IsValid()) {
    MergeMapIcons(folder);
  }
  return true;
}

void WeatherMapSet::RefreshMaps(std::wstring_view folder) {
  for (MapKind kind : {MapKind::Radar, MapKind::Satellite}) {
    if (DownloadMap(kind, folder)) {
      ReadCropSettings(kind);
      CropMapIcon(kind, folder);
    }
  }
  if (Map(MapKind::Radar).picture.IsValid() && Map(MapKind::Satellite).picture.IsValid()) {
    MergeMapIcons(folder);
  }
}

bool WeatherMapSet::SetCropFromTap(MapKind kind, int32_t x, int32_t y,
                                   const platform::Rect& display, std::wstring_view folder) {
  WeatherMap& map = Map(kind);
  const int32_t width = display.Width();
  const int32_t height = display.Height();
  if (!map.picture.IsValid() || width <= 0 || height <= 0) return false;
  const uint64_t dx = static_cast<uint64_t>(std::max<int64_t>(int64_t{x} - display.left, 0));
  const uint64_t dy = static_cast<uint64_t>(std::max<int64_t>(int64_t{y} - display.top, 0));
  map.cropSizeX = kDefaultCropValue;
  map.cropSizeY = kDefaultCropValue;
  map.cropCenterX = ClampToInt32(static_cast<int64_t>(
      std::min<uint64_t>(dx * static_cast<uint64_t>(map.picture.Width()) / width, INT32_MAX)));
  map.cropCenterY = ClampToInt32(static_cast<int64_t>(
      std::min<uint64_t>(dy * static_cast<uint64_t>(map.picture.Height()) / height, INT32_MAX)));
  WriteCropSettings(kind);
  CropMapIcon(kind, folder);
  return true;
}

void WeatherMapSet::SetCropFromTap(int32_t x, int32_t y, const platform::Rect& display,
                                   std::wstring_view folder) {
  SetCropFromTap(MapKind::Radar, x, y, display, folder);
  SetCropFromTap(MapKind::Satellite, x, y, display, folder);
  if (Map(MapKind::Radar).picture.IsValid() && Map(MapKind::Satellite).picture.IsValid()) {
    MergeMapIcons(folder);
  }
}

namespace {

std::unique_ptr<WeatherMapSet>& MapSetStore() {
  static std::unique_ptr<WeatherMapSet> store;
  return store;
}

}  // namespace

WeatherMapSet& WeatherMaps() {
  std::unique_ptr<WeatherMapSet>& store = MapSetStore();
  if (store == nullptr) store = std::make_unique<WeatherMapSet>();
  return *store;
}

void ResetWeatherMapsForTesting() { MapSetStore().reset(); }

const std::wstring& MapFolder() { return InstallFolder(CityReports()[0]); }

}  // namespace cirrodex
