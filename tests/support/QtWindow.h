// Linux window tests that look at the Qt side of a window (object tree,
// accessibility, QTest input): the Qt dialog or main window behind a window
// object, taken wherever a QWidget* is.
#pragma once

#include <QDialog>
#include <QWidget>
#include <memory>

#include "dialogs/FormWindow.h"
#include "ui/qt/QtForm.h"

namespace qm90test {

class TWin {
 public:
  TWin(QWidget* widget) : w_(widget) {}  // NOLINT: converts on purpose
  TWin(const TFormWindow* window) : w_(window ? qm90qt::WidgetOf(window->Form()) : nullptr) {}
  template <typename T>
  TWin(const std::unique_ptr<T>& window) : TWin(static_cast<const TFormWindow*>(window.get())) {}
  QWidget* operator->() const { return w_; }
  operator QWidget*() const { return w_; }
  QWidget* get() const { return w_; }
  QDialog* Dialog() const { return qobject_cast<QDialog*>(w_); }

 private:
  QWidget* w_;
};

inline QWidget* Win(TWin window) {
  return window.get();
}
inline QDialog* DialogOf(TWin window) {
  return window.Dialog();
}

}  // namespace qm90test
