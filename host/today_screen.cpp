#include "host/today_screen.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTextOption>
#include <cstdio>

#include "platform/clock.h"
#include "platform/qt/qt_drawing_context.h"

namespace cirrodex::host {

using namespace platform;

namespace {

// The watermark behind the items and the dark text the items are asked to use. The watermark is
// white because icons and maps are copied opaque and carry a white background of their own.
constexpr Color kBackground = Rgb(0xFF, 0xFF, 0xFF);
constexpr Color kDateBand = Rgb(0xDD, 0xE6, 0xF2);
constexpr Color kTextColour = Rgb(0x1A, 0x22, 0x30);

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
  items_.Unload();  // the workers are stopped before the host stops listening to them
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
  items_.Unload();
  items_.Load(screen_, kDateLineHeight);
  update();
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
  if (event->key() == Qt::Key_F5) {
    items_.SendToAll(WM_TODAYCUSTOM_CLEARCACHE);
    return;
  }
  QWidget::keyPressEvent(event);
}

void TodayScreen::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction("Refresh", [this] { items_.SendToAll(WM_TODAYCUSTOM_CLEARCACHE); });
  if (TodayItem* item = items_.ItemAt(event->pos().y())) {
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
  menu.exec(event->globalPos());
}

void TodayScreen::Invalidated(HWND window, bool /*erase*/) {
  QMetaObject::invokeMethod(
      this,
      [this, window] {
        for (const TodayItem& item : items_.items()) {
          if (item.window == window && IsWindow(window)) {
            update(QRect(0, item.top, kScreenWidth, item.height));
          }
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
