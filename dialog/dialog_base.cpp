#include "dialog/dialog_base.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QPainter>
#include <utility>
#include <vector>

#include "dialog/dialog_units.h"
#include "platform/qt/qt_drawing_context.h"
#include "platform/text_tee.h"

namespace cirrodex {

// Runs the handlers for events of the controls. Disabled before the window's controls are
// destroyed, so no handler runs on a window that is going away.
class DialogBase::EventHook : public QObject {
 public:
  using QObject::QObject;

  void Add(QObject* target, QEvent::Type type, std::function<void()> handler) {
    target->installEventFilter(this);
    entries_.push_back(Entry{target, type, std::move(handler)});
  }
  void Disable() { enabled_ = false; }
  bool enabled() const { return enabled_; }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!enabled_) return false;
    if (event->type() == QEvent::FocusOut) {
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason) return false;
    }
    // Copied: a handler may add entries or destroy the window.
    std::vector<std::function<void()>> handlers;
    for (const Entry& entry : entries_) {
      if (entry.target == watched && entry.type == event->type()) handlers.push_back(entry.handler);
    }
    for (const auto& handler : handlers) {
      if (!enabled_) break;
      handler();
    }
    return false;
  }

 private:
  struct Entry {
    QObject* target;
    QEvent::Type type;
    std::function<void()> handler;
  };
  std::vector<Entry> entries_;
  bool enabled_ = true;
};

DialogBase::DialogBase(const DialogTemplate& dialogTemplate) : template_(dialogTemplate) {}

DialogBase::~DialogBase() { DestroyWindow(); }

QSize DialogBase::PixelSize() const {
  return MapDialogRect(0, 0, template_.cx, template_.cy).size();
}

void DialogBase::Attach(QWidget* window) {
  window->setFixedSize(PixelSize());
  CreateControls(window, template_);
  window_ = window;
  hook_ = new EventHook(window);
  MapMessages();
  OnInitDialog();
}

void DialogBase::Detach() {
  if (hook_ != nullptr) hook_->Disable();
  hook_ = nullptr;
}

void DialogBase::DestroyWindow() {
  Detach();
  delete window_.data();
  window_ = nullptr;
}

bool DialogBase::UpdateData(Exchange direction) {
  if (window_ == nullptr) return false;
  DataExchange dx(window_, direction);
  DoDataExchange(dx);
  return true;
}

void DialogBase::Invalidate() {
  if (window_ != nullptr) window_->update();
}

bool DialogBase::OnInitDialog() {
  UpdateData(Exchange::ToControls);
  return true;
}

void DialogBase::DoDataExchange(DataExchange& /*dx*/) {}
void DialogBase::MapMessages() {}
void DialogBase::OnPaint(platform::DrawingContext& /*dc*/) {}

std::wstring DialogBase::DescribePaint(const std::vector<std::wstring>& drawn) {
  std::wstring text;
  for (const std::wstring& line : drawn) {
    if (!text.empty()) text += L'\n';
    text += line;
  }
  return text;
}

void DialogBase::OnClicked(int id, std::function<void()> handler) {
  auto* button = DialogItemAs<QAbstractButton>(window_, id);
  if (button == nullptr || hook_ == nullptr) return;
  EventHook* hook = hook_;
  QObject::connect(button, &QAbstractButton::clicked, hook, [hook, handler = std::move(handler)] {
    if (hook->enabled()) handler();
  });
}

void DialogBase::OnSelChange(int id, std::function<void()> handler) {
  auto* combo = DialogItemAs<QComboBox>(window_, id);
  if (combo == nullptr || hook_ == nullptr) return;
  EventHook* hook = hook_;
  QObject::connect(combo, &QComboBox::activated, hook, [hook, handler = std::move(handler)](int) {
    if (hook->enabled()) handler();
  });
}

void DialogBase::OnFocus(int id, std::function<void()> gained, std::function<void()> lost) {
  QWidget* control = GetDlgItem(id);
  if (control == nullptr || hook_ == nullptr) return;
  if (gained) hook_->Add(control, QEvent::FocusIn, std::move(gained));
  if (lost) hook_->Add(control, QEvent::FocusOut, std::move(lost));
}

void DialogBase::OnControlPaint(int id, std::function<void()> handler) {
  QWidget* control = GetDlgItem(id);
  if (control != nullptr && hook_ != nullptr) {
    hook_->Add(control, QEvent::Paint, std::move(handler));
  }
}

void DialogBase::Paint(QWidget* window) {
  QPainter painter(window);
  platform::QtDrawingContext dc(painter);
  const QColor text = window->palette().color(QPalette::WindowText);
  dc.SetTextColor(platform::Rgb(static_cast<uint8_t>(text.red()),
                                static_cast<uint8_t>(text.green()),
                                static_cast<uint8_t>(text.blue())));
  dc.SetBkMode(platform::BackgroundMode::Transparent);
  // The paint that shows the page is the one that describes it, so the two never differ.
  platform::TextTee tee(dc);
  OnPaint(tee);
  const QString description = ToQString(DescribePaint(tee.texts()));
  if (window->accessibleDescription() != description) window->setAccessibleDescription(description);
}

}  // namespace cirrodex
