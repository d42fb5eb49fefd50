// OkamAOUT: window TForm3, sets the module's analog output to a raw value.
#pragma once

#include <QDialog>
#include <cstdint>

#include "dialogs/LiveValues.h"
#include "link/Dekl.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;
namespace qm90ui {
class TStatusBar;
}

class TForm3 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm3(QWidget* owner);
  // The run's record; not owned. Set by the main window before showing.
  TData* Data = nullptr;
  // Module address of the write, taken from the record each time the window is shown.
  std::uint8_t AddressCopy = 0;

  void FormShow();
  // "Zápis": one write of the field's value; turned away while an exchange runs.
  void Button1Click();
  void Button2Click();

  // A close asked for during an exchange takes effect when the exchange returns.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void ConnectEvents();
  void WriteValue();
  void SetStatus(const QString& text);

  QLabel* Label1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  qm90ui::TStatusBar* StatusBar1 = nullptr;
  qm90live::TExchangeGate gate_;
};
