// The Qt side of a form, for what only Qt code needs: the widget behind a
// form or control (screenshots, accessibility checks in tests).
#pragma once

#include <QWidget>

#include "ui/Form.h"

namespace qm90qt {

// The window (QDialog or QMainWindow) of a form made by CreateForm.
QWidget* WidgetOf(const qm90ui::TForm& form);
// The widget of a control made by a form (null for anything else).
QWidget* WidgetOf(const qm90ui::TControl* control);
// The form whose window is `window` (null when none).
qm90ui::TForm* FormOf(const QWidget* window);

}  // namespace qm90qt
