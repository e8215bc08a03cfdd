// The radar and satellite maps: their URLs and crop values in the registry, the downloaded
// pictures, the icons cut out of them and the five map files in the install folder.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "imaging/image_buffer.h"
#include "platform/drawing_context.h"
#include "service/address.h"

namespace cirrodex {

// Each "{city}" in a map URL becomes the selected city's code whenever the map is fetched, so a
// stored URL with it follows the selection; a URL without it is fetched as written.
inline constexpr wchar_t kCityPlaceholder[] = L"{city}";

// The map host is the local weather service on `port`, which draws the area around any city
// code: "http://127.0.0.1:PORT/weather/live/radar/{city}.jpg" and the satellite's likewise.
std::wstring DefaultMapUrl(MapKind kind, int port);
// The default of earlier versions, one fixed area each; read back as today's default.
std::wstring OldDefaultMapUrl(MapKind kind, int port);

inline constexpr wchar_t kRadarMapFile[] = L"radar.jpg";
inline constexpr wchar_t kSatelliteMapFile[] = L"Satellite.jpg";
inline constexpr wchar_t kMergedIconFile[] = L"iconradarsatellite.bmp";

inline constexpr int32_t kDefaultCropValue = 30;

struct WeatherMap {
  std::optional<std::wstring> url;  // none: nothing to fetch
  std::wstring fetchedUrl;          // what the last fetch asked for, "{city}" filled in
  ImageBuffer picture;
  float aspect = 1.0f;  // picture height / width, set whenever a picture is decoded or loaded
  ImageBuffer icon;
  // In picture pixels; the centre counts from the picture's left and top edges.
  int32_t cropSizeX = kDefaultCropValue;
  int32_t cropSizeY = kDefaultCropValue;
  int32_t cropCenterX = kDefaultCropValue;
  int32_t cropCenterY = kDefaultCropValue;
};

// Folders are handheld paths (the install folder); file paths are built as "folder\name".
// Operations fail silently (false) unless they say otherwise; running out of memory inside a
// download, load, crop or merge shows the operation's message box and fails.
class WeatherMapSet {
 public:
  // Reads both URLs (the defaults on the service's port when the registry has none; nothing is
  // written) and the crop
  // values from the registry. Tests build their own; the program uses WeatherMaps().
  WeatherMapSet();
  WeatherMapSet(const WeatherMapSet&) = delete;
  WeatherMapSet& operator=(const WeatherMapSet&) = delete;

  WeatherMap& Map(MapKind kind) { return maps_[Index(kind)]; }
  const WeatherMap& Map(MapKind kind) const { return maps_[Index(kind)]; }

  // True when the registry held the URL; otherwise the map has no URL. A stored default of this
  // or an earlier version on the usual port reads as today's default on the service's port
  // ($CIRRODEX_SERVICE_PORT); any other URL is the user's own and reads as stored.
  bool ReadMapUrl(MapKind kind);
  // False when the map has no URL or the registry write fails.
  bool WriteMapUrl(MapKind kind);
  // False only when memory runs out.
  bool SetMapUrl(MapKind kind, std::wstring_view url);
  // Each missing value becomes 30. Always true.
  bool ReadCropSettings(MapKind kind);
  // Writes size x, size y, centre x, centre y. True when all four were stored.
  bool WriteCropSettings(MapKind kind);

  // What "{city}" stands for. By default the stored selection: the city the strip shows.
  void SetCityCodeSource(std::function<std::wstring()> source);
  // The address a fetch asks for now: the URL with "{city}" filled in; none without a URL.
  std::optional<std::wstring> FetchUrl(MapKind kind) const;
  // True when the URL names "{city}" and now stands for another address than the last fetch
  // asked for: the selected city changed since.
  bool CityChanged(MapKind kind) const;

  // Fetches FetchUrl (at most the first 64000 bytes arrive), decodes it as JPEG into the picture
  // and saves the decoded picture as the map JPEG at quality 100. True when a new picture was
  // decoded; otherwise picture, icon and files are untouched.
  bool DownloadMap(MapKind kind, std::wstring_view folder);
  // Loads the saved map JPEG into the picture. False (picture unchanged) when it cannot.
  bool LoadSavedMap(MapKind kind, std::wstring_view folder);
  // Moves the crop centre so the box lies inside the picture (storing the crop values when it
  // moved), cuts the icon and writes the icon BMP. An empty box leaves icon and file as they
  // were. False only when there is no picture.
  bool CropMapIcon(MapKind kind, std::wstring_view folder);
  // Writes the merged icon when both maps hold pictures.
  void MergeMapIcons(std::wstring_view folder);
  // False when the picture (icon) is empty. The icon is drawn at its own size.
  bool DrawMapPicture(MapKind kind, platform::DrawingContext* dc, int32_t x, int32_t y,
                      int32_t width, int32_t height) const;
  bool DrawMapIcon(MapKind kind, platform::DrawingContext* dc, int32_t x, int32_t y) const;
  // "folder\name"; without a name, the kind's map JPEG.
  std::wstring MapFilePath(MapKind kind, std::wstring_view folder,
                           const wchar_t* name = nullptr) const;
  // When CityChanged: fetches the map again and, when a picture came, cuts its icon anew from the
  // same crop box and merges, so both show the selected city's area. True when a picture came.
  bool FollowCity(MapKind kind, std::wstring_view folder);
  // The unattended refresh: download each map and, when that worked, re-read its crop values
  // and cut its icon; then merge. A failed download keeps the old icon file.
  void RefreshMaps(std::wstring_view folder);
  // A tap at (x, y) on a page showing the pictures stretched into `display`: for each map that
  // holds a picture, crop size 30 x 30 centred on the tapped point of that picture, stored and
  // cut; then merge. A tap left of or above the rectangle counts as on its edge.
  void SetCropFromTap(int32_t x, int32_t y, const platform::Rect& display,
                      std::wstring_view folder);
  // The same for one map, without the merge; false when it holds no picture or the rectangle is
  // empty.
  bool SetCropFromTap(MapKind kind, int32_t x, int32_t y, const platform::Rect& display,
                      std::wstring_view folder);

 private:
  static size_t Index(MapKind kind) { return kind == MapKind::Radar ? 0 : 1; }

  WeatherMap maps_[2];
  std::function<std::wstring()> cityCode_;
};

// `url` with each "{city}" replaced by `code`. Every character of the code other than an ASCII
// letter, digit, "-" or "_" is percent-encoded (as UTF-8), so no code can add a path segment,
// query, port or host; an empty code stands as the fallback city's.
std::wstring FillCityPlaceholder(std::wstring_view url, std::wstring_view code);

// The process's one map set, built at first use.
WeatherMapSet& WeatherMaps();
// The folder of the map files: the install folder of the first city slot's report, where the
// icons are too.
const std::wstring& MapFolder();
// Drops the map set; the next WeatherMaps() builds a fresh one from the registry, as a new run of
// the program would. Nothing may still refer to the old one.
void ResetWeatherMapsForTesting();

}  // namespace cirrodex
