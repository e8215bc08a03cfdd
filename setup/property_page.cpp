#include "setup/property_page.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QPainter>
#include <utility>
#include <vector>

#include "platform/qt/qt_drawing_context.h"
#include "setup/dialog_units.h"
#include "setup/property_sheet.h"

namespace cirrodex {

// Runs the page's handlers for events of its controls. Disabled before the window's controls are
// destroyed, so no handler runs on a window that is going away.
class PropertyPage::EventHook : public QObject {
 public:
  using QObject::QObject;

  void Add(QObject* target, QEvent::Type type, std::function<void()> handler) {
    target->installEventFilter(this);
    entries_.push_back(Entry{target, type, std::move(handler)});
  }
  void Disable() { enabled_ = false; }

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

class PropertyPage::PageWindow : public QWidget {
 public:
  PageWindow(PropertyPage* page, QWidget* parent) : QWidget(parent), page_(page) {}
  ~PageWindow() override {
    if (page_->hook_ != nullptr) page_->hook_->Disable();
    page_->hook_ = nullptr;
  }

 protected:
  void paintEvent(QPaintEvent* /*event*/) override { page_->Paint(this); }

 private:
  PropertyPage* page_;
};

PropertyPage::PropertyPage(const DialogTemplate& dialogTemplate) : template_(dialogTemplate) {}

PropertyPage::~PropertyPage() { DestroyWindow(); }

QSize PropertyPage::PixelSize() const {
  return MapDialogRect(0, 0, template_.cx, template_.cy).size();
}

bool PropertyPage::Create(QWidget* parent) {
  if (window_ != nullptr) return false;
  auto* window = new PageWindow(this, parent);
  window->setObjectName(QString::number(template_.id));
  window->setFixedSize(PixelSize());
  // Pages are white, as on the handheld; drawings use the matching text colour.
  QPalette palette = window->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Base));
  palette.setColor(QPalette::WindowText, palette.color(QPalette::Text));
  window->setPalette(palette);
  window->setAutoFillBackground(true);
  CreateControls(window, template_);
  window_ = window;
  hook_ = new EventHook(window);
  MapMessages();
  OnInitDialog();
  return true;
}

void PropertyPage::DestroyWindow() {
  if (hook_ != nullptr) hook_->Disable();
  delete window_.data();
  window_ = nullptr;
  hook_ = nullptr;
}

bool PropertyPage::UpdateData(Exchange direction) {
  if (window_ == nullptr) return false;
  DataExchange dx(window_, direction);
  DoDataExchange(dx);
  return true;
}

void PropertyPage::Invalidate() {
  if (window_ != nullptr) window_->update();
}

bool PropertyPage::OnSetActive() { return true; }
bool PropertyPage::OnKillActive() { return UpdateData(Exchange::FromControls); }
void PropertyPage::OnOK() {}
void PropertyPage::OnCancel() {}
intptr_t PropertyPage::OnQuerySiblings(int /*message*/, intptr_t /*param*/) { return 0; }

bool PropertyPage::OnInitDialog() {
  UpdateData(Exchange::ToControls);
  return true;
}

void PropertyPage::DoDataExchange(DataExchange& /*dx*/) {}
void PropertyPage::MapMessages() {}
void PropertyPage::OnPaint(platform::DrawingContext& /*dc*/) {}

void PropertyPage::OnClicked(int id, std::function<void()> handler) {
  if (auto* button = DialogItemAs<QAbstractButton>(window_, id)) {
    QObject::connect(button, &QAbstractButton::clicked, hook_,
                     [handler = std::move(handler)] { handler(); });
  }
}

void PropertyPage::OnSelChange(int id, std::function<void()> handler) {
  if (auto* combo = DialogItemAs<QComboBox>(window_, id)) {
    QObject::connect(combo, &QComboBox::activated, hook_,
                     [handler = std::move(handler)](int) { handler(); });
  }
}

void PropertyPage::OnFocus(int id, std::function<void()> gained, std::function<void()> lost) {
  QWidget* control = GetDlgItem(id);
  if (control == nullptr) return;
  if (gained) hook_->Add(control, QEvent::FocusIn, std::move(gained));
  if (lost) hook_->Add(control, QEvent::FocusOut, std::move(lost));
}

void PropertyPage::OnControlPaint(int id, std::function<void()> handler) {
  if (QWidget* control = GetDlgItem(id)) hook_->Add(control, QEvent::Paint, std::move(handler));
}

intptr_t PropertyPage::QuerySiblings(int message, intptr_t param) {
  return sheet_ != nullptr ? sheet_->QuerySiblings(this, message, param) : 0;
}

void PropertyPage::Paint(QWidget* window) {
  QPainter painter(window);
  platform::QtDrawingContext dc(painter);
  const QColor text = window->palette().color(QPalette::WindowText);
  dc.SetTextColor(platform::Rgb(static_cast<uint8_t>(text.red()),
                                static_cast<uint8_t>(text.green()),
                                static_cast<uint8_t>(text.blue())));
  dc.SetBkMode(platform::BackgroundMode::Transparent);
  OnPaint(dc);
}

}  // namespace cirrodex
