// NastavAOUT: window TForm4, the analog output's initial value (registers 35
// and 36, low and high byte), read from and written to the module.
#pragma once

#include <QDialog>

#include "dialogs/ConfigTransfer.h"
#include "link/Dekl.h"

class QLabel;
class QLineEdit;
class QPushButton;
namespace qm90ui {
class TStatusBar;
}

class TForm4 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm4(QWidget* owner);
  // The run's record; not owned. Set by the main window before showing.
  TData* Data = nullptr;

  void PrectiData(TModuleConfig& config);
  void ZapisData(TModuleConfig config);
  void PrectiOkno(TModuleConfig& config);
  void ZapisOkno(TModuleConfig config);

  void FormShow();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();

  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* Label1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* Button4 = nullptr;
  qm90ui::TStatusBar* StatusBar1 = nullptr;

  TModuleConfig work_{};
  qm90cfg::TTransferGuard guard_;

  void BuildControls();
  void ConnectControls();
  void SetStatus(const QString& text);
  QString Status() const;
  qm90cfg::TTransferPlan Plan();
};
