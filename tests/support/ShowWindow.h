// Creates a window as the main window does (no owner, the run's record handed
// in) and shows it, so that its FormShow runs.
#pragma once

#include <QTimer>
#include <memory>

#include "link/Dekl.h"

namespace qm90test {

template <typename Form>
std::unique_ptr<Form> ShowWindow(TData* data) {
  auto form = std::make_unique<Form>(nullptr);
  form->Data = data;
  form->show();
  return form;
}

// Keeps a window's own timer out of a test that drives ticks by hand.
inline void StopTimer(QObject* form) {
  if (auto* timer = form->findChild<QTimer*>("Timer1")) timer->stop();
}

// ShowWindow, then StopTimer.
template <typename Form>
std::unique_ptr<Form> ShowStopped(TData* data) {
  auto form = ShowWindow<Form>(data);
  StopTimer(form.get());
  return form;
}

}  // namespace qm90test
