#include "setup/sheet/install_page.h"

#include <string>
#include <vector>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/today_item.h"
#include "dialog/dialog_controls.h"
#include "package/autostart.h"
#include "platform/message_box.h"
#include "platform/registry_store.h"
#include "platform/text.h"
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
    {ControlKind::CheckBox, IDC_TRAY_AT_LOGIN, L"Show in the panel at login", 7, 138, 148, 10},
    {ControlKind::CheckBox, IDC_RAIN_NOTICES, L"Rain notices", 7, 150, 148, 10},
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
  OnClicked(IDC_TRAY_AT_LOGIN, [this] { OnTrayAtLogin(); });
  OnClicked(IDC_RAIN_NOTICES, [this] { OnRainNotices(); });
}

bool Setup::OnInitDialog() {
  trayAtLogin_ = ReadSetting(kTrayAtLogin, SettingsReader::SetupProgram) != 0;
  rainNotices_ = ReadSetting(kRainNotices, SettingsReader::SetupProgram) != 0;
  return PropertyPage::OnInitDialog();
}

void Setup::DoDataExchange(DataExchange& dx) {
  ExchangeCheck(dx, IDC_TRAY_AT_LOGIN, trayAtLogin_);
  ExchangeCheck(dx, IDC_RAIN_NOTICES, rainNotices_);
}

void Setup::OnTrayAtLogin() {
  UpdateData(Exchange::FromControls);
  std::string problem;
  const bool done = trayAtLogin_ ? package::WriteTrayAutostart(package::TrayProgram(), problem)
                                 : package::RemoveTrayAutostart(problem);
  if (!done) {
    trayAtLogin_ = !trayAtLogin_;
    UpdateData(Exchange::ToControls);
    platform::MessageBox(nullptr,
                         platform::FromUtf8("Cannot change the session's start: " + problem),
                         L"Show in the panel at login", platform::MB_OK);
    return;
  }
  WriteSetting(kTrayAtLogin, trayAtLogin_ ? 1 : 0);
}

void Setup::OnRainNotices() {
  UpdateData(Exchange::FromControls);
  WriteSetting(kRainNotices, rainNotices_ ? 1 : 0);
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
    // With "TrayAtLogin" gone the session no longer starts the panel item either.
    std::string problem;
    package::RemoveTrayAutostart(problem);
    trayAtLogin_ = SettingRow(kTrayAtLogin)->setupDefault != 0;
    rainNotices_ = SettingRow(kRainNotices)->setupDefault != 0;
    UpdateData(Exchange::ToControls);
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
