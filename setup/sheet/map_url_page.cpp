#include "setup/sheet/map_url_page.h"

#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>

#include "core/format.h"
#include "dialog/input_panel.h"
#include "dialog/wait_cursor.h"
#include "platform/device.h"
#include "setup/sheet/city_refresh.h"
#include "setup/sheet/map_page_layout.h"

namespace cirrodex {

std::wstring DescribeMapPicture(const WeatherMapSet& maps, MapKind kind) {
  const wchar_t* name = kind == MapKind::Radar ? L"radar" : L"satellite";
  if (!maps.Map(kind).picture.IsValid()) return WFormat(L"No %ls picture", name);
  std::wstring text = kind == MapKind::Radar ? L"Radar picture" : L"Satellite picture";
  const WeatherReport* report = SelectedReport();
  if (report != nullptr && report->city[0] != L'\0') text += WFormat(L" around %ls", report->city);
  std::error_code error;
  const auto saved = std::filesystem::last_write_time(
      platform::DevicePath(maps.MapFilePath(kind, MapFolder())), error);
  if (!error) {
    const std::time_t when =
        std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(saved));
    std::tm utc{};
    gmtime_r(&when, &utc);
    text += WFormat(L", %02d:%02d UTC", utc.tm_hour, utc.tm_min);
  }
  return text;
}

MapUrlPage::MapUrlPage(const DialogTemplate& dialogTemplate, MapKind kind, WeatherMapSet& maps)
    : PropertyPage(dialogTemplate),
      kind_(kind),
      maps_(maps),
      url_(maps.Map(kind).url.value_or(std::wstring())) {}

void MapUrlPage::DoDataExchange(DataExchange& dx) {
  ExchangeText(dx, kMapUrlEditId, url_);
  // A URL longer than the edit shows from its start, as the user reads it.
  if (auto* edit = DialogItemAs<QLineEdit>(Window(), kMapUrlEditId); edit && !dx.FromControls()) {
    edit->setCursorPosition(0);
  }
}

void MapUrlPage::MapMessages() {
  OnClicked(kMapUpdateButtonId, [this] { UpdateMap(); });
  OnFocus(
      kMapUrlEditId, [] { ShowInputPanel(true); }, [this] { StoreUrl(); });
}

bool MapUrlPage::OnInitDialog() {
  PropertyPage::OnInitDialog();
  FitLabel();
  UpdateMap();
  return true;
}

bool MapUrlPage::OnSetActive() {
  if (maps_.CityChanged(kind_)) {
    bool followed = false;
    {
      WaitCursor wait;
      followed = maps_.FollowCity(kind_, MapFolder());
    }
    if (followed) {
      FitPicture();
      Invalidate();
    }
  }
  if (pictureWidth_ == 0 && maps_.Map(kind_).picture.IsValid()) {
    FitPicture();
    Invalidate();
  }
  return PropertyPage::OnSetActive();
}

void MapUrlPage::StoreUrl() {
  ShowInputPanel(false);
  UpdateData(Exchange::FromControls);
  maps_.SetMapUrl(kind_, url_);
  maps_.WriteMapUrl(kind_);
}

void MapUrlPage::UpdateMap() {
  UpdateData(Exchange::FromControls);
  maps_.SetMapUrl(kind_, url_);
  maps_.WriteMapUrl(kind_);
  const std::wstring& folder = MapFolder();
  {
    WaitCursor wait;
    if (!maps_.DownloadMap(kind_, folder)) maps_.LoadSavedMap(kind_, folder);
  }
  const WeatherMap& map = maps_.Map(kind_);
  if (!map.picture.IsValid()) return;
  FitPicture();
  // An icon once cut stays until the Icon page is tapped or the download run refreshes it.
  if (!map.icon.IsValid()) maps_.CropMapIcon(kind_, folder);
  Invalidate();
}

// "Satellite Image URL Path" runs a few pixels past its 80-unit box in Tahoma, which would wrap
// "Path" onto a clipped second line; the label may take the room up to the "Update" button.
void MapUrlPage::FitLabel() {
  const QWidget* update = GetDlgItem(kMapUpdateButtonId);
  for (QLabel* label : Window()->findChildren<QLabel*>()) {
    if (!label->wordWrap()) continue;
    // Qt's own measure of the text on one line.
    label->setWordWrap(false);
    const int needed = label->sizeHint().width();
    if (needed <= label->width()) {
      label->setWordWrap(true);
      continue;
    }
    const int room = update != nullptr ? update->x() - label->x() - 1 : needed;
    label->resize(std::max(label->width(), std::min(needed, room)), label->height());
  }
}

void MapUrlPage::FitPicture() {
  const FittedSize size = FitToSquare(maps_.Map(kind_).aspect, kMapPictureSide);
  pictureWidth_ = size.width;
  pictureHeight_ = size.height;
}

void MapUrlPage::OnPaint(platform::DrawingContext& dc) {
  // A size of 0 would draw the picture at its own size, over the page's edges.
  if (pictureWidth_ == 0) return;
  if (maps_.DrawMapPicture(kind_, &dc, 0, kMapPictureTop, pictureWidth_, pictureHeight_)) {
    FramePicture(dc, 0, kMapPictureTop, pictureWidth_, pictureHeight_);
  }
}

std::wstring MapUrlPage::DescribePaint(const std::vector<std::wstring>& /*drawn*/) {
  return DescribeMapPicture(maps_, kind_);
}

}  // namespace cirrodex
