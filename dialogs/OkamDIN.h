// OkamDIN: window TForm11, the live view of the module's eight digital inputs,
// polled every 100 ms.
#pragma once

#include <array>

#include "dialogs/LiveValues.h"

class TForm11 : public TLiveForm {
 public:
  explicit TForm11(qm90ui::TForm* owner);

  void Button1Click();
  // One poll; turned away while the window is hidden or an exchange runs.
  void Timer1Timer();

 private:
  void BuildControls();
  void ConnectEvents();
  void Poll();

  std::array<qm90ui::TLabel*, 8> value_labels_{};  // Label33 .. Label40: DIN0 .. DIN7
  qm90ui::TPanel* Panel1 = nullptr;
  qm90ui::TButton* Button1 = nullptr;
  qm90ui::TTimer* Timer1 = nullptr;
};
