// StatReg: window TForm15, the live view of the module's 32-bit status
// register, polled every 500 ms, with "Vynulovat" to clear it.
#pragma once

#include <array>

#include "dialogs/LiveValues.h"

class TForm15 : public TLiveForm {
 public:
  explicit TForm15(qm90ui::TForm* owner);

  void Button1Click();
  // "Vynulovat": one clear request; turned away while an exchange runs.
  void Button2Click();
  // One poll; turned away while the window is hidden or an exchange runs.
  void Timer1Timer();

 private:
  void BuildControls();
  void ConnectEvents();
  void Poll();
  void ClearRegister();

  // Label33 + 8 * column + bit shows bit `bit` of received byte d(column + 1).
  std::array<qm90ui::TLabel*, 32> value_labels_{};
  std::array<qm90ui::TPanel*, 4> panels_{};
  qm90ui::TButton* Button1 = nullptr;
  qm90ui::TButton* Button2 = nullptr;
  qm90ui::TTimer* Timer1 = nullptr;
};
