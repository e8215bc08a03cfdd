// The Today screen substitute: a 240-pixel-wide portrait screen with the date on top and the
// items stacked below it, painting them through their window procedures.
#pragma once

#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "host/today_items.h"
#include "platform/broadcast.h"
#include "platform/window.h"

namespace cirrodex::host {

inline constexpr int kScreenWidth = 240;
inline constexpr int kScreenHeight = 320;
inline constexpr int kDateLineHeight = 22;

// What a screen reader says of an item, as the item last told it.
struct ItemSpeech {
  std::wstring name;
  std::wstring description;
};

// Asks the item what a screen reader says of it; nothing when it does not answer.
std::optional<ItemSpeech> AskItemSpeech(platform::HWND window);

class TodayScreen : public QWidget, private platform::WindowHost {
 public:
  TodayScreen();
  ~TodayScreen() override;

  // Called once, after the first paint that painted at least one item.
  void OnFirstItemPaint(std::function<void()> callback) { firstItemPaint_ = std::move(callback); }
  // Called after an item asked for a repaint or the items were reloaded (null: nobody).
  void OnItemRepaint(std::function<void()> callback) { itemRepaint_ = std::move(callback); }
  // Drops every item (each window gets WM_DESTROY) and loads them again from the registry.
  void ReloadItems();
  // For an end from inside Qt's own event handling (the display went away): destroys the item
  // windows, so their workers stop, and the notification socket; the modules stay loaded, since
  // the process ends right after without returning into them.
  void EndNow();
  TodayItems& items() { return items_; }

  // The item the keyboard selection is on, or null.
  platform::HWND SelectedWindow() const { return selected_; }
  // What the item says of itself (asked once, then again whenever it repaints).
  const ItemSpeech& Speech(const TodayItem& item);
  // Selects the item and runs its action, as the Enter key does.
  void Activate(platform::HWND window);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  // From any thread; queued to this one.
  void Invalidated(platform::HWND window, bool erase) override;
  void Moved(platform::HWND window) override;

  void Refresh();
  void ShowMenu(const QPoint& globalPos, TodayItem* item);
  // Moves the keyboard selection to `window` (null: nowhere), telling both items; `key` is the
  // key that brought it (0, VK_UP or VK_DOWN). False when the item refused it.
  bool Select(platform::HWND window, platform::WPARAM key);
  TodayItem* SelectedItem();
  // Asks the item its texts again; true when they changed.
  bool AskSpeech(const TodayItem& item, bool* nameChanged, bool* descriptionChanged);
  void OnBroadcast();
  // Runs `send` (a message to an item that may open a message box, whose event loop can deliver a
  // reload) and reloads only afterwards, so no module is unloaded under its own procedure.
  void SendToItem(const std::function<void()>& send);
  static platform::LRESULT ScreenProc(platform::HWND window, platform::UINT message,
                                      platform::WPARAM wParam, platform::LPARAM lParam);

  platform::HWND screen_ = nullptr;
  TodayItems items_{kScreenWidth};
  QTimer queryTimer_;
  std::unique_ptr<platform::BroadcastListener> listener_;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<void()> firstItemPaint_;
  std::function<void()> itemRepaint_;
  platform::HWND selected_ = nullptr;
  std::map<platform::HWND, ItemSpeech> speech_;
  int shownDay_ = -1;
  int sending_ = 0;
  bool reloadPending_ = false;
};

}  // namespace cirrodex::host
