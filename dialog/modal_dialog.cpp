#include "dialog/modal_dialog.h"

#include <QDialog>

namespace cirrodex {

class ModalDialog::DialogWindow : public QDialog {
 public:
  DialogWindow(ModalDialog* owner, QWidget* parent) : QDialog(parent), owner_(owner) {}
  ~DialogWindow() override { owner_->Detach(); }

  void accept() override { owner_->OnOK(); }
  void reject() override { owner_->OnCancel(); }
  void Finish(int result) { QDialog::done(result); }

 protected:
  void paintEvent(QPaintEvent* /*event*/) override { owner_->Paint(this); }

 private:
  ModalDialog* owner_;
};

ModalDialog::ModalDialog(const DialogTemplate& dialogTemplate, QWidget* parent)
    : DialogBase(dialogTemplate), parent_(parent) {}

ModalDialog::~ModalDialog() { DestroyWindow(); }

bool ModalDialog::Create() {
  if (IsCreated()) return false;
  auto* window = new DialogWindow(this, parent_);
  window->setObjectName(QString::number(Template().id));
  window->setWindowTitle(ToQString(Caption()));
  result_ = IDCANCEL;
  Attach(window);
  OnClicked(IDOK, [this] { OnOK(); });
  OnClicked(IDCANCEL, [this] { OnCancel(); });
  return true;
}

int ModalDialog::DoModal() {
  if (!Create()) return IDCANCEL;
  static_cast<QDialog*>(Window())->exec();
  const int result = result_;
  DestroyWindow();
  return result;
}

void ModalDialog::EndDialog(int result) {
  result_ = result;
  if (auto* window = static_cast<DialogWindow*>(Window())) window->Finish(result == IDOK);
}

void ModalDialog::OnOK() {
  UpdateData(Exchange::FromControls);
  EndDialog(IDOK);
}

void ModalDialog::OnCancel() { EndDialog(IDCANCEL); }

}  // namespace cirrodex
