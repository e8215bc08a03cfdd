#include "dialog/input_panel.h"

#include <QApplication>
#include <QVariant>

namespace cirrodex {

QWidget* FindInputPanel() {
  if (QApplication::instance() == nullptr) return nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->property(kWindowClassProperty).toString() == QLatin1String(kInputPanelClass)) {
      return widget;
    }
  }
  return nullptr;
}

bool ShowInputPanel(bool show) {
  QWidget* panel = FindInputPanel();
  if (panel == nullptr) return true;
  const bool wasVisible = panel->isVisible();
  panel->setVisible(show);
  return wasVisible;
}

}  // namespace cirrodex
