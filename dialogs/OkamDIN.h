// OkamDIN: window TForm11, the live view of the module's eight digital inputs,
// polled every 100 ms.
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

class TForm11 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm11(QWidget* owner);
  // The run's record; not owned. Set by the main window before showing.
  TData* Data = nullptr;
  // Module address of every poll, taken from the record when the window is shown.
  std::uint8_t AddressCopy = 0;

  void FormShow();
  void Button1Click();
  // One poll; turned away while the window is hidden or an exchange runs.
  void Timer1Timer();

  // A close asked for during an exchange takes effect when the exchange returns.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void ConnectEvents();
  void Poll();
  void SetStatus(const QString& text);

  std::array<QLabel*, 8> value_labels_{};  // Label33 .. Label40: DIN0 .. DIN7
  qm90ui::TSunkenPanel* Panel1 = nullptr;
  QPushButton* Button1 = nullptr;
  qm90ui::TStatusBar* StatusBar1 = nullptr;
  QTimer* Timer1 = nullptr;
  qm90live::TExchangeGate gate_;
};
