// The controls of a dialog template on Qt Widgets, addressed by their numeric ids (each control's
// object name is its id), and the data exchange between controls and a page's fields.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <string>
#include <string_view>

#include "dialog/dialog_template.h"

namespace cirrodex {

inline QString ToQString(std::wstring_view text) {
  return QString::fromWCharArray(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::wstring FromQString(const QString& text) { return text.toStdWString(); }

// Creates the controls of `dialogTemplate` as children of `dialog`, in template order, in the
// dialog font at their template positions. Combo boxes get their template lists.
void CreateControls(QWidget* dialog, const DialogTemplate& dialogTemplate);

// The child of `dialog` with the id; null when there is none (or the id is kNoControlId).
QWidget* DialogItem(const QWidget* dialog, int id);
template <class T>
T* DialogItemAs(const QWidget* dialog, int id) {
  return qobject_cast<T*>(DialogItem(dialog, id));
}

// The text of a label, button, edit or combo box's current item; empty for other controls.
std::wstring ItemText(const QWidget* dialog, int id);
void SetItemText(QWidget* dialog, int id, std::wstring_view text);

// One data exchange: either the controls' values move into the fields (from controls) or the
// fields' values into the controls (to controls).
enum class Exchange { ToControls, FromControls };

class DataExchange {
 public:
  DataExchange(QWidget* dialog, Exchange direction) : dialog_(dialog), direction_(direction) {}
  bool FromControls() const { return direction_ == Exchange::FromControls; }
  QWidget* dialog() const { return dialog_; }

 private:
  QWidget* dialog_;
  Exchange direction_;
};

// An edit's or label's text. A missing control leaves the field as it is.
void ExchangeText(DataExchange& dx, int id, std::wstring& value);
// A check box: checked is true.
void ExchangeCheck(DataExchange& dx, int id, bool& value);
// The radio group starting at `firstId`: from the controls, the index of the checked button in
// template order, -1 when none is; to the controls, the button at `value` is checked and every
// other one cleared (an index outside the group clears them all).
void ExchangeRadio(DataExchange& dx, int firstId, int32_t& value);
// Binds a control object to the control of that id (null when missing or of another kind).
template <class T>
void ExchangeControl(DataExchange& dx, int id, T*& control) {
  control = DialogItemAs<T>(dx.dialog(), id);
}

}  // namespace cirrodex
