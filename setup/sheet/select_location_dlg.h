// The city chooser: find a place by name or coordinates, or pick a region file, then a location
// in it, and get its city code.
#pragma once

#include <string>
#include <vector>

#include "dialog/modal_dialog.h"
#include "setup/sheet/place_search.h"
#include "setup/sheet/region_files.h"

class QComboBox;
class QObject;
class QLineEdit;
class QListWidget;

namespace cirrodex {

inline constexpr int IDC_REGION = 1024;
inline constexpr int IDC_LOCATION = 1025;
inline constexpr int IDC_LOCATION_TEXT = 1026;
inline constexpr int IDC_CODE_TEXT = 1027;
inline constexpr int IDC_LOCATION_LABEL = 1028;
inline constexpr int IDC_FIND = 1029;

class CSelectLocationDlg : public ModalDialog {
 public:
  // Builds the region list from the install folder of slot 1's report, under the wait cursor.
  explicit CSelectLocationDlg(QWidget* parent = nullptr);

  // The code to open the chooser on (may be empty: the first region and its first location).
  void SetStartCode(const std::wstring& code) { codeText_ = code; }
  // A name to search for as soon as the chooser opens (its matches are listed at once).
  void SetFindText(const std::wstring& text) { findText_ = text; }
  // What OK returns: the chosen location's code and name (empty when none was chosen).
  const std::wstring& ChosenCode() const { return chosenCode_; }
  const std::wstring& ChosenName() const { return chosenName_; }

  const std::vector<std::wstring>& Regions() const { return regions_; }
  const std::vector<RegionLocation>& Locations() const { return locations_; }
  const std::wstring& LoadedRegion() const { return loadedRegion_; }
  int RegionIndex() const { return regionIndex_; }
  int LocationIndex() const { return locationIndex_; }
  const std::wstring& CodeText() const { return codeText_; }
  const std::wstring& LocationText() const { return locationText_; }

  // Loads region `index` into the location lists (and the location combo box when the window
  // exists). False for an index out of range or a file that cannot be opened; the lists are
  // then empty (out of range: untouched).
  bool LoadRegion(int index);
  // Makes location `index` of the loaded region the chosen one and fills the two texts. False
  // for an index out of range.
  bool ChooseLocation(int index);

  // The user picked a region or a location.
  void OnSelChangeRegion();
  void OnSelChangeLocation();

  // The search box's text changed: lists the matches of `query` (hidden when there are none).
  void OnFindChanged(const std::wstring& query);
  const std::vector<PlaceMatch>& Matches() const { return matches_; }
  // Fills the region and location lists and the code as choosing them by hand does; a coordinate
  // code loads the region of the place it is named after. False for an index out of range.
  bool PickMatch(size_t index);

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(DataExchange& dx) override;
  void MapMessages() override;

 private:
  std::wstring installFolder_;
  std::vector<std::wstring> regions_;
  std::vector<RegionLocation> locations_;
  int regionIndex_ = 0;
  int locationIndex_ = 0;
  std::wstring codeText_;
  std::wstring locationText_;
  std::wstring chosenCode_;
  std::wstring chosenName_;
  std::wstring loadedRegion_;
  QComboBox* regionCombo_ = nullptr;
  QComboBox* locationCombo_ = nullptr;
  QLineEdit* findEdit_ = nullptr;
  QListWidget* matchList_ = nullptr;  // owned by the window, over the lists while it shows
  QObject* findKeys_ = nullptr;       // owned by the search box
  PlaceIndex places_;                 // read at the first search
  bool placesLoaded_ = false;
  std::wstring findText_;
  std::vector<PlaceMatch> matches_;
};

}  // namespace cirrodex
