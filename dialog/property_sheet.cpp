#include "dialog/property_sheet.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabBar>
#include <QVBoxLayout>
#include <vector>

#include "dialog/dialog_controls.h"
#include "dialog/dialog_units.h"
#include "dialog/property_page.h"

namespace cirrodex {

class PropertySheet::SheetWindow : public QDialog {
 public:
  SheetWindow(PropertySheet* sheet, QWidget* parent) : QDialog(parent), sheet_(sheet) {}

  // Escape and the close box are Cancel.
  void reject() override {
    if (!closing_) {
      closing_ = true;
      sheet_->PressCancel();
      closing_ = false;
    }
  }
  void Finish(int result) { QDialog::done(result); }

 protected:
  // Without a window manager nobody gives a newly shown window the keyboard focus, and an edit
  // that never had it is never left, so Tab would store nothing: the sheet asks for it itself
  // (Qt sets it on the window once the server has mapped it; a window manager may decide).
  void showEvent(QShowEvent* event) override {
    QDialog::showEvent(event);
    if (!event->spontaneous()) activateWindow();
  }

 private:
  PropertySheet* sheet_;
  bool closing_ = false;
};

PropertySheet::PropertySheet(std::wstring caption, QWidget* parent, int startPage)
    : caption_(std::move(caption)), parent_(parent), active_(startPage) {}

PropertySheet::~PropertySheet() {
  // Pages that are members of a derived sheet are gone by now; only pages that outlive the sheet
  // are still listed.
  for (PropertyPage* page : pages_) page->sheet_ = nullptr;
  delete window_.data();
}

void PropertySheet::RemovePage(PropertyPage* page) { std::erase(pages_, page); }

void PropertySheet::AddPage(PropertyPage* page) {
  pages_.push_back(page);
  page->sheet_ = this;
  if (tabs_ != nullptr) {
    const QSignalBlocker blocker(tabs_);
    tabs_->addTab(ToQString(page->Caption()));
  }
}

PropertyPage* PropertySheet::GetPage(int index) const {
  if (index < 0 || index >= GetPageCount()) return nullptr;
  return pages_[static_cast<size_t>(index)];
}

int PropertySheet::GetPageIndex(const PropertyPage* page) const {
  for (size_t i = 0; i < pages_.size(); ++i) {
    if (pages_[i] == page) return static_cast<int>(i);
  }
  return -1;
}

bool PropertySheet::SetActivePage(int index) {
  if (index < 0 || index >= GetPageCount()) return false;
  if (window_ == nullptr) {
    active_ = index;
    return true;
  }
  if (index == active_) return true;
  // As a click on the tab strip does, take the focus first: an edit of the page notices that it
  // is left before the page's values are exchanged.
  tabs_->setFocus(Qt::MouseFocusReason);
  PropertyPage* current = GetActivePage();
  if (current != nullptr && current->IsCreated() && !current->OnKillActive()) return false;
  ShowPage(index);
  return true;
}

bool PropertySheet::SetActivePage(PropertyPage* page) { return SetActivePage(GetPageIndex(page)); }

QDialog* PropertySheet::Create() {
  if (window_ != nullptr) return window_;
  auto* window = new SheetWindow(this, parent_);
  window_ = window;
  window->setWindowTitle(ToQString(caption_));
  window->setFont(DialogFont());

  auto* layout = new QVBoxLayout(window);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  tabs_ = new QTabBar(window);
  tabs_->setUsesScrollButtons(true);
  tabs_->setExpanding(false);
  tabs_->setDrawBase(false);
  tabs_->setFocusPolicy(Qt::StrongFocus);
  for (PropertyPage* page : pages_) tabs_->addTab(ToQString(page->Caption()));
  layout->addWidget(tabs_);

  pageHost_ = new QWidget(window);
  QSize pageSize(0, 0);
  for (PropertyPage* page : pages_) pageSize = pageSize.expandedTo(page->PixelSize());
  pageHost_->setFixedSize(pageSize);
  layout->addWidget(pageHost_);
  // The tab strip is as wide as the pages; it scrolls when the tabs need more room.
  tabs_->setFixedWidth(pageSize.width());

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, window);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
  ok->setObjectName(QString::number(IDOK));
  cancel->setObjectName(QString::number(IDCANCEL));
  ok->setDefault(true);
  QObject::connect(ok, &QPushButton::clicked, window, [this] { PressOk(); });
  QObject::connect(cancel, &QPushButton::clicked, window, [this] { PressCancel(); });
  layout->addWidget(buttons);

  QObject::connect(tabs_, &QTabBar::currentChanged, window,
                   [this](int index) { OnTabChanged(index); });
  if (GetActivePage() == nullptr) active_ = 0;
  if (!pages_.empty()) ShowPage(active_);
  return window_;
}

int PropertySheet::DoModal() {
  Create();
  result_ = IDCANCEL;
  window_->exec();
  return result_;
}

void PropertySheet::ShowPage(int index) {
  PropertyPage* previous = GetActivePage();
  active_ = index;
  PropertyPage* page = GetActivePage();
  {
    const QSignalBlocker blocker(tabs_);
    tabs_->setCurrentIndex(index);
  }
  if (previous != nullptr && previous != page && previous->Window() != nullptr) {
    previous->Window()->hide();
  }
  page->Create(pageHost_);
  page->OnSetActive();
  if (page->Window() != nullptr) page->Window()->show();
}

void PropertySheet::OnTabChanged(int index) {
  if (index == active_) return;
  if (!SetActivePage(index)) {
    const QSignalBlocker blocker(tabs_);
    tabs_->setCurrentIndex(active_);
  }
}

bool PropertySheet::PressOk() {
  PropertyPage* current = GetActivePage();
  if (current != nullptr && current->IsCreated() && !current->OnKillActive()) return false;
  for (PropertyPage* page : pages_) {
    if (page->IsCreated()) page->OnOK();
  }
  result_ = IDOK;
  if (auto* window = static_cast<SheetWindow*>(window_.data())) window->Finish(QDialog::Accepted);
  return true;
}

void PropertySheet::PressCancel() {
  for (PropertyPage* page : pages_) {
    if (page->IsCreated()) page->OnCancel();
  }
  result_ = IDCANCEL;
  if (auto* window = static_cast<SheetWindow*>(window_.data())) window->Finish(QDialog::Rejected);
}

intptr_t PropertySheet::QuerySiblings(PropertyPage* sender, int message, intptr_t param) {
  for (PropertyPage* page : pages_) {
    if (page == sender) continue;
    if (const intptr_t answer = page->OnQuerySiblings(message, param)) return answer;
  }
  return 0;
}

}  // namespace cirrodex
