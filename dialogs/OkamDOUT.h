// OkamDOUT: window TForm9, sets the module's eight digital outputs at once.
#pragma once

#include <array>
#include <cstdint>

#include "dialogs/LiveValues.h"

class QCheckBox;
class QPushButton;

class TForm9 : public TLiveForm {
  Q_OBJECT
 public:
  explicit TForm9(QWidget* owner);

  // "Zapsat": one write of the eight outputs; turned away while an exchange runs.
  void Button1Click();
  void Button2Click();

  // Bit k set when the box captioned DOUTk is checked.
  std::uint8_t OutputByte() const;

 private:
  void BuildControls();
  void ConnectEvents();
  void WriteOutputs();

  std::array<QCheckBox*, 8> check_boxes_{};
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
};
