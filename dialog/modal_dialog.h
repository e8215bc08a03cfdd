// A modal dialog on a dialog template: its buttons IDOK and IDCANCEL, Escape and the close box
// end it.
#pragma once

#include "dialog/dialog_base.h"

namespace cirrodex {

class ModalDialog : public DialogBase {
 public:
  // `parent` (not owned) may be null.
  ModalDialog(const DialogTemplate& dialogTemplate, QWidget* parent);
  ~ModalDialog() override;

  // Creates the window, runs it modally and returns IDOK or IDCANCEL. The window is destroyed
  // before it returns; the fields keep what the dialog left in them.
  int DoModal();

  // Creates the window (running OnInitDialog) without a modal loop; for tests, which then end
  // it with OnOK, OnCancel or EndDialog. False when it exists already.
  bool Create();
  // Closes the window with `result`; DoModal returns it.
  void EndDialog(int result);
  int Result() const { return result_; }

  // The IDOK button: exchanges data from the controls and ends the dialog with IDOK.
  virtual void OnOK();
  // The IDCANCEL button, Escape and the close box: ends the dialog with IDCANCEL.
  virtual void OnCancel();

 private:
  class DialogWindow;

  QWidget* parent_;
  int result_ = IDCANCEL;
};

}  // namespace cirrodex
