// OkamDOUT: window TForm9, sets the module's eight digital outputs at once.
#pragma once

#include <array>
#include <cstdint>

#include "dialogs/LiveValues.h"

class TForm9 : public TLiveForm {
 public:
  explicit TForm9(qm90ui::TForm* owner);

  // "Zapsat": one write of the eight outputs; turned away while an exchange runs.
  void Button1Click();
  void Button2Click();

  // Bit k set when the box captioned DOUTk is checked.
  std::uint8_t OutputByte() const;

 private:
  void BuildControls();
  void ConnectEvents();
  void WriteOutputs();

  std::array<qm90ui::TCheckBox*, 8> check_boxes_{};
  qm90ui::TButton* Button1 = nullptr;
  qm90ui::TButton* Button2 = nullptr;
};
