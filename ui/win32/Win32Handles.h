// The Win32 windows behind the layer's forms and controls (backend tests and
// the screenshot program).
#pragma once

#include <windows.h>

namespace qm90ui {
class TControl;
class TForm;
}  // namespace qm90ui

namespace ui::win32 {
HWND WindowOf(const qm90ui::TForm& form);
HWND WindowOf(const qm90ui::TControl& control);
}  // namespace ui::win32
