// NastavAOUT: window TForm4, the analog output's initial value (registers 35
// and 36, low and high byte), read from and written to the module.
#pragma once

#include "dialogs/ConfigTransfer.h"
#include "dialogs/SettingsForm.h"
#include "link/Dekl.h"

class TForm4 : public TSettingsForm {
 public:
  explicit TForm4(qm90ui::TForm* owner);

  void PrectiData(TModuleConfig& config) override;
  void ZapisData(TModuleConfig config) override;
  void PrectiOkno(TModuleConfig& config) override;
  void ZapisOkno(TModuleConfig config) override;

 private:
  qm90ui::TLabel* Label1 = nullptr;
  qm90ui::TEdit* Edit1 = nullptr;

  void BuildControls();
  TTransferPlan Plan();
};
