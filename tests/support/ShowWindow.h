// Creates a window as the main window does (no owner, the run's record handed
// in) and shows it, so that its FormShow runs.
#pragma once

#include <memory>

#include "link/Dekl.h"
#include "ui/Form.h"

namespace qm90test {

template <typename Form>
std::unique_ptr<Form> ShowWindow(TData* data) {
  auto form = std::make_unique<Form>(nullptr);
  form->Data = data;
  form->Show();
  return form;
}

// Keeps a window's own timer out of a test that drives ticks by hand.
template <typename Window>
void StopTimer(Window* window) {
  if (qm90ui::TTimer* timer = window->Form().FindTimer("Timer1")) timer->Stop();
}

// ShowWindow, then StopTimer.
template <typename Form>
std::unique_ptr<Form> ShowStopped(TData* data) {
  auto form = ShowWindow<Form>(data);
  StopTimer(form.get());
  return form;
}

}  // namespace qm90test
