// What the Radar and Satellite pages share: a map's URL in an edit with an "Update" button, and
// the map's picture below them, fitted into 240 x 240 pixels.
#pragma once

#include <cstdint>
#include <string>

#include "dialog/property_page.h"
#include "maps/weather_map_set.h"

namespace cirrodex {

inline constexpr int kMapUrlEditId = 1031;
inline constexpr int kMapUpdateButtonId = 1032;
// The picture's top edge on the page, below the URL controls, and the square it is fitted into.
inline constexpr int32_t kMapPictureTop = 60;
inline constexpr int32_t kMapPictureSide = 240;

// What a map picture shows, where and how old it is, for a screen reader: "Radar picture around
// London, 16:10 UTC" (the selected city; the time the map file was saved), or "No radar picture".
std::wstring DescribeMapPicture(const WeatherMapSet& maps, MapKind kind);

class MapUrlPage : public PropertyPage {
 public:
  // Copies the map's current URL (empty when it has none). `maps` must outlive the page.
  MapUrlPage(const DialogTemplate& dialogTemplate, MapKind kind, WeatherMapSet& maps);

  MapKind Kind() const { return kind_; }
  const std::wstring& Url() const { return url_; }
  // The size the picture is drawn at; 0 x 0 until a picture has been shown.
  int32_t PictureWidth() const { return pictureWidth_; }
  int32_t PictureHeight() const { return pictureHeight_; }

  // "Update": stores the edit's URL, fetches the map under the wait cursor (the saved map JPEG
  // when the fetch fails), fits the picture, cuts an icon only when the map has none yet, and
  // repaints. Without any picture the page stays as it was.
  void UpdateMap();
  // The edit lost the focus: hides the input panel and stores the typed URL without fetching.
  void StoreUrl();

  // Fetches the map again when its URL names "{city}" and the selected city changed since the
  // last fetch; fits a picture that another page brought in after this one found none.
  bool OnSetActive() override;

 protected:
  // Puts the URL into the edit, then runs the update.
  bool OnInitDialog() override;
  void DoDataExchange(DataExchange& dx) override;
  void MapMessages() override;
  void OnPaint(platform::DrawingContext& dc) override;
  std::wstring DescribePaint(const std::vector<std::wstring>& drawn) override;

 private:
  void FitLabel();
  void FitPicture();

  MapKind kind_;
  WeatherMapSet& maps_;
  std::wstring url_;
  int32_t pictureWidth_ = 0;
  int32_t pictureHeight_ = 0;
};

}  // namespace cirrodex
