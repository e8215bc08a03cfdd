// today-host's face in the desktop's panel (StatusNotifierItem over D-Bus where a watcher runs,
// else the XEmbed tray): the selected city's condition icon with its temperature, the strip read
// as text for a tooltip, a click that shows or hides the Today screen, and a menu of the cities,
// "Refresh", "Next hours", "Setup…" and "Quit". It talks to the weather item only through the
// item's window messages, as the screen does.
#pragma once

#include <QActionGroup>
#include <QImage>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <array>
#include <memory>
#include <string>

#include "host/today_screen.h"
#include "platform/window.h"

namespace cirrodex::host {

// What the panel shows, as one item told it.
struct TrayFace {
  platform::TODAYPANELINFO panel;
  QString toolTip;  // the item's accessible description
};

// Asks the first item that has a panel face; false when none has (no item, or none loaded).
bool AskTrayFace(TodayScreen& screen, platform::HWND* window, TrayFace* face);

class TrayItem;
// The panel item for `screen`, which the caller then leaves hidden; where no panel can show one,
// says so in one line on stderr and returns null, and the caller shows the screen instead.
std::unique_ptr<TrayItem> StartTrayItem(TodayScreen& screen);

class TrayItem {
 public:
  // Why no panel item can show on this desktop, in a few words; empty when one can. Asks Qt once
  // (it keeps its answer for the process).
  static std::string Unavailable();

  // Shows the item in the panel; the screen stays as it is (the caller hides it).
  explicit TrayItem(TodayScreen& screen);
  ~TrayItem();
  TrayItem(const TrayItem&) = delete;
  TrayItem& operator=(const TrayItem&) = delete;

  // Asks the item again and brings icon, tooltip and menu up to date. The screen calls it (queued
  // and coalesced) whenever an item repaints.
  void Update();
  QSystemTrayIcon& icon() { return icon_; }
  QMenu& menu() { return menu_; }

 private:
  void ShowOrHideScreen();
  void SelectCity(int slot);
  void StartSetupProgram(const wchar_t* arguments);
  QImage ConditionIcon(const std::wstring& handheldPath);

  TodayScreen& screen_;
  QSystemTrayIcon icon_;
  QMenu menu_;
  QActionGroup cities_{nullptr};
  std::array<QAction*, platform::TODAYPANEL_CITIES> cityActions_{};
  QTimer pending_;
  // The last face drawn, so that a repaint that changed nothing the panel shows costs no drawing.
  std::wstring iconPath_;
  std::wstring temperature_;
  QString toolTip_;
  std::wstring loadedPath_;
  QImage loaded_;
  uint32_t noticesShown_ = 0;
};

}  // namespace cirrodex::host
