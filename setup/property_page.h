// A property page: one dialog template shown as one tab of a PropertySheet. The page object is
// built with the sheet; its window is created the first time the page is shown, and only then
// does OnInitDialog run.
#pragma once

#include <QPointer>
#include <QSize>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "platform/drawing_context.h"
#include "setup/dialog_controls.h"
#include "setup/dialog_template.h"

namespace cirrodex {

class PropertySheet;

class PropertyPage {
 public:
  // `dialogTemplate` must outlive the page (templates are static tables).
  explicit PropertyPage(const DialogTemplate& dialogTemplate);
  virtual ~PropertyPage();
  PropertyPage(const PropertyPage&) = delete;
  PropertyPage& operator=(const PropertyPage&) = delete;

  const DialogTemplate& Template() const { return template_; }
  // The template's caption: the page's tab text.
  std::wstring_view Caption() const { return template_.caption; }
  // The template's size in pixels.
  QSize PixelSize() const;

  // Whether the window exists, i.e. the page has been shown.
  bool IsCreated() const { return window_ != nullptr; }
  // Null until the page has been shown.
  QWidget* Window() const { return window_; }
  PropertySheet* Sheet() const { return sheet_; }

  // Creates the window in `parent` with the template's controls, connects the page's handlers
  // and runs OnInitDialog. False (doing nothing) when the window exists already.
  bool Create(QWidget* parent);
  // Destroys the window without running any handler; the page object and its fields stay.
  void DestroyWindow();

  // Exchanges data between the controls and the fields; false when the window does not exist.
  bool UpdateData(Exchange direction = Exchange::FromControls);
  QWidget* GetDlgItem(int id) const { return DialogItem(window_, id); }
  void SetDlgItemText(int id, std::wstring_view text) { SetItemText(window_, id, text); }
  // Repaints the whole page (the background is always erased here).
  void Invalidate();

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
  // After the controls exist. By default exchanges data to the controls; returns true.
  virtual bool OnInitDialog();
  virtual void DoDataExchange(DataExchange& dx);
  // Connects control notifications to the page's handlers; runs as the window is created.
  virtual void MapMessages();
  // Paints the page. `dc` draws in the page's default text colour with a transparent background.
  virtual void OnPaint(platform::DrawingContext& dc);

  // For MapMessages.
  void OnClicked(int id, std::function<void()> handler);
  // The user picked an item of the combo box (not a change made by the program).
  void OnSelChange(int id, std::function<void()> handler);
  // The control gained or lost the keyboard focus. Focus taken by a popup menu or by another
  // window does not count as leaving.
  void OnFocus(int id, std::function<void()> gained, std::function<void()> lost);
  // Each time the control paints, before it draws (the platform's custom-draw notification).
  void OnControlPaint(int id, std::function<void()> handler);

  // Sends `message` to every other page of the sheet (created or not) in tab order until one
  // answers nonzero; that answer, or 0. Without a sheet, 0.
  intptr_t QuerySiblings(int message, intptr_t param);

 private:
  friend class PropertySheet;
  class PageWindow;
  class EventHook;

  void Paint(QWidget* window);

  const DialogTemplate& template_;
  QPointer<QWidget> window_;
  EventHook* hook_ = nullptr;  // owned by the window
  PropertySheet* sheet_ = nullptr;
};

}  // namespace cirrodex
