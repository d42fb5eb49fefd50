// StatReg: window TForm15, the live view of the module's 32-bit status
// register, polled every 500 ms, with "Vynulovat" to clear it.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>

#include "dialogs/LiveValues.h"
#include "link/Dekl.h"

class QLabel;
class QPushButton;
class QShowEvent;
class QTimer;
namespace qm90ui {
class TStatusBar;
class TSunkenPanel;
}  // namespace qm90ui

class TForm15 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm15(QWidget* owner);
  // The run's record; not owned. Set by the main window before showing.
  TData* Data = nullptr;
  // Module address of every exchange, taken from the record when the window is shown.
  std::uint8_t AddressCopy = 0;

  void FormShow();
  void Button1Click();
  // "Vynulovat": one clear request; turned away while an exchange runs.
  void Button2Click();
  // One poll; turned away while the window is hidden or an exchange runs.
  void Timer1Timer();

  // A close asked for during an exchange takes effect when the exchange returns.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void ConnectEvents();
  void RunExchange(void (TForm15::*exchange)());
  void Poll();
  void ClearRegister();
  void SetStatus(const QString& text);

  // Label33 + 8 * column + bit shows bit `bit` of received byte d(column + 1).
  std::array<QLabel*, 32> value_labels_{};
  std::array<qm90ui::TSunkenPanel*, 4> panels_{};
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  qm90ui::TStatusBar* StatusBar1 = nullptr;
  QTimer* Timer1 = nullptr;
  qm90live::TExchangeGate gate_;
};
