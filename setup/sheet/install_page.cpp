#include "setup/sheet/install_page.h"

#include <string>
#include <vector>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/today_item.h"
#include "platform/message_box.h"
#include "platform/registry_store.h"
#include "setup/sheet/sheet_messages.h"

namespace cirrodex {

namespace {

constexpr ControlTemplate kControls[] = {
    {ControlKind::GroupBox, kNoControlId, L"Enable/Disable from Today Screen", 7, 7, 148, 38},
    {ControlKind::PushButton, IDC_ENABLE, L"Enable", 14, 24, 53, 14},
    {ControlKind::PushButton, IDC_DISABLE, L"Disable", 95, 24, 53, 14},
    {ControlKind::GroupBox, kNoControlId, L"Install/Uninstall from System", 7, 50, 148, 39},
    {ControlKind::PushButton, IDC_INSTALL, L"Install", 15, 69, 53, 14},
    {ControlKind::PushButton, IDC_UNINSTALL, L"Uninstall", 95, 69, 53, 14},
    {ControlKind::GroupBox, kNoControlId, L"Weather Cache", 7, 93, 148, 40},
    {ControlKind::PushButton, IDC_CLEAR_CACHE, L"Clear Cache", 15, 108, 53, 14},
};

constexpr DialogTemplate kTemplate{129, L"Install", kPageWidthDlu, kPageHeightDlu, kControls};

bool Confirmed(const wchar_t* text, const wchar_t* caption) {
  return platform::MessageBox(nullptr, text, caption, platform::MB_OKCANCEL) == platform::IDOK;
}

}  // namespace

Setup::Setup() : PropertyPage(kTemplate) {}

void Setup::MapMessages() {
  OnClicked(IDC_ENABLE, [this] { OnEnable(); });
  OnClicked(IDC_DISABLE, [this] { OnDisable(); });
  OnClicked(IDC_INSTALL, [this] { OnInstall(); });
  OnClicked(IDC_UNINSTALL, [this] { OnUninstall(); });
  OnClicked(IDC_CLEAR_CACHE, [this] { OnClearCache(); });
}

void Setup::OnEnable() {
  WriteTodayItemModule();
  SendTodayRefreshNotification();
}

void Setup::OnDisable() {
  DeleteTodayItemModule();
  SendTodayRefreshNotification();
}

void Setup::OnInstall() {
  InstallTodayItem();
  // Without this the Setup and Locations pages would store the copies they read when the sheet
  // was built over the defaults just stored.
  QuerySiblings(kSettingsInstalled, 0);
}

void Setup::OnUninstall() {
  if (Confirmed(kUninstallQuestion, kUninstallCaption) &&
      Confirmed(kUninstallWarning, kUninstallWarningCaption)) {
    DeleteTodayItem();
    DeleteTree(HKEY_CURRENT_USER, kSettingsKey);
    // The list in memory is the removed one: nothing may refresh or store it again, and a later
    // Install must find it empty to fill in the default cities.
    Cities() = CityList{};
    QuerySiblings(kSettingsRemoved, 0);
  }
  SendTodayRefreshNotification();
}

void Setup::OnClearCache() {
  if (Confirmed(kClearCacheQuestion, kClearCacheCaption)) ClearWeatherCache();
}

bool ClearWeatherCache() {
  std::vector<std::wstring> cities;
  if (!platform::Registry().EnumSubkeys(HKEY_CURRENT_USER, kSettingsKey, &cities)) return false;
  for (const std::wstring& city : cities) {
    DeleteTree(HKEY_CURRENT_USER, std::wstring(kSettingsKey) + L"\\" + city);
  }
  return true;
}

}  // namespace cirrodex
