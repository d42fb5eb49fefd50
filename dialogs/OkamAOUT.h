// OkamAOUT: window TForm3, sets the module's analog output to a raw value.
#pragma once

#include "dialogs/LiveValues.h"

class QLabel;
class QLineEdit;
class QPushButton;

class TForm3 : public TLiveForm {
  Q_OBJECT
 public:
  explicit TForm3(QWidget* owner);

  // Each show starts from address 0 (or the record's) and a field of "0".
  void FormShow() override;
  // "Zápis": one write of the field's value; turned away while an exchange runs.
  void Button1Click();
  void Button2Click();

 private:
  void BuildControls();
  void ConnectEvents();
  void WriteValue();

  QLabel* Label1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
};
