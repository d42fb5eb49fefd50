// NastavAdr: window TForm12, the module's own communication address and baud
// rate (address register, then baud register), read from and written to the module.
#pragma once

#include "dialogs/ConfigTransfer.h"
#include "dialogs/SettingsForm.h"
#include "link/Dekl.h"

class QComboBox;
class QLabel;
class QLineEdit;

class TForm12 : public TSettingsForm {
  Q_OBJECT
 public:
  explicit TForm12(QWidget* owner);

  void PrectiData(TModuleConfig& config) override;
  void ZapisData(TModuleConfig config) override;
  void PrectiOkno(TModuleConfig& config) override;
  void ZapisOkno(TModuleConfig config) override;

 private:
  QLabel* Label1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLabel* Label2 = nullptr;
  QComboBox* ComboBox1 = nullptr;

  void BuildControls();
  TTransferPlan Plan();
};
