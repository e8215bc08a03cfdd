#include "setup/sheet/select_location_dlg.h"

#include <QComboBox>

#include "core/format.h"
#include "dialog/wait_cursor.h"
#include "update/update_run.h"

namespace cirrodex {

namespace {

constexpr ControlTemplate kControls[] = {
    {ControlKind::Static, kNoControlId, L"Please select your region first", 7, 7, 125, 13},
    {ControlKind::Static, kNoControlId, L"Select Region", 7, 28, 50, 8},
    {ControlKind::ComboBox, IDC_REGION, L"", 58, 25, 94, 100},
    {ControlKind::Static, IDC_LOCATION_LABEL, L"Select Location", 7, 46, 50, 8},
    {ControlKind::ComboBox, IDC_LOCATION, L"", 58, 43, 94, 101},
    {ControlKind::Static, IDC_LOCATION_TEXT, L"<location>", 7, 63, 145, 28},
    {ControlKind::Static, IDC_CODE_TEXT, L"<CityCode>", 7, 100, 145, 8},
    {ControlKind::DefaultPushButton, IDOK, L"OK", 7, 119, 50, 14},
    {ControlKind::PushButton, IDCANCEL, L"Cancel", 102, 119, 50, 14},
};

constexpr DialogTemplate kTemplate{135, L"Select Location", 159, 140, kControls};

}  // namespace

CSelectLocationDlg::CSelectLocationDlg(QWidget* parent)
    : ModalDialog(kTemplate, parent), installFolder_(InstallFolder(CityReports()[0])) {
  WaitCursor wait;
  regions_ = FindRegions(installFolder_);
}

void CSelectLocationDlg::DoDataExchange(DataExchange& dx) {
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
