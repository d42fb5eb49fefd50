// OkamDOUT: window TForm9, sets the module's eight digital outputs at once.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>

#include "dialogs/LiveValues.h"
#include "link/Dekl.h"

class QCheckBox;
class QPushButton;
class QShowEvent;
namespace qm90ui {
class TStatusBar;
}

class TForm9 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm9(QWidget* owner);
  // The run's record; not owned. Set by the main window before showing.
  TData* Data = nullptr;
  // Module address of the write, taken from the record when the window is shown.
  std::uint8_t AddressCopy = 0;

  void FormShow();
  // "Zapsat": one write of the eight outputs; turned away while an exchange runs.
  void Button1Click();
  void Button2Click();

  // Bit k set when the box captioned DOUTk is checked.
  std::uint8_t OutputByte() const;

  // A close asked for during an exchange takes effect when the exchange returns.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void ConnectEvents();
  void WriteOutputs();
  void SetStatus(const QString& text);

  std::array<QCheckBox*, 8> check_boxes_{};
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  qm90ui::TStatusBar* StatusBar1 = nullptr;
  qm90live::TExchangeGate gate_;
};
