// OkamAOUT: window TForm3, sets the module's analog output to a raw value.
#pragma once

#include "dialogs/LiveValues.h"

class TForm3 : public TLiveForm {
 public:
  explicit TForm3(qm90ui::TForm* owner);

  // Each show starts from address 0 (or the record's) and a field of "0".
  void FormShow() override;
  // "Zápis": one write of the field's value; turned away while an exchange runs.
  void Button1Click();
  void Button2Click();

 private:
  void BuildControls();
  void ConnectEvents();
  void WriteValue();

  qm90ui::TLabel* Label1 = nullptr;
  qm90ui::TEdit* Edit1 = nullptr;
  qm90ui::TButton* Button1 = nullptr;
  qm90ui::TButton* Button2 = nullptr;
};
