// OkamDIN: window TForm11, the live view of the module's eight digital inputs,
// polled every 100 ms.
#pragma once

#include <array>

#include "dialogs/LiveValues.h"

class QLabel;
class QPushButton;
class QTimer;
namespace qm90ui {
class TSunkenPanel;
}

class TForm11 : public TLiveForm {
  Q_OBJECT
 public:
  explicit TForm11(QWidget* owner);

  void Button1Click();
  // One poll; turned away while the window is hidden or an exchange runs.
  void Timer1Timer();

 private:
  void BuildControls();
  void ConnectEvents();
  void Poll();

  std::array<QLabel*, 8> value_labels_{};  // Label33 .. Label40: DIN0 .. DIN7
  qm90ui::TSunkenPanel* Panel1 = nullptr;
  QPushButton* Button1 = nullptr;
  QTimer* Timer1 = nullptr;
};
