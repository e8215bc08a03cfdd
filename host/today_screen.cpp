#include "host/today_screen.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTextOption>
#include <cstdio>

#include "host/today_accessible.h"
#include "platform/clock.h"
#include "platform/qt/qt_drawing_context.h"

namespace cirrodex::host {

using namespace platform;

namespace {

// The watermark behind the items and the dark text the items are asked to use. The watermark is
// white because icons and maps are copied opaque and carry a white background of their own.
constexpr Color kBackground = kStripBackground;
constexpr Color kDateBand = Rgb(0xDD, 0xE6, 0xF2);
constexpr Color kTextColour = kStripText;

int g_screenInstance = 0;
constexpr wchar_t kScreenClass[] = L"DesktopExplorerWindow";

constexpr const char* kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
constexpr const char* kMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

QString DateLine(const SystemTime& t) {
  const char* weekday = t.dayOfWeek < 7 ? kWeekdays[t.dayOfWeek] : "";
  const char* month = t.month >= 1 && t.month <= 12 ? kMonths[t.month - 1] : "";
  return QString("%1, %2 %3, %4").arg(weekday).arg(month).arg(t.day).arg(t.year);
}

}  // namespace

TodayScreen::TodayScreen() {
  InstallTodayAccessibility();
  setWindowTitle("Today");
  setFixedSize(kScreenWidth, kScreenHeight);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);

  WNDCLASS screenClass;
  screenClass.lpfnWndProc = ScreenProc;
  screenClass.hInstance = &g_screenInstance;
  screenClass.lpszClassName = kScreenClass;
  RegisterClass(screenClass);
  screen_ = CreateWindowEx(0, kScreenClass, L"Desktop", WS_VISIBLE, 0, 0, kScreenWidth,
                           kScreenHeight, nullptr, nullptr, &g_screenInstance, nullptr);
  SetWindowHost(this);

  listener_ = std::make_unique<BroadcastListener>("today-host");
  if (listener_->IsOpen()) {
    notifier_ = std::make_unique<QSocketNotifier>(listener_->Descriptor(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { OnBroadcast(); });
  } else {
    std::fprintf(stderr, "today-host: no refresh notification: %s\n",
                 listener_->LastError().c_str());
  }

  items_.Load(screen_, kDateLineHeight);
  shownDay_ = CurrentClock().LocalTime().day;
  queryTimer_.setInterval(2000);
  QObject::connect(&queryTimer_, &QTimer::timeout, this, [this] { Refresh(); });
  queryTimer_.start();
}

TodayScreen::~TodayScreen() {
  queryTimer_.stop();
  selected_ = nullptr;
  items_.Unload();  // the workers are stopped before the host stops listening to them
  ForgetGoneItems(this);
  SetWindowHost(nullptr);
  DestroyWindow(screen_);
  UnregisterClass(kScreenClass, &g_screenInstance);
}

void TodayScreen::EndNow() {
  queryTimer_.stop();
  items_.DestroyWindows();
  notifier_.reset();
  listener_.reset();
}

void TodayScreen::ReloadItems() {
  const bool hadSelection = selected_ != nullptr;
  selected_ = nullptr;
  speech_.clear();
  items_.Unload();
  items_.Load(screen_, kDateLineHeight);
  ForgetGoneItems(this);
  if (hadSelection && hasFocus() && !items_.items().empty()) {
    Select(items_.items().front().window, 0);
  }
  update();
  if (itemRepaint_) itemRepaint_();
}

TodayItem* TodayScreen::SelectedItem() {
  for (TodayItem& item : items_.items()) {
    if (item.window == selected_ && IsWindow(item.window)) return &item;
  }
  return nullptr;
}

bool TodayScreen::Select(HWND window, WPARAM key) {
  if (window == selected_) return true;
  if (TodayItem* previous = SelectedItem()) {
    SendMessage(previous->window, WM_TODAYCUSTOM_LOSTSELECTION, 0, 0);
  }
  selected_ = nullptr;
  if (window == nullptr || SendMessage(window, WM_TODAYCUSTOM_RECEIVEDSELECTION, key, 0) == 0) {
    return false;
  }
  selected_ = window;
  AnnounceItemFocus(this, window);
  return true;
}

void TodayScreen::Activate(HWND window) {
  if (!Select(window, 0)) return;
  SendToItem([window] { SendMessage(window, WM_TODAYCUSTOM_ACTION, VK_RETURN, 0); });
}

std::optional<ItemSpeech> AskItemSpeech(HWND window) {
  // Room for the longest strip with its status line; a longer text is cut by the item.
  wchar_t name[64] = {};
  wchar_t description[1024] = {};
  TODAYACCESSIBLETEXT text;
  text.name = name;
  text.nameSize = static_cast<DWORD>(std::size(name));
  text.description = description;
  text.descriptionSize = static_cast<DWORD>(std::size(description));
  if (SendMessage(window, WM_TODAYCUSTOM_GETACCESSIBLETEXT, 0, reinterpret_cast<LPARAM>(&text)) !=
      1) {
    return std::nullopt;
  }
  return ItemSpeech{name, description};
}

bool TodayScreen::AskSpeech(const TodayItem& item, bool* nameChanged, bool* descriptionChanged) {
  ItemSpeech fresh = AskItemSpeech(item.window).value_or(ItemSpeech{item.name, {}});
  ItemSpeech& kept = speech_[item.window];
  *nameChanged = kept.name != fresh.name;
  *descriptionChanged = kept.description != fresh.description;
  kept = std::move(fresh);
  return *nameChanged || *descriptionChanged;
}

const ItemSpeech& TodayScreen::Speech(const TodayItem& item) {
  auto it = speech_.find(item.window);
  if (it != speech_.end()) return it->second;
  bool name = false;
  bool description = false;
  AskSpeech(item, &name, &description);
  return speech_[item.window];
}

void TodayScreen::Refresh() {
  const int day = CurrentClock().LocalTime().day;
  if (items_.QueryRefresh() || day != shownDay_) {
    shownDay_ = day;
    update();
  }
}

void TodayScreen::OnBroadcast() {
  bool reload = false;
  for (const BroadcastMessage& m : listener_->Receive()) {
    if (m.message == WM_WININICHANGE && m.wParam == INI_TODAY_REFRESH) reload = true;
  }
  if (!reload) return;
  if (sending_ > 0) {
    reloadPending_ = true;
  } else {
    ReloadItems();
  }
}

void TodayScreen::SendToItem(const std::function<void()>& send) {
  ++sending_;
  send();
  if (--sending_ == 0 && reloadPending_) {
    reloadPending_ = false;
    ReloadItems();
  }
}

void TodayScreen::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), ToQColor(kBackground));
  painter.fillRect(QRect(0, 0, kScreenWidth, kDateLineHeight), ToQColor(kDateBand));
  QFont font(TahomaFamily());
  font.setPixelSize(12);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(ToQColor(kTextColour));
  painter.drawText(QRect(6, 0, kScreenWidth - 12, kDateLineHeight),
                   Qt::AlignVCenter | Qt::AlignLeft, DateLine(CurrentClock().LocalTime()));

  if (!items_.problem().empty()) {
    // Without its item list the screen says why it is empty rather than staying blank.
    font.setBold(false);
    font.setPixelSize(11);
    painter.setFont(font);
    QTextOption wrap(Qt::AlignTop | Qt::AlignLeft);
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    painter.drawText(QRectF(6, kDateLineHeight + 4, kScreenWidth - 12, kScreenHeight / 2),
                     "Today items cannot be loaded: " + QString::fromStdWString(items_.problem()),
                     wrap);
  }

  bool painted = false;
  for (TodayItem& item : items_.items()) {
    if (item.height <= 0 || !IsWindow(item.window)) continue;
    painter.save();
    painter.translate(0, item.top);
    painter.setClipRect(0, 0, kScreenWidth, item.height);
    QtDrawingContext dc(painter);
    PaintWindow(item.window, dc, true);
    painter.restore();
    painted = true;
  }
  painter.end();
  if (painted && firstItemPaint_) {
    auto callback = std::move(firstItemPaint_);
    firstItemPaint_ = nullptr;
    callback();
  }
}

void TodayScreen::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint at = event->position().toPoint();
  if (TodayItem* item = items_.ItemAt(at.y())) {
    const HWND window = item->window;
    const LPARAM where =
        MakeLParam(static_cast<uint16_t>(at.x()), static_cast<uint16_t>(at.y() - item->top));
    SendToItem([window, where] { SendMessage(window, WM_LBUTTONUP, 0, where); });
  }
}

void TodayScreen::keyPressEvent(QKeyEvent* event) {
  auto& items = items_.items();
  TodayItem* item = SelectedItem();
  if (item == nullptr && !items.empty() && event->key() != Qt::Key_F5) {
    Select(items.front().window, 0);
    item = SelectedItem();
  }
  switch (event->key()) {
    case Qt::Key_F5:
      items_.SendToAll(WM_TODAYCUSTOM_CLEARCACHE);
      return;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down: {
      if (item == nullptr) break;
      static constexpr std::pair<int, WPARAM> kKeys[] = {{Qt::Key_Left, VK_LEFT},
                                                         {Qt::Key_Right, VK_RIGHT},
                                                         {Qt::Key_Up, VK_UP},
                                                         {Qt::Key_Down, VK_DOWN}};
      WPARAM key = 0;
      for (const auto& [qt, vk] : kKeys) key = qt == event->key() ? vk : key;
      if (SendMessage(item->window, WM_TODAYCUSTOM_USERNAVIGATION, key, 0) != 0) return;
      // Up and Down that the item leaves to the screen move to the item above or below.
      if (key == VK_UP || key == VK_DOWN) {
        const auto at = static_cast<size_t>(item - items.data());
        if (key == VK_UP && at > 0) Select(items[at - 1].window, VK_UP);
        if (key == VK_DOWN && at + 1 < items.size()) Select(items[at + 1].window, VK_DOWN);
      }
      return;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (item == nullptr) break;
      Activate(item->window);
      return;
    case Qt::Key_Menu:
      ShowMenu(mapToGlobal(QPoint(kScreenWidth / 2, item != nullptr ? item->top : 0)), item);
      return;
    default:
      break;
  }
  QWidget::keyPressEvent(event);
}

void TodayScreen::focusInEvent(QFocusEvent* event) {
  // As desktop toolkits show focus: the frame appears once the keyboard brought the focus here or
  // is used (keyPressEvent), not when the window merely opens or is clicked.
  const bool byKeyboard =
      event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
  if (byKeyboard && selected_ == nullptr && !items_.items().empty()) {
    Select(items_.items().front().window, 0);
  }
  QWidget::focusInEvent(event);
}

void TodayScreen::focusOutEvent(QFocusEvent* event) {
  // The context menu takes the focus only for a moment; the selection stays for its actions.
  if (event->reason() != Qt::PopupFocusReason) Select(nullptr, 0);
  QWidget::focusOutEvent(event);
}

void TodayScreen::contextMenuEvent(QContextMenuEvent* event) {
  // The menu key has opened it already (keyPressEvent).
  if (event->reason() == QContextMenuEvent::Keyboard) return;
  ShowMenu(event->globalPos(), items_.ItemAt(event->pos().y()));
}

void TodayScreen::ShowMenu(const QPoint& globalPos, TodayItem* item) {
  QMenu menu(this);
  menu.addAction("Refresh", [this] { items_.SendToAll(WM_TODAYCUSTOM_CLEARCACHE); });
  if (item != nullptr) {
    // The item's own commands, as many as it names.
    const HWND window = item->window;
    for (WPARAM command = 0; command < 8; ++command) {
      wchar_t caption[64] = {};
      TODAYMENUCOMMAND text{caption, static_cast<DWORD>(std::size(caption))};
      if (SendMessage(window, WM_TODAYCUSTOM_GETMENUCOMMAND, command,
                      reinterpret_cast<LPARAM>(&text)) != 1) {
        break;
      }
      menu.addAction(QString::fromWCharArray(caption), [this, window, command] {
        if (IsWindow(window)) {
          SendToItem(
              [window, command] { SendMessage(window, WM_TODAYCUSTOM_MENUCOMMAND, command, 0); });
        }
      });
    }
    const std::wstring name = item->name;
    menu.addAction(QString("Options of %1...").arg(QString::fromStdWString(name)), [this, name] {
      for (TodayItem& candidate : items_.items()) {
        if (candidate.name == name) {
          SendToItem([this, &candidate] { items_.OpenOptions(candidate, screen_); });
          break;
        }
      }
    });
  }
  menu.addAction("Reload items", [this] { ReloadItems(); });
  menu.exec(globalPos);
}

void TodayScreen::Invalidated(HWND window, bool /*erase*/) {
  QMetaObject::invokeMethod(
      this,
      [this, window] {
        for (const TodayItem& item : items_.items()) {
          if (item.window != window || !IsWindow(window)) continue;
          update(QRect(0, item.top, kScreenWidth, item.height));
          // A repaint is when the item's texts may have changed; asked only while a screen
          // reader listens, so the idle host does no more than before.
          bool name = false;
          bool description = false;
          if (!QAccessible::isActive()) {
            speech_.erase(window);
          } else if (speech_.count(window) != 0 && AskSpeech(item, &name, &description)) {
            AnnounceItemText(this, window, name, description);
          }
          if (itemRepaint_) itemRepaint_();
        }
      },
      Qt::QueuedConnection);
}

void TodayScreen::Moved(HWND /*window*/) {
  QMetaObject::invokeMethod(
      this, [this] { update(); }, Qt::QueuedConnection);
}

LRESULT TodayScreen::ScreenProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case TODAYM_GETCOLOR:
      return wParam == TODAYCOLOR_TEXT ? static_cast<LRESULT>(kTextColour) : 0;
    case TODAYM_DRAWWATERMARK: {
      const auto* info = reinterpret_cast<const TODAYDRAWWATERMARKINFO*>(lParam);
      if (info != nullptr && info->hdc != nullptr)
        info->hdc->FillRect(info->rc, Brush{kBackground});
      return 1;
    }
    default:
      return DefWindowProc(window, message, wParam, lParam);
  }
}

}  // namespace cirrodex::host
