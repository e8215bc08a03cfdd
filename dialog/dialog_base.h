// What pages and modal dialogs share: a window built from a dialog template, created when it is
// first needed, the data exchange between its controls and the object's fields, the handlers of
// its controls and painting through the drawing context.
#pragma once

#include <QPointer>
#include <QSize>
#include <QWidget>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "dialog/dialog_controls.h"
#include "dialog/dialog_template.h"
#include "platform/drawing_context.h"

namespace cirrodex {

class DialogBase {
 public:
  // `dialogTemplate` must outlive the object (templates are static tables).
  explicit DialogBase(const DialogTemplate& dialogTemplate);
  virtual ~DialogBase();
  DialogBase(const DialogBase&) = delete;
  DialogBase& operator=(const DialogBase&) = delete;

  const DialogTemplate& Template() const { return template_; }
  std::wstring_view Caption() const { return template_.caption; }
  // The template's size in pixels.
  QSize PixelSize() const;

  // Whether the window exists.
  bool IsCreated() const { return window_ != nullptr; }
  // Null until the window is created.
  QWidget* Window() const { return window_; }

  // Destroys the window without running any handler; the object and its fields stay.
  void DestroyWindow();

  // Exchanges data between the controls and the fields; false when the window does not exist.
  bool UpdateData(Exchange direction = Exchange::FromControls);
  QWidget* GetDlgItem(int id) const { return DialogItem(window_, id); }
  void SetDlgItemText(int id, std::wstring_view text) { SetItemText(window_, id, text); }
  // Repaints the whole window (the background is always erased here).
  void Invalidate();

 protected:
  // Takes `window` (a fresh widget whose paint events call Paint) as the object's window: gives
  // it the template's size and controls, connects the handlers (MapMessages) and runs
  // OnInitDialog.
  void Attach(QWidget* window);
  // The window's paint event.
  void Paint(QWidget* window);
  // The window is going away: no handler runs from here on.
  void Detach();

  // After the controls exist. By default exchanges data to the controls; returns true.
  virtual bool OnInitDialog();
  virtual void DoDataExchange(DataExchange& dx);
  // Connects control notifications to handlers; runs as the window is created.
  virtual void MapMessages();
  // Paints the window. `dc` draws in the window's default text colour with a transparent
  // background.
  virtual void OnPaint(platform::DrawingContext& dc);
  // What a screen reader is told the window shows (its accessible description), from the texts
  // and notes of the paint just drawn, in order. By default those texts one to a line; nothing
  // drawn says nothing.
  virtual std::wstring DescribePaint(const std::vector<std::wstring>& drawn);

  // For MapMessages.
  void OnClicked(int id, std::function<void()> handler);
  // The user picked an item of the combo box (not a change made by the program).
  void OnSelChange(int id, std::function<void()> handler);
  // The control gained or lost the keyboard focus. Focus taken by a popup menu or by another
  // window does not count as leaving.
  void OnFocus(int id, std::function<void()> gained, std::function<void()> lost);
  // Each time the control paints, before it draws (the platform's custom-draw notification).
  void OnControlPaint(int id, std::function<void()> handler);

 private:
  class EventHook;

  const DialogTemplate& template_;
  QPointer<QWidget> window_;
  EventHook* hook_ = nullptr;  // owned by the window
};

}  // namespace cirrodex
