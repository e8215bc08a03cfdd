// The Install page: registers the Today item or removes it, switches it on and off, removes
// every setting, and clears the weather cache.
#pragma once

#include "dialog/property_page.h"

namespace cirrodex {

inline constexpr int IDC_ENABLE = 1000;
inline constexpr int IDC_DISABLE = 1001;
inline constexpr int IDC_INSTALL = 1002;
inline constexpr int IDC_UNINSTALL = 1003;
inline constexpr int IDC_CLEAR_CACHE = 1030;
inline constexpr int IDC_TRAY_AT_LOGIN = 1050;
inline constexpr int IDC_RAIN_NOTICES = 1051;

inline constexpr wchar_t kUninstallQuestion[] =
    L"ARE REALLY SURE YOU WANT TO UNINSTALL?\n\nALL SETTINGS WILL BE REMOVED";
inline constexpr wchar_t kUninstallCaption[] = L"Uninstall?";
inline constexpr wchar_t kUninstallWarning[] = L"Last Warning - Are you really sure?!";
inline constexpr wchar_t kUninstallWarningCaption[] = L"Really Uninstall?";
inline constexpr wchar_t kClearCacheQuestion[] = L"ARE REALLY SURE YOU WANT TO CLEAR THE CACHE?";
inline constexpr wchar_t kClearCacheCaption[] = L"Clear Cache?";

// Every handler acts on the registry at once; registry failures are silent and the Today refresh
// notification is still sent.
class Setup : public PropertyPage {
 public:
  Setup();

  void OnEnable();
  void OnDisable();
  // Stores the default settings where they are missing, registers the item, and has the other
  // pages take up the stored values.
  void OnInstall();
  // After two confirmations deletes the item key and the settings key, forgets the city list in
  // memory and tells the other pages not to store their copies again.
  void OnUninstall();
  // After a confirmation deletes every subkey of the settings key (the weather cache).
  void OnClearCache();
  // Stores "TrayAtLogin" and writes or removes the session's autostart entry to match; when the
  // entry cannot be written, says why in a message box and leaves the box and the value as they
  // were.
  void OnTrayAtLogin();
  // Stores "RainNotices".
  void OnRainNotices();

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(DataExchange& dx) override;
  void MapMessages() override;

 private:
  bool trayAtLogin_ = false;
  bool rainNotices_ = true;
};

// Deletes every subkey of the settings key; its values stay. False when the key does not exist.
bool ClearWeatherCache();

}  // namespace cirrodex
