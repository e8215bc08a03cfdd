#include "setup/sheet/weather_icon_page.h"

#include <QEvent>
#include <QMouseEvent>
#include <QObject>

#include "dialog/wait_cursor.h"
#include "setup/sheet/map_page_layout.h"
#include "setup/sheet/map_url_page.h"

namespace cirrodex {

namespace {

constexpr DialogTemplate kTemplate{138, L"Icon", kPageWidthDlu, kPageHeightDlu, {}};

constexpr MapKind kKinds[] = {MapKind::Radar, MapKind::Satellite};

}  // namespace

// Hands a left-button press on the page to Tap and lets it go on to the page as usual.
class CWeatherIcon::TapFilter : public QObject {
 public:
  TapFilter(CWeatherIcon* page, QObject* parent) : QObject(parent), page_(page) {}

  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress) {
      const auto* press = static_cast<QMouseEvent*>(event);
      if (press->button() == Qt::LeftButton) {
        const QPoint at = press->position().toPoint();
        page_->Tap(at.x(), at.y());
      }
    }
    return false;
  }

 private:
  CWeatherIcon* page_;
};

CWeatherIcon::CWeatherIcon(WeatherMapSet& maps) : PropertyPage(kTemplate), maps_(maps) {}

platform::Rect CWeatherIcon::Display() const {
  return platform::Rect{displayLeft_, displayTop_, displayLeft_ + displayWidth_,
                        displayTop_ + displayHeight_};
}

void CWeatherIcon::MapMessages() {
  // Owned by the window, so it goes with it.
  Window()->installEventFilter(new TapFilter(this, Window()));
}

bool CWeatherIcon::OnInitDialog() {
  PropertyPage::OnInitDialog();
  const std::wstring& folder = MapFolder();
  for (MapKind kind : kKinds) {
    if (!maps_.Map(kind).picture.IsValid()) {
      WaitCursor wait;
      if (!maps_.DownloadMap(kind, folder)) maps_.LoadSavedMap(kind, folder);
    }
    FitPicture(kind);
  }
  PlacePicture();
  return true;
}

bool CWeatherIcon::OnSetActive() {
  bool followed = false;
  for (MapKind kind : kKinds) {
    if (!maps_.CityChanged(kind)) continue;
    WaitCursor wait;
    followed = maps_.FollowCity(kind, MapFolder()) || followed;
  }
  if (displayWidth_ == 0 || followed) {
    for (MapKind kind : kKinds) FitPicture(kind);
    PlacePicture();
    Invalidate();
  }
  return PropertyPage::OnSetActive();
}

void CWeatherIcon::FitPicture(MapKind kind) {
  const WeatherMap& map = maps_.Map(kind);
  if (!map.picture.IsValid()) return;
  const FittedSize size = FitToSquare(map.aspect, kIconPagePictureSide);
  displayWidth_ = size.width;
  displayHeight_ = size.height;
  if (!map.icon.IsValid()) maps_.CropMapIcon(kind, MapFolder());
}

void CWeatherIcon::PlacePicture() {
  displayLeft_ = 0;
  displayTop_ = kIconPagePictureBase - displayHeight_;
}

void CWeatherIcon::Tap(int32_t x, int32_t y) {
  if (displayWidth_ <= 0 || displayHeight_ <= 0) return;
  const std::wstring& folder = MapFolder();
  for (MapKind kind : kKinds) {
    if (maps_.SetCropFromTap(kind, x, y, Display(), folder)) Invalidate();
  }
  if (maps_.Map(MapKind::Radar).picture.IsValid() &&
      maps_.Map(MapKind::Satellite).picture.IsValid()) {
    maps_.MergeMapIcons(folder);
  }
}

void CWeatherIcon::OnPaint(platform::DrawingContext& dc) {
  // A size of 0 would draw the picture at its own size, over the page's edges.
  if (displayWidth_ > 0 && maps_.DrawMapPicture(MapKind::Radar, &dc, displayLeft_, displayTop_,
                                                displayWidth_, displayHeight_)) {
    FramePicture(dc, displayLeft_, displayTop_, displayWidth_, displayHeight_);
  }
  for (const auto& [kind, origin] : {std::pair{MapKind::Radar, kRadarIconOrigin},
                                     std::pair{MapKind::Satellite, kSatelliteIconOrigin}}) {
    const ImageBuffer& icon = maps_.Map(kind).icon;
    if (maps_.DrawMapIcon(kind, &dc, origin.x, origin.y)) {
      FramePicture(dc, origin.x, origin.y, icon.Width(), icon.Height());
    }
  }
}

std::wstring CWeatherIcon::DescribePaint(const std::vector<std::wstring>& /*drawn*/) {
  return DescribeMapPicture(maps_, MapKind::Radar) +
         L". Tap the picture to choose where the radar and satellite icons are cut.";
}

}  // namespace cirrodex
