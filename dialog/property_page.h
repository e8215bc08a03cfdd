// A property page: one dialog template shown as one tab of a PropertySheet. The page object is
// built with the sheet; its window is created the first time the page is shown, and only then
// does OnInitDialog run.
#pragma once

#include <cstdint>

#include "dialog/dialog_base.h"

namespace cirrodex {

class PropertySheet;

class PropertyPage : public DialogBase {
 public:
  explicit PropertyPage(const DialogTemplate& dialogTemplate);
  ~PropertyPage() override;

  PropertySheet* Sheet() const { return sheet_; }

  // Creates the window in `parent` (white, as the handheld's pages are) and runs OnInitDialog.
  // False (doing nothing) when the window exists already.
  bool Create(QWidget* parent);

  // From the sheet. OnSetActive runs each time the page becomes the active page; OnKillActive
  // when it stops being it or the sheet is confirmed (by default it exchanges data from the
  // controls; false keeps the page active). OnOK and OnCancel run for created pages when the sheet
  // closes.
  virtual bool OnSetActive();
  virtual bool OnKillActive();
  virtual void OnOK();
  virtual void OnCancel();
  // A message that another page of the same sheet sent with QuerySiblings. Nonzero ends the round.
  virtual intptr_t OnQuerySiblings(int message, intptr_t param);

 protected:
  // Sends `message` to every other page of the sheet (created or not) in tab order until one
  // answers nonzero; that answer, or 0. Without a sheet, 0.
  intptr_t QuerySiblings(int message, intptr_t param);

 private:
  friend class PropertySheet;
  class PageWindow;

  PropertySheet* sheet_ = nullptr;
};

}  // namespace cirrodex
