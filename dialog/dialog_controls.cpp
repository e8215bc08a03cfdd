#include "dialog/dialog_controls.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QValidator>
#include <climits>
#include <vector>

#include "dialog/dialog_units.h"

namespace cirrodex {

namespace {

// The id of the radio group a button belongs to, kept on the button.
constexpr char kRadioGroupProperty[] = "cirrodexRadioGroup";

// The edit style that turns typed letters into capitals.
class UppercaseValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& /*position*/) const override {
    input = input.toUpper();
    return Acceptable;
  }
};

QWidget* MakeControl(QWidget* dialog, const ControlTemplate& control) {
  const QString text = ToQString(control.text);
  switch (control.kind) {
    case ControlKind::Static: {
      auto* label = new QLabel(dialog);
      label->setTextFormat(Qt::PlainText);  // texts such as "<CityCode>" are not markup
      label->setWordWrap(true);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      label->setText(text);
      return label;
    }
    case ControlKind::GroupBox:
      return new QGroupBox(text, dialog);
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton: {
      auto* button = new QPushButton(text, dialog);
      button->setAutoDefault(false);
      button->setDefault(control.kind == ControlKind::DefaultPushButton);
      return button;
    }
    case ControlKind::RadioButton:
      return new QRadioButton(text, dialog);
    case ControlKind::CheckBox: {
      auto* box = new QCheckBox(text, dialog);
      if (control.style & kTextOnLeft) box->setLayoutDirection(Qt::RightToLeft);
      return box;
    }
    case ControlKind::Edit: {
      auto* edit = new QLineEdit(text, dialog);
      edit->setFrame((control.style & kBorder) != 0);
      if (control.style & kUppercase) edit->setValidator(new UppercaseValidator(edit));
      return edit;
    }
    case ControlKind::ComboBox: {
      auto* combo = new QComboBox(dialog);
      for (std::wstring_view item : control.items) combo->addItem(ToQString(item));
      combo->setCurrentIndex(-1);
      return combo;
    }
    case ControlKind::Slider: {
      auto* slider = new QSlider(Qt::Horizontal, dialog);
      slider->setTickPosition(QSlider::NoTicks);
      return slider;
    }
  }
  return nullptr;
}

std::vector<QRadioButton*> RadioGroup(const QWidget* dialog, int firstId) {
  std::vector<QRadioButton*> group;
  for (QObject* child : dialog->children()) {
    auto* radio = qobject_cast<QRadioButton*>(child);
    if (radio != nullptr && radio->property(kRadioGroupProperty).toInt() == firstId) {
      group.push_back(radio);
    }
  }
  return group;
}

bool TakesInput(ControlKind kind) {
  return kind == ControlKind::Edit || kind == ControlKind::ComboBox || kind == ControlKind::Slider;
}

// The label that names an input control, as a reader of the page would pair them: the nearest
// static text on its left in the same row, or else the nearest one just above it. Null when none.
QLabel* NearestLabel(const std::vector<std::pair<const ControlTemplate*, QWidget*>>& made,
                     const ControlTemplate& control) {
  QLabel* best = nullptr;
  int bestDistance = INT_MAX;
  for (const auto& [candidate, widget] : made) {
    auto* label = qobject_cast<QLabel*>(widget);
    if (label == nullptr || candidate->kind != ControlKind::Static) continue;
    const bool sameRow =
        candidate->y < control.y + control.cy && control.y < candidate->y + candidate->cy;
    const bool overlapsAcross =
        candidate->x < control.x + control.cx && control.x < candidate->x + candidate->cx;
    int distance = INT_MAX;
    if (sameRow && candidate->x + candidate->cx <= control.x + 2) {
      distance = control.x - (candidate->x + candidate->cx);
    } else if (overlapsAcross && candidate->y + candidate->cy <= control.y + 2) {
      // A row above counts a little more than a neighbour on the left.
      distance = 4 + control.y - (candidate->y + candidate->cy);
    }
    if (distance < bestDistance) {
      bestDistance = distance;
      best = label;
    }
  }
  return best;
}

}  // namespace

void CreateControls(QWidget* dialog, const DialogTemplate& dialogTemplate) {
  dialog->setFont(DialogFont());
  int radioGroup = kNoControlId;
  std::vector<std::pair<const ControlTemplate*, QWidget*>> made;
  for (const ControlTemplate& control : dialogTemplate.controls) {
    QWidget* widget = MakeControl(dialog, control);
    made.emplace_back(&control, widget);
    if (control.id != kNoControlId) widget->setObjectName(QString::number(control.id));
    if (control.kind == ControlKind::RadioButton) {
      if ((control.style & kGroupStart) || radioGroup == kNoControlId) radioGroup = control.id;
      widget->setProperty(kRadioGroupProperty, radioGroup);
    } else if (control.style & kGroupStart) {
      radioGroup = kNoControlId;
    }
    QRect rect = MapDialogRect(control.x, control.y, control.cx, control.cy);
    // A combo box's template height includes its dropped-down list.
    if (control.kind == ControlKind::ComboBox) rect.setHeight(widget->sizeHint().height());
    widget->setGeometry(rect);
  }
  // A screen reader names an input after its label (Qt reads a label's buddy); the page may name
  // it more precisely itself.
  for (const auto& [control, widget] : made) {
    if (!TakesInput(control->kind)) continue;
    if (QLabel* label = NearestLabel(made, *control)) label->setBuddy(widget);
  }
}

QWidget* DialogItem(const QWidget* dialog, int id) {
  if (dialog == nullptr || id == kNoControlId) return nullptr;
  return dialog->findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

std::wstring ItemText(const QWidget* dialog, int id) {
  QWidget* item = DialogItem(dialog, id);
  if (auto* label = qobject_cast<QLabel*>(item)) return FromQString(label->text());
  if (auto* edit = qobject_cast<QLineEdit*>(item)) return FromQString(edit->text());
  if (auto* button = qobject_cast<QAbstractButton*>(item)) return FromQString(button->text());
  if (auto* group = qobject_cast<QGroupBox*>(item)) return FromQString(group->title());
  if (auto* combo = qobject_cast<QComboBox*>(item)) return FromQString(combo->currentText());
  return {};
}

void SetItemText(QWidget* dialog, int id, std::wstring_view text) {
  QWidget* item = DialogItem(dialog, id);
  const QString value = ToQString(text);
  if (auto* label = qobject_cast<QLabel*>(item)) {
    label->setText(value);
  } else if (auto* edit = qobject_cast<QLineEdit*>(item)) {
    edit->setText(value);
  } else if (auto* button = qobject_cast<QAbstractButton*>(item)) {
    button->setText(value);
  } else if (auto* group = qobject_cast<QGroupBox*>(item)) {
    group->setTitle(value);
  }
}

void ExchangeText(DataExchange& dx, int id, std::wstring& value) {
  if (DialogItem(dx.dialog(), id) == nullptr) return;
  if (dx.FromControls()) {
    value = ItemText(dx.dialog(), id);
  } else if (ItemText(dx.dialog(), id) != value) {
    SetItemText(dx.dialog(), id, value);
  }
}

void ExchangeCheck(DataExchange& dx, int id, bool& value) {
  auto* box = DialogItemAs<QAbstractButton>(dx.dialog(), id);
  if (box == nullptr) return;
  if (dx.FromControls()) {
    value = box->isChecked();
  } else {
    box->setChecked(value);
  }
}

void ExchangeRadio(DataExchange& dx, int firstId, int32_t& value) {
  const std::vector<QRadioButton*> group = RadioGroup(dx.dialog(), firstId);
  if (dx.FromControls()) {
    value = -1;
    for (size_t i = 0; i < group.size(); ++i) {
      if (group[i]->isChecked()) value = static_cast<int32_t>(i);
    }
    return;
  }
  for (size_t i = 0; i < group.size(); ++i) {
    QRadioButton* radio = group[i];
    const bool check = static_cast<int64_t>(i) == value;
    if (radio->isChecked() == check) continue;
    // An exclusive group does not let its checked button be cleared directly.
    const bool exclusive = radio->autoExclusive();
    radio->setAutoExclusive(false);
    radio->setChecked(check);
    radio->setAutoExclusive(exclusive);
  }
}

}  // namespace cirrodex
