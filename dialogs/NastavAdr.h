// NastavAdr: window TForm12, the module's own communication address and baud
// rate (address register, then baud register), read from and written to the module.
#pragma once

#include "dialogs/ConfigTransfer.h"
#include "dialogs/SettingsForm.h"
#include "link/Dekl.h"

class TForm12 : public TSettingsForm {
 public:
  explicit TForm12(qm90ui::TForm* owner);

  void PrectiData(TModuleConfig& config) override;
  void ZapisData(TModuleConfig config) override;
  void PrectiOkno(TModuleConfig& config) override;
  void ZapisOkno(TModuleConfig config) override;

 private:
  qm90ui::TLabel* Label1 = nullptr;
  qm90ui::TEdit* Edit1 = nullptr;
  qm90ui::TLabel* Label2 = nullptr;
  qm90ui::TComboList* ComboBox1 = nullptr;

  void BuildControls();
  TTransferPlan Plan();
};
