// NastavDIO: window TForm14, the module's input negation, output negation and
// output initial state (registers 33, 34, 32), one check box per channel.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>

#include "dialogs/ConfigTransfer.h"
#include "link/Dekl.h"

class QCheckBox;
class QGroupBox;
class QPushButton;
namespace qm90ui {
class TStatusBar;
}

class TForm14 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm14(QWidget* owner);
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
  using TBoxRow = std::array<QCheckBox*, 8>;  // box k = channel k = bit k

  QGroupBox* GroupBox1 = nullptr;  // input negation (CheckBox1..8)
  QGroupBox* GroupBox2 = nullptr;  // output negation (CheckBox33..40)
  QGroupBox* GroupBox3 = nullptr;  // output initial state (CheckBox65..72)
  TBoxRow din_negation_{};
  TBoxRow dout_negation_{};
  TBoxRow dout_init_{};
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* Button4 = nullptr;
  qm90ui::TStatusBar* StatusBar1 = nullptr;

  TModuleConfig work_{};
  qm90cfg::TTransferGuard guard_;

  void BuildControls();
  QGroupBox* BuildGroup(const char* name, int left, const QString& caption,
                        const char* channel_prefix, int first_box_number, int box_width,
                        TBoxRow& boxes);
  void ConnectControls();
  void SetStatus(const QString& text);
  QString Status() const;
  qm90cfg::TTransferPlan Plan();
};
