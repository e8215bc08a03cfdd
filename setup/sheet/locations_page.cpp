#include "setup/sheet/locations_page.h"

#include <algorithm>

#include "core/download_result.h"
#include "core/format.h"
#include "core/text_field.h"
#include "dialog/input_panel.h"
#include "dialog/wait_cursor.h"
#include "maps/weather_map_set.h"
#include "platform/message_box.h"
#include "setup/sheet/place_search.h"
#include "setup/sheet/select_location_dlg.h"
#include "setup/sheet/sheet_messages.h"
#include "update/update_run.h"

namespace cirrodex {

std::wstring CityNameToStore(std::wstring_view fed) {
  // Made-up weather names its city so; the mark says something of that answer, not of the city.
  constexpr std::wstring_view kSampleMark = L" (sample)";
  if (fed.ends_with(kSampleMark)) fed.remove_suffix(kSampleMark.size());
  return std::wstring(fed);
}

namespace {

constexpr ControlTemplate kControls[] = {
    {ControlKind::RadioButton, kSlotRadioIds[0], L"Main City Code", 7, 8, 69, 10, kGroupStart},
    {ControlKind::Edit, kSlotEditIds[0], L"", 84, 7, 42, 12, kBorder | kAutoHScroll | kUppercase},
    {ControlKind::PushButton, kSlotBrowseIds[0], L"Browse", 127, 8, 30, 10},
    {ControlKind::RadioButton, kSlotRadioIds[1], L"Visiting City Code", 7, 26, 69, 10},
    {ControlKind::Edit, kSlotEditIds[1], L"", 84, 25, 42, 12, kBorder | kAutoHScroll | kUppercase},
    {ControlKind::PushButton, kSlotBrowseIds[1], L"Browse", 127, 26, 30, 10},
    {ControlKind::RadioButton, kSlotRadioIds[2], L"Visiting City Code", 7, 44, 69, 10},
    {ControlKind::Edit, kSlotEditIds[2], L"", 84, 43, 42, 12, kBorder | kAutoHScroll | kUppercase},
    {ControlKind::PushButton, kSlotBrowseIds[2], L"Browse", 127, 44, 30, 10},
    {ControlKind::RadioButton, kSlotRadioIds[3], L"Visiting City Code", 7, 62, 69, 10},
    {ControlKind::Edit, kSlotEditIds[3], L"", 84, 61, 42, 12, kBorder | kAutoHScroll | kUppercase},
    {ControlKind::PushButton, kSlotBrowseIds[3], L"Browse", 127, 62, 30, 10},
    {ControlKind::RadioButton, kSlotRadioIds[4], L"Visiting City Code", 7, 80, 69, 10},
    {ControlKind::Edit, kSlotEditIds[4], L"", 84, 79, 42, 12, kBorder | kAutoHScroll | kUppercase},
    {ControlKind::PushButton, kSlotBrowseIds[4], L"Browse", 127, 80, 30, 10},
    {ControlKind::RadioButton, kSlotRadioIds[5], L"Visiting City Code", 7, 98, 69, 10},
    {ControlKind::Edit, kSlotEditIds[5], L"", 84, 97, 42, 12, kBorder | kAutoHScroll | kUppercase},
    {ControlKind::PushButton, kSlotBrowseIds[5], L"Browse", 127, 98, 30, 10},
};

constexpr DialogTemplate kTemplate{102, L"Locations", kPageWidthDlu, kPageHeightDlu, kControls};

}  // namespace

bool LooksLikeName(std::wstring_view text) {
  // Codes are eight letters and digits with digits among them ("UKXX0085", "CH000001") or a
  // coordinate code ("N5252E01340"); a name has no digits, or spaces or other signs.
  if (text.size() < 2) return false;
  const bool digits =
      std::any_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
  const bool plain = std::all_of(text.begin(), text.end(), [](wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
  });
  double latitude = 0;
  double longitude = 0;
  if (ParseCoordinates(text, latitude, longitude)) return true;
  return !(plain && digits);
}

CGantrelDialog::CGantrelDialog() : PropertyPage(kTemplate) {
  LoadCityList();
  SelectedCity();
  CopyCityList();
}

CGantrelDialog::~CGantrelDialog() { SavePage(); }

void CGantrelDialog::CopyCityList() {
  const CityList& list = Cities();
  for (size_t i = 0; i < kCitySlots; ++i) {
    codes_[i] = list.slots[i].code;
    names_[i] = list.slots[i].name;
  }
}

void CGantrelDialog::DoDataExchange(DataExchange& dx) {
  ExchangeRadio(dx, kSlotRadioIds[0], Cities().selectedCity);
  for (size_t i = 0; i < kCitySlots; ++i) ExchangeText(dx, kSlotEditIds[i], codes_[i]);
  if (!dx.FromControls()) NameSlotControls();
}

// Six edits and six Browse buttons look alike to a screen reader; each is named after its slot
// and the city in it.
void CGantrelDialog::NameSlotControls() {
  for (size_t i = 0; i < kCitySlots; ++i) {
    const std::wstring slot =
        i == 0 ? std::wstring(L"main city") : WFormat(L"visiting city %d", static_cast<int>(i) + 1);
    const std::wstring city = codes_[i].empty()   ? L"not set"
                              : names_[i].empty() ? codes_[i]
                                                  : names_[i];
    if (QWidget* edit = GetDlgItem(kSlotEditIds[i])) {
      edit->setAccessibleName(ToQString(L"Code of the " + slot + L", " + city));
    }
    if (QWidget* browse = GetDlgItem(kSlotBrowseIds[i])) {
      browse->setAccessibleName(ToQString(L"Browse for the " + slot));
    }
  }
}

void CGantrelDialog::MapMessages() {
  for (int slot = 0; slot < kCitySlots; ++slot) {
    const size_t i = static_cast<size_t>(slot);
    OnFocus(
        kSlotEditIds[i], [] { ShowInputPanel(true); }, [this, slot] { ValidateCode(slot); });
    OnClicked(kSlotBrowseIds[i], [this, slot] { Browse(slot); });
  }
}

bool CGantrelDialog::OnInitDialog() {
  PropertyPage::OnInitDialog();
  ShowRadioTexts();
  return true;
}

void CGantrelDialog::ShowRadioTexts() {
  const CityList& list = Cities();
  for (size_t i = 0; i < kCitySlots; ++i) {
    SetDlgItemText(kSlotRadioIds[i], list.slots[i].code[0] == L'\0' ? kUnconfigured : names_[i]);
  }
}

void CGantrelDialog::ValidateCode(int slot) {
  const size_t i = static_cast<size_t>(slot);
  ShowInputPanel(false);
  const std::wstring previous = codes_[i];
  UpdateData(Exchange::FromControls);
  if (codes_[i] == previous) {
    UpdateData(Exchange::ToControls);
    return;
  }
  if (codes_[i].size() > kMaxCheckedCode) return;
  if (codes_[i].empty()) {
    SetDlgItemText(kSlotRadioIds[i], kUnconfigured);
    names_[i].clear();
    UpdateData(Exchange::ToControls);
    return;
  }

  if (LooksLikeName(codes_[i]) && OfferMatches(slot)) {
    UpdateData(Exchange::ToControls);
    return;
  }

  WeatherReport& report = CityReports()[i];
  uint32_t result = 0;
  bool changed = false;
  bool fetched = false;
  {
    WaitCursor wait;
    fetched = UpdateCity(report, codes_[i].c_str(), changed, result);
  }
  if (fetched && result == kResultOk) {
    names_[i] = CityNameToStore(report.city);
    SetDlgItemText(kSlotRadioIds[i], names_[i]);
    platform::MessageBox(nullptr,
                         WFormat(L"City %d corresponds to %ls, %ls (%ls)", slot + 1, report.city,
                                 report.country, report.region),
                         kProgramName, platform::MB_OK);
  } else {
    platform::MessageBox(nullptr, kUnknownCityCode, kProgramName, platform::MB_OK);
  }
  UpdateData(Exchange::ToControls);
}

bool CGantrelDialog::FindByName(int slot) {
  const size_t i = static_cast<size_t>(slot);
  CSelectLocationDlg chooser(Window());
  chooser.SetStartCode(names_[i].empty() ? std::wstring() : codes_[i]);
  chooser.SetFindText(codes_[i]);
  if (chooser.DoModal() != IDOK || chooser.ChosenCode().empty()) return false;
  codes_[i] = chooser.ChosenCode();
  names_[i] = chooser.ChosenName();
  SetDlgItemText(kSlotRadioIds[i], names_[i]);
  return true;
}

bool CGantrelDialog::OfferMatches(int slot) {
  PlaceIndex places;
  places.Load(InstallFolder(CityReports()[0]));
  if (places.Search(codes_[static_cast<size_t>(slot)], 1).empty()) return false;
  return FindByName(slot);
}

void CGantrelDialog::Browse(int slot) {
  const size_t i = static_cast<size_t>(slot);
  UpdateData(Exchange::FromControls);
  CSelectLocationDlg chooser(Window());
  chooser.SetStartCode(codes_[i]);
  if (chooser.DoModal() == IDOK) {
    codes_[i] = chooser.ChosenCode();
    names_[i] = chooser.ChosenName();
    SetDlgItemText(kSlotRadioIds[i], names_[i]);
  }
  UpdateData(Exchange::ToControls);
}

void CGantrelDialog::SavePage() {
  if (!storesCities_) return;
  const std::wstring shownBefore = StoredSelectedCityCode();
  CityList& list = Cities();
  for (size_t i = 0; i < kCitySlots; ++i) {
    CopyText(list.slots[i].code, std::wstring_view(codes_[i]));
    CopyText(list.slots[i].name, std::wstring_view(names_[i]));
  }
  SaveCityList();
  SelectCity(list.selectedCity);
  WaitCursor wait;
  SelectedCity();
  UpdateAllCities(false);
  // The strip now shows another city: the map icons it draws follow at once.
  if (StoredSelectedCityCode() != shownBefore) {
    for (MapKind kind : {MapKind::Radar, MapKind::Satellite})
      WeatherMaps().FollowCity(kind, MapFolder());
  }
}

void CGantrelDialog::OnOK() {
  UpdateData(Exchange::FromControls);
  ShowInputPanel(false);
  SavePage();
}

intptr_t CGantrelDialog::OnQuerySiblings(int message, intptr_t /*param*/) {
  if (message == kSettingsRemoved) {
    storesCities_ = false;
    CopyCityList();
  } else if (message == kSettingsInstalled) {
    LoadCityList();
    SelectedCity();
    CopyCityList();
    storesCities_ = true;
  } else {
    return 0;
  }
  if (IsCreated()) {
    UpdateData(Exchange::ToControls);
    ShowRadioTexts();
  }
  return 0;
}

}  // namespace cirrodex
