// A property sheet: a dialog with a tab per page, OK and Cancel. Page windows are created when a
// page is first shown; OK gives every created page its OK handling.
#pragma once

#include <QDialog>
#include <QPointer>
#include <cstdint>
#include <string>
#include <vector>

class QTabBar;

namespace cirrodex {

class PropertyPage;

class PropertySheet {
 public:
  // `startPage` is the index of the page shown first (the tab order of AddPage).
  PropertySheet(std::wstring caption, QWidget* parent = nullptr, int startPage = 0);
  virtual ~PropertySheet();
  PropertySheet(const PropertySheet&) = delete;
  PropertySheet& operator=(const PropertySheet&) = delete;

  // Appends a tab for `page` (not owned; it must outlive the sheet's window).
  void AddPage(PropertyPage* page);
  int GetPageCount() const { return static_cast<int>(pages_.size()); }
  PropertyPage* GetPage(int index) const;
  // -1 when the page is not in the sheet.
  int GetPageIndex(const PropertyPage* page) const;

  // Before the window exists this picks the page shown first; afterwards it switches to the page
  // as a tab click would. False for an index out of range, or when the active page refuses to be
  // left.
  bool SetActivePage(int index);
  bool SetActivePage(PropertyPage* page);
  PropertyPage* GetActivePage() const { return GetPage(active_); }
  int GetActiveIndex() const { return active_; }

  const std::wstring& Caption() const { return caption_; }

  // Shows the sheet modally; returns IDOK or IDCANCEL when the user has closed it.
  int DoModal();
  // Creates the sheet's window, with the active page created, and returns it without showing it
  // or running a modal loop (tests and measurements show it themselves). Returns the existing
  // window on later calls.
  QDialog* Create();
  QDialog* Window() const { return window_; }

  // The OK button: the active page is left (it may refuse, and the sheet stays open), then every
  // created page gets OnOK in tab order and the window closes. True when the sheet closed.
  bool PressOk();
  // The Cancel button and the window's close box: every created page gets OnCancel.
  void PressCancel();

  // Sends `message` to every page but `sender` in tab order until one answers nonzero.
  intptr_t QuerySiblings(PropertyPage* sender, int message, intptr_t param);

 private:
  friend class PropertyPage;
  class SheetWindow;

  // A page that is being destroyed leaves the sheet.
  void RemovePage(PropertyPage* page);

  void ShowPage(int index);
  void OnTabChanged(int index);

  std::wstring caption_;
  QWidget* parent_;
  std::vector<PropertyPage*> pages_;
  int active_;
  QPointer<QDialog> window_;
  QTabBar* tabs_ = nullptr;
  QWidget* pageHost_ = nullptr;
  int result_ = 0;
};

}  // namespace cirrodex
