// The Icon page: the radar picture with both map icons above it; a tap into the picture picks
// the part of each map that its icon shows.
#pragma once

#include <cstdint>

#include "dialog/property_page.h"
#include "maps/weather_map_set.h"
#include "platform/drawing_context.h"

namespace cirrodex {

// The pictures are fitted into this square and stand on the line this far below the page top.
inline constexpr int32_t kIconPagePictureSide = 200;
inline constexpr int32_t kIconPagePictureBase = 240;
// Where the radar and the satellite icon are drawn, at their own size.
inline constexpr platform::Point kRadarIconOrigin{0, 0};
inline constexpr platform::Point kSatelliteIconOrigin{40, 0};

class CWeatherIcon : public PropertyPage {
 public:
  // `maps` must outlive the page.
  explicit CWeatherIcon(WeatherMapSet& maps = WeatherMaps());

  int32_t DisplayLeft() const { return displayLeft_; }
  int32_t DisplayTop() const { return displayTop_; }
  int32_t DisplayWidth() const { return displayWidth_; }
  int32_t DisplayHeight() const { return displayHeight_; }
  // Left, top, right, bottom of the picture on the page; empty until a picture was fitted.
  platform::Rect Display() const;

  // A tap at (x, y) in page pixels: for each map that holds a picture, a 30 x 30 icon centred on
  // the tapped point of that picture is stored, cut and shown; then the merged icon is written
  // when both maps hold pictures. Nothing happens while no picture is shown.
  void Tap(int32_t x, int32_t y);

  // Fetches again each map whose URL names "{city}" when the selected city changed since its last
  // fetch (cutting its icon anew); fits a picture that another page brought in after this one
  // found none.
  bool OnSetActive() override;

 protected:
  // Fetches each map whose picture is still empty (the saved map JPEG when that fails), fits the
  // pictures and cuts the icons that are missing. Writes no merged icon.
  bool OnInitDialog() override;
  void MapMessages() override;
  void OnPaint(platform::DrawingContext& dc) override;
  std::wstring DescribePaint(const std::vector<std::wstring>& drawn) override;

 private:
  class TapFilter;

  // Fits a held picture into the display size and cuts its icon when it has none. Called radar
  // first, so a satellite picture's aspect wins.
  void FitPicture(MapKind kind);
  // The picture stands on the line kIconPagePictureBase pixels below the page top.
  void PlacePicture();

  WeatherMapSet& maps_;
  int32_t displayWidth_ = 0;
  int32_t displayHeight_ = 0;
  int32_t displayLeft_ = 0;
  int32_t displayTop_ = 0;
};

}  // namespace cirrodex
