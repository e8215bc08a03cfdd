#include "setup/sheet/select_location_dlg.h"

#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>

#include "core/format.h"
#include "dialog/dialog_units.h"
#include "dialog/wait_cursor.h"
#include "update/update_run.h"

namespace cirrodex {

namespace {

// The search box sits above the region and location lists, which are 18 units lower for it.
constexpr int kFindRow = 18;

constexpr ControlTemplate kControls[] = {
    {ControlKind::Edit, IDC_FIND, L"", 7, 7, 145, 12, kBorder | kAutoHScroll},
    {ControlKind::Static, kNoControlId, L"Please select your region first", 7, 7 + kFindRow, 125,
     13},
    {ControlKind::Static, kNoControlId, L"Select Region", 7, 28 + kFindRow, 50, 8},
    {ControlKind::ComboBox, IDC_REGION, L"", 58, 25 + kFindRow, 94, 100},
    {ControlKind::Static, IDC_LOCATION_LABEL, L"Select Location", 7, 46 + kFindRow, 50, 8},
    {ControlKind::ComboBox, IDC_LOCATION, L"", 58, 43 + kFindRow, 94, 101},
    {ControlKind::Static, IDC_LOCATION_TEXT, L"<location>", 7, 63 + kFindRow, 145, 28},
    {ControlKind::Static, IDC_CODE_TEXT, L"<CityCode>", 7, 100 + kFindRow, 145, 8},
    {ControlKind::DefaultPushButton, IDOK, L"OK", 7, 119 + kFindRow, 50, 14},
    {ControlKind::PushButton, IDCANCEL, L"Cancel", 102, 119 + kFindRow, 50, 14},
};

constexpr DialogTemplate kTemplate{135, L"Select Location", 159, 140 + kFindRow, kControls};

// The list of matches covers the lists under the search box while it shows.
constexpr int kMatchListTop = 20;
constexpr int kMatchListHeight = 96;

bool IsKey(QEvent* event, std::initializer_list<int> keys) {
  if (event->type() != QEvent::KeyPress) return false;
  const int key = static_cast<QKeyEvent*>(event)->key();
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

// The keys of the search box and its list, ahead of the dialog's own (Enter for OK, Escape for
// Cancel): Down enters the list, Enter picks, Escape clears.
class FindKeys : public QObject {
 public:
  // `list` is where the dialog keeps its list of matches, made at the first search.
  FindKeys(QLineEdit* edit, CSelectLocationDlg& dialog, QListWidget* const* list)
      : QObject(edit), dialog_(dialog), edit_(edit), list_(list) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    QListWidget* list = *list_;
    if (list == nullptr) return false;
    const bool listShown = list->isVisible() && list->count() > 0;
    if (watched == edit_) {
      if (IsKey(event, {Qt::Key_Down}) && listShown) {
        list->setFocus();
        list->setCurrentRow(0);
        return true;
      }
      if (IsKey(event, {Qt::Key_Return, Qt::Key_Enter}) && listShown) {
        Pick(0);
        return true;
      }
      if (IsKey(event, {Qt::Key_Escape}) && !edit_->text().isEmpty()) {
        edit_->clear();
        return true;
      }
    } else if (watched == list) {
      if (IsKey(event, {Qt::Key_Return, Qt::Key_Enter})) {
        Pick(list->currentRow() < 0 ? 0 : list->currentRow());
        return true;
      }
      if (IsKey(event, {Qt::Key_Escape})) {
        edit_->clear();
        edit_->setFocus();
        return true;
      }
      if (IsKey(event, {Qt::Key_Up}) && list->currentRow() <= 0) {
        edit_->setFocus();
        return true;
      }
    }
    return false;
  }

  void Pick(int row) {
    if (row < 0 || !dialog_.PickMatch(static_cast<size_t>(row))) return;
    edit_->setFocus();
  }

 private:
  CSelectLocationDlg& dialog_;
  QLineEdit* edit_;
  QListWidget* const* list_;
};

}  // namespace

CSelectLocationDlg::CSelectLocationDlg(QWidget* parent)
    : ModalDialog(kTemplate, parent), installFolder_(InstallFolder(CityReports()[0])) {
  WaitCursor wait;
  regions_ = FindRegions(installFolder_);
}

void CSelectLocationDlg::DoDataExchange(DataExchange& dx) {
  ExchangeControl(dx, IDC_FIND, findEdit_);
  ExchangeControl(dx, IDC_REGION, regionCombo_);
  ExchangeControl(dx, IDC_LOCATION, locationCombo_);
  ExchangeText(dx, IDC_CODE_TEXT, codeText_);
  ExchangeText(dx, IDC_LOCATION_TEXT, locationText_);
}

void CSelectLocationDlg::MapMessages() {
  OnSelChange(IDC_REGION, [this] { OnSelChangeRegion(); });
  OnSelChange(IDC_LOCATION, [this] { OnSelChangeLocation(); });
}

bool CSelectLocationDlg::OnInitDialog() {
  ModalDialog::OnInitDialog();
  WaitCursor wait;
  findEdit_->setPlaceholderText(QStringLiteral("Find a city"));
  findEdit_->setAccessibleName(QStringLiteral("Find a city"));
  matchList_ = nullptr;  // a window made anew has no list yet
  findKeys_ = new FindKeys(findEdit_, *this, &matchList_);
  findEdit_->installEventFilter(findKeys_);
  QObject::connect(findEdit_, &QLineEdit::textEdited, findEdit_,
                   [this](const QString& text) { OnFindChanged(FromQString(text)); });
  QObject::connect(findEdit_, &QLineEdit::textChanged, findEdit_, [this](const QString& text) {
    if (text.isEmpty()) OnFindChanged({});
  });
  regionCombo_->clear();
  for (const std::wstring& region : regions_) regionCombo_->addItem(ToQString(region));

  if (!codeText_.empty()) {
    bool found = false;
    // The regions are read without filling the location list each time: only the one found
    // (or the first) is loaded into it below.
    std::vector<RegionLocation> locations;
    for (int r = 0; r < static_cast<int>(regions_.size()) && !found; ++r) {
      locations.clear();
      ReadRegion(installFolder_, regions_[static_cast<size_t>(r)], locations);
      for (size_t l = 0; l < locations.size(); ++l) {
        if (locations[l].code == codeText_) {
          regionIndex_ = r;
          locationIndex_ = static_cast<int>(l);
          found = true;
          break;
        }
      }
    }
  }

  LoadRegion(regionIndex_);
  regionCombo_->setCurrentIndex(regionIndex_ < regionCombo_->count() ? regionIndex_ : -1);
  if (locationIndex_ >= 0 && ChooseLocation(locationIndex_)) {
    locationCombo_->setCurrentIndex(locationIndex_);
  }
  UpdateData(Exchange::ToControls);
  findEdit_->setFocus();
  if (!findText_.empty()) {
    findEdit_->setText(ToQString(findText_));
    OnFindChanged(findText_);
  }
  return true;
}

void CSelectLocationDlg::OnFindChanged(const std::wstring& query) {
  if (!placesLoaded_ && query.size() >= 2) {
    WaitCursor wait;
    places_.Load(installFolder_);
    placesLoaded_ = true;
  }
  matches_ = placesLoaded_ ? places_.Search(query) : std::vector<PlaceMatch>{};
  if (findEdit_ == nullptr) return;
  // Made at the first search, so that opening the chooser costs what it did without one.
  if (matchList_ == nullptr && !matches_.empty()) {
    matchList_ = new QListWidget(findEdit_->parentWidget());
    matchList_->setAccessibleName(QStringLiteral("Matching places"));
    matchList_->setGeometry(MapDialogRect(7, kMatchListTop, 145, kMatchListHeight));
    matchList_->setFocusPolicy(Qt::ClickFocus);
    matchList_->installEventFilter(findKeys_);
    QObject::connect(matchList_, &QListWidget::itemClicked, matchList_, [this] {
      if (PickMatch(static_cast<size_t>(matchList_->currentRow()))) findEdit_->setFocus();
    });
  }
  if (matchList_ == nullptr) return;
  matchList_->clear();
  for (const PlaceMatch& match : matches_) matchList_->addItem(ToQString(match.label));
  matchList_->setVisible(!matches_.empty());
  if (!matches_.empty()) matchList_->raise();
}

bool CSelectLocationDlg::PickMatch(size_t index) {
  if (index >= matches_.size()) return false;
  const PlaceMatch match = matches_[index];
  UpdateData(Exchange::FromControls);
  if (match.region >= 0) {
    regionIndex_ = match.region;
    LoadRegion(regionIndex_);
    if (regionCombo_ != nullptr) regionCombo_->setCurrentIndex(regionIndex_);
  }
  if (match.location >= 0) {
    locationIndex_ = match.location;
    ChooseLocation(locationIndex_);
    if (locationCombo_ != nullptr) locationCombo_->setCurrentIndex(locationIndex_);
  } else {
    chosenCode_ = match.code;
    chosenName_ = match.name;
    locationText_ = WFormat(L"Region Selected: %ls\nLocation Selected: %ls", loadedRegion_.c_str(),
                            chosenName_.c_str());
    codeText_ = WFormat(L"City Code is %ls", chosenCode_.c_str());
  }
  matches_.clear();
  if (matchList_ != nullptr) {
    matchList_->clear();
    matchList_->hide();
  }
  UpdateData(Exchange::ToControls);
  return true;
}

bool CSelectLocationDlg::LoadRegion(int index) {
  if (index < 0 || index >= static_cast<int>(regions_.size())) return false;
  loadedRegion_ = regions_[static_cast<size_t>(index)];
  locations_.clear();
  if (locationCombo_ != nullptr) locationCombo_->clear();
  if (!ReadRegion(installFolder_, loadedRegion_, locations_)) return false;
  if (locationCombo_ != nullptr) {
    for (const RegionLocation& location : locations_) {
      locationCombo_->addItem(ToQString(location.name));
    }
    // A freshly filled list has no selection until a location is chosen.
    locationCombo_->setCurrentIndex(-1);
  }
  return true;
}

bool CSelectLocationDlg::ChooseLocation(int index) {
  if (index < 0 || index >= static_cast<int>(locations_.size())) return false;
  const RegionLocation& location = locations_[static_cast<size_t>(index)];
  chosenCode_ = location.code;
  chosenName_ = location.name;
  locationText_ = WFormat(L"Region Selected: %ls\nLocation Selected: %ls", loadedRegion_.c_str(),
                          chosenName_.c_str());
  codeText_ = WFormat(L"City Code is %ls", chosenCode_.c_str());
  return true;
}

void CSelectLocationDlg::OnSelChangeRegion() {
  UpdateData(Exchange::FromControls);
  regionIndex_ = regionCombo_->currentIndex();
  LoadRegion(regionIndex_);
  UpdateData(Exchange::ToControls);
}

void CSelectLocationDlg::OnSelChangeLocation() {
  UpdateData(Exchange::FromControls);
  locationIndex_ = locationCombo_->currentIndex();
  ChooseLocation(locationIndex_);
  UpdateData(Exchange::ToControls);
}

}  // namespace cirrodex
