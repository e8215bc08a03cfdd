#include "host/tray_item.h"

#include <QApplication>
#include <QDBusConnection>
#include <cstdio>
#include <iterator>

#include "host/desktop_notice.h"
#include "host/tray_icon.h"
#include "platform/device.h"
#include "platform/message_box.h"
#include "platform/process.h"

namespace cirrodex::host {

using namespace platform;

namespace {

constexpr wchar_t kSetupProgramName[] = L"\\Gantrel.exe";

}  // namespace

bool AskTrayFace(TodayScreen& screen, HWND* window, TrayFace* face) {
  for (const TodayItem& item : screen.items().items()) {
    if (!IsWindow(item.window)) continue;
    face->panel = TODAYPANELINFO{};
    if (SendMessage(item.window, WM_TODAYCUSTOM_GETPANELINFO, 0,
                    reinterpret_cast<LPARAM>(&face->panel)) != 1) {
      continue;
    }
    // Asked afresh rather than through the screen's speech, which it keeps only while a screen
    // reader listens.
    const auto speech = AskItemSpeech(item.window);
    face->toolTip = speech ? QString::fromStdWString(speech->description) : QString();
    *window = item.window;
    return true;
  }
  return false;
}

std::string TrayItem::Unavailable() {
  if (QSystemTrayIcon::isSystemTrayAvailable()) return {};
  if (!QDBusConnection::sessionBus().isConnected()) {
    return "no session bus (D-Bus) and no system tray";
  }
  return "no StatusNotifierWatcher on the session bus and no system tray";
}

std::unique_ptr<TrayItem> StartTrayItem(TodayScreen& screen) {
  const std::string problem = TrayItem::Unavailable();
  if (!problem.empty()) {
    std::fprintf(stderr, "today-host: not shown in the panel (%s); showing the Today window\n",
                 problem.c_str());
    return nullptr;
  }
  // Closing the window only hides it: the panel item stays until "Quit".
  QApplication::setQuitOnLastWindowClosed(false);
  return std::make_unique<TrayItem>(screen);
}

TrayItem::TrayItem(TodayScreen& screen) : screen_(screen) {
  cities_.setExclusive(true);
  for (int slot = 0; slot < TODAYPANEL_CITIES; ++slot) {
    QAction* action = menu_.addAction(QString());
    action->setCheckable(true);
    action->setVisible(false);
    cities_.addAction(action);
    QObject::connect(action, &QAction::triggered, [this, slot] { SelectCity(slot); });
    cityActions_[static_cast<size_t>(slot)] = action;
  }
  menu_.addSeparator();
  menu_.addAction("Refresh", [this] { screen_.items().SendToAll(WM_TODAYCUSTOM_CLEARCACHE); });
  menu_.addAction("Next hours", [this] { StartSetupProgram(L"/hourly"); });
  menu_.addAction(QString::fromUtf8("Setup\u2026"), [this] { StartSetupProgram(L""); });
  menu_.addSeparator();
  menu_.addAction("Quit", [] { QApplication::quit(); });
  icon_.setContextMenu(&menu_);
  QObject::connect(&icon_, &QSystemTrayIcon::activated,
                   [this](QSystemTrayIcon::ActivationReason why) {
                     if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick)
                       ShowOrHideScreen();
                   });

  // Repaints come in bursts (the strip, its status line, a resize): one update after them.
  pending_.setSingleShot(true);
  pending_.setInterval(0);
  QObject::connect(&pending_, &QTimer::timeout, [this] { Update(); });
  screen_.OnItemRepaint([this] { pending_.start(); });
  Update();
  icon_.show();
}

TrayItem::~TrayItem() { screen_.OnItemRepaint(nullptr); }

void TrayItem::Update() {
  HWND window = nullptr;
  TrayFace face;
  if (!AskTrayFace(screen_, &window, &face)) {
    face.toolTip = "Cirrodex: no weather item is loaded";
  }
  const std::wstring path = face.panel.iconPath;
  const std::wstring temperature = face.panel.temperature;
  if (path != iconPath_ || temperature != temperature_ || icon_.icon().isNull()) {
    iconPath_ = path;
    temperature_ = temperature;
    // Before the first weather the icon would be empty, and an empty icon is no icon in a panel.
    const QString text =
        path.empty() && temperature.empty() ? QString("?") : QString::fromStdWString(temperature);
    icon_.setIcon(TrayIcon(ConditionIcon(path), text));
  }
  if (face.toolTip != toolTip_) {
    toolTip_ = face.toolTip;
    icon_.setToolTip(face.toolTip);
  }
  // A notice the item gave since the last update goes to the desktop once; without a notification
  // server it is dropped.
  if (face.panel.rainNoticeSerial != noticesShown_) {
    noticesShown_ = face.panel.rainNoticeSerial;
    if (face.panel.rainNotice[0] != L'\0') {
      SendDesktopNotice(QString::fromWCharArray(face.panel.rainNotice),
                        DrawTrayIcon(ConditionIcon(path), QString(), 48));
    }
  }
  for (int slot = 0; slot < TODAYPANEL_CITIES; ++slot) {
    QAction* action = cityActions_[static_cast<size_t>(slot)];
    const QString name = QString::fromWCharArray(face.panel.cityNames[slot]);
    if (action->text() != name) action->setText(name);
    action->setVisible(!name.isEmpty());
    action->setChecked(slot == face.panel.selectedCity);
  }
}

void TrayItem::ShowOrHideScreen() {
  if (screen_.isVisible() && !screen_.isMinimized()) {
    screen_.hide();
    return;
  }
  screen_.showNormal();
  screen_.raise();
  screen_.activateWindow();
}

void TrayItem::SelectCity(int slot) {
  HWND window = nullptr;
  TrayFace face;
  if (AskTrayFace(screen_, &window, &face)) {
    SendMessage(window, WM_TODAYCUSTOM_SELECTCITY, static_cast<WPARAM>(slot), 0);
  }
  Update();
}

void TrayItem::StartSetupProgram(const wchar_t* arguments) {
  const std::wstring program = std::wstring(kDefaultInstallFolder) + kSetupProgramName;
  if (!CreateProcess(program, arguments)) {
    MessageBox(nullptr, L"Failed to start \"" + program + L"\"", L"Cirrodex", MB_OK);
  }
}

QImage TrayItem::ConditionIcon(const std::wstring& handheldPath) {
  if (handheldPath.empty()) return {};
  // The item names the same few icons again and again; one kept is enough.
  if (handheldPath != loadedPath_) {
    loadedPath_ = handheldPath;
    loaded_ = QImage(QString::fromStdString(DevicePath(handheldPath).string()));
  }
  return loaded_;
}

}  // namespace cirrodex::host
