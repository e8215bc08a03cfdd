#include "dialog/property_page.h"

#include <QPalette>

#include "dialog/property_sheet.h"

namespace cirrodex {

class PropertyPage::PageWindow : public QWidget {
 public:
  PageWindow(PropertyPage* page, QWidget* parent) : QWidget(parent), page_(page) {}
  ~PageWindow() override { page_->Detach(); }

 protected:
  void paintEvent(QPaintEvent* /*event*/) override { page_->Paint(this); }

 private:
  PropertyPage* page_;
};

PropertyPage::PropertyPage(const DialogTemplate& dialogTemplate) : DialogBase(dialogTemplate) {}

PropertyPage::~PropertyPage() {
  DestroyWindow();
  if (sheet_ != nullptr) sheet_->RemovePage(this);
}

bool PropertyPage::Create(QWidget* parent) {
  if (IsCreated()) return false;
  auto* window = new PageWindow(this, parent);
  window->setObjectName(QString::number(Template().id));
  window->setAccessibleName(ToQString(Caption()));
  QPalette palette = window->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Base));
  palette.setColor(QPalette::WindowText, palette.color(QPalette::Text));
  window->setPalette(palette);
  window->setAutoFillBackground(true);
  Attach(window);
  return true;
}

bool PropertyPage::OnSetActive() { return true; }
bool PropertyPage::OnKillActive() { return UpdateData(Exchange::FromControls); }
void PropertyPage::OnOK() {}
void PropertyPage::OnCancel() {}
intptr_t PropertyPage::OnQuerySiblings(int /*message*/, intptr_t /*param*/) { return 0; }

intptr_t PropertyPage::QuerySiblings(int message, intptr_t param) {
  return sheet_ != nullptr ? sheet_->QuerySiblings(this, message, param) : 0;
}

}  // namespace cirrodex
