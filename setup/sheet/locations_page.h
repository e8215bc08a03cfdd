// The Locations page: the six city slots (the main city and five visiting cities), each with a
// typed code that is checked by downloading it, or one browsed from the region files, and the
// radio buttons that select the city shown.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "core/settings.h"
#include "dialog/property_page.h"

namespace cirrodex {

// Per slot 1-6: the radio button, the code edit and the Browse button.
inline constexpr std::array<int, kCitySlots> kSlotRadioIds = {1009, 1010, 1011, 1012, 1014, 1016};
inline constexpr std::array<int, kCitySlots> kSlotEditIds = {1004, 1007, 1008, 1013, 1015, 1017};
inline constexpr std::array<int, kCitySlots> kSlotBrowseIds = {1029, 1030, 1031, 1032, 1033, 1034};

inline constexpr wchar_t kUnconfigured[] = L"<Unconfigured>";
inline constexpr wchar_t kUnknownCityCode[] = L"Error - unknown city code";
// Message boxes without a caption of their own carry the program's name.
inline constexpr wchar_t kProgramName[] = L"Gantrel";

// The name a validated code stores from the city name of its feed: without the mark the service
// gives made-up weather.
std::wstring CityNameToStore(std::wstring_view fed);

// A typed code longer than this is neither checked nor reported.
inline constexpr size_t kMaxCheckedCode = 30;

// True for a typed text that is a place's name or a pair of coordinates rather than a city code.
bool LooksLikeName(std::wstring_view text);

class CGantrelDialog : public PropertyPage {
 public:
  // Loads the city list and the selection and copies the six slots.
  CGantrelDialog();
  // Saves the page again (unless the settings were uninstalled in this run).
  ~CGantrelDialog() override;

  const std::wstring& Code(int slot) const { return codes_[static_cast<size_t>(slot)]; }
  const std::wstring& Name(int slot) const { return names_[static_cast<size_t>(slot)]; }

  // Focus left the edit of `slot` (0-5): checks a changed code by downloading it.
  void ValidateCode(int slot);
  // Browse of `slot` (0-5): the city chooser.
  void Browse(int slot);
  // The chooser opened on the matches of the name typed into `slot`'s code field; true when a
  // place was picked (its code then replaces the name).
  bool FindByName(int slot);
  // Stores the six slots (codes cut to 15 characters, names to 63) and the selection, then
  // downloads every configured city under the wait cursor; when that changed the strip's city,
  // the maps that name "{city}" follow it.
  void SavePage();

  void OnOK() override;
  intptr_t OnQuerySiblings(int message, intptr_t param) override;

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(DataExchange& dx) override;
  void MapMessages() override;

 private:
  // FindByName when the typed name matches any place; false (nothing shown) otherwise.
  bool OfferMatches(int slot);
  void CopyCityList();
  void ShowRadioTexts();
  void NameSlotControls();

  std::array<std::wstring, kCitySlots> codes_;
  std::array<std::wstring, kCitySlots> names_;
  // False once the settings key was removed in this run: the page then stores nothing.
  bool storesCities_ = true;
};

}  // namespace cirrodex
