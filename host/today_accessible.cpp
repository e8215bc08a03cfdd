#include "host/today_accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWindow>
#include <map>

#include "host/today_screen.h"

namespace cirrodex::host {

using platform::HWND;

namespace {

// An item is known by its window: a reload gives new windows, and the objects of the old ones
// then report themselves invalid until they are dropped.
class ItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  ItemAccessible(TodayScreen* screen, HWND window) : screen_(screen), window_(window) {}

  bool isValid() const override { return Item() != nullptr; }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return screen_->window()->windowHandle(); }
  QAccessibleInterface* parent() const override {
    return QAccessible::queryAccessibleInterface(screen_);
  }
  QAccessibleInterface* child(int /*index*/) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface* /*child*/) const override { return -1; }
  QAccessibleInterface* childAt(int /*x*/, int /*y*/) const override { return nullptr; }

  QString text(QAccessible::Text kind) const override {
    TodayItem* item = Item();
    if (item == nullptr) return {};
    const ItemSpeech& speech = screen_->Speech(*item);
    if (kind == QAccessible::Name) return QString::fromStdWString(speech.name);
    if (kind == QAccessible::Description) return QString::fromStdWString(speech.description);
    return {};
  }
  void setText(QAccessible::Text /*kind*/, const QString& /*text*/) override {}

  QRect rect() const override {
    TodayItem* item = Item();
    if (item == nullptr) return {};
    return QRect(screen_->mapToGlobal(QPoint(0, item->top)), QSize(kScreenWidth, item->height));
  }
  QAccessible::Role role() const override { return QAccessible::Button; }
  QAccessible::State state() const override {
    QAccessible::State state;
    state.focusable = true;
    state.focused = screen_->hasFocus() && screen_->SelectedWindow() == window_;
    state.invisible = Item() == nullptr;
    return state;
  }

  void* interface_cast(QAccessible::InterfaceType type) override {
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                : nullptr;
  }
  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& name) override {
    if (name == pressAction() && isValid()) screen_->Activate(window_);
  }
  QStringList keyBindingsForAction(const QString& /*name*/) const override { return {}; }

  HWND handle() const { return window_; }

 private:
  TodayItem* Item() const {
    for (TodayItem& item : screen_->items().items()) {
      if (item.window == window_ && platform::IsWindow(window_)) return &item;
    }
    return nullptr;
  }

  TodayScreen* screen_;
  HWND window_;
};

// Registered objects by window; Qt owns them once registered.
std::map<HWND, QAccessible::Id>& Registered() {
  static std::map<HWND, QAccessible::Id> ids;
  return ids;
}

QAccessibleInterface* ItemInterface(TodayScreen* screen, HWND window) {
  auto& ids = Registered();
  auto it = ids.find(window);
  if (it != ids.end()) return QAccessible::accessibleInterface(it->second);
  auto* item = new ItemAccessible(screen, window);
  ids[window] = QAccessible::registerAccessibleInterface(item);
  return item;
}

class ScreenAccessible : public QAccessibleWidget {
 public:
  explicit ScreenAccessible(TodayScreen* screen)
      : QAccessibleWidget(screen, QAccessible::Client, "Today"), screen_(screen) {}

  int childCount() const override { return static_cast<int>(screen_->items().items().size()); }
  QAccessibleInterface* child(int index) const override {
    auto& items = screen_->items().items();
    if (index < 0 || index >= static_cast<int>(items.size())) return nullptr;
    return ItemInterface(screen_, items[static_cast<size_t>(index)].window);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    const auto& items = screen_->items().items();
    for (size_t i = 0; i < items.size(); ++i) {
      if (ItemInterface(screen_, items[i].window) == child) return static_cast<int>(i);
    }
    return -1;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    const QPoint local = screen_->mapFromGlobal(QPoint(x, y));
    if (!screen_->rect().contains(local)) return nullptr;
    TodayItem* item = screen_->items().ItemAt(local.y());
    return item != nullptr ? ItemInterface(screen_, item->window) : nullptr;
  }
  QAccessibleInterface* focusChild() const override {
    const HWND selected = screen_->SelectedWindow();
    if (!screen_->hasFocus() || selected == nullptr) return QAccessibleWidget::focusChild();
    return ItemInterface(screen_, selected);
  }

 private:
  TodayScreen* screen_;
};

QAccessibleInterface* Factory(const QString& /*className*/, QObject* object) {
  if (auto* screen = dynamic_cast<TodayScreen*>(object)) return new ScreenAccessible(screen);
  return nullptr;
}

}  // namespace

void InstallTodayAccessibility() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QAccessible::installFactory(Factory);
}

void AnnounceItemFocus(TodayScreen* screen, HWND window) {
  if (!QAccessible::isActive() || window == nullptr) return;
  QAccessibleEvent event(ItemInterface(screen, window), QAccessible::Focus);
  QAccessible::updateAccessibility(&event);
}

void AnnounceItemText(TodayScreen* screen, HWND window, bool name, bool description) {
  if (!QAccessible::isActive()) return;
  QAccessibleInterface* item = ItemInterface(screen, window);
  if (name) {
    QAccessibleEvent event(item, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
  }
  if (description) {
    QAccessibleEvent event(item, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
  }
}

void ForgetGoneItems(TodayScreen* screen) {
  auto& ids = Registered();
  for (auto it = ids.begin(); it != ids.end();) {
    bool live = false;
    for (const TodayItem& item : screen->items().items()) live |= item.window == it->first;
    if (live) {
      ++it;
    } else {
      QAccessible::deleteAccessibleInterface(it->second);
      it = ids.erase(it);
    }
  }
}

}  // namespace cirrodex::host
