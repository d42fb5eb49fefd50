// The settings dialogs' controls, found by their numbered names as a user
// would find them on screen.
#pragma once

#include <cstdint>
#include <string>

#include "tests/support/UiTest.h"

namespace settingstest {

inline qm90ui::TButton* Button(const TFormWindow& d, int n) {
  return qm90test::Find<qm90ui::TButton>(d, "Button" + std::to_string(n));
}
inline qm90ui::TEdit* Edit1(const TFormWindow& d) {
  return qm90test::Find<qm90ui::TEdit>(d, "Edit1");
}
inline qm90ui::TComboList* ComboBox1(const TFormWindow& d) {
  return qm90test::Find<qm90ui::TComboList>(d, "ComboBox1");
}
inline qm90ui::TCheckBox* Box(const TFormWindow& d, int n) {
  return qm90test::Find<qm90ui::TCheckBox>(d, "CheckBox" + std::to_string(n));
}
inline std::string Status(const TFormWindow& d) {
  return qm90test::Find<qm90ui::TStatusBar>(d, "StatusBar1")->PanelText(0);
}

// The eight boxes of a group, from its first box number, as a byte (box k = bit k).
inline std::uint8_t Boxes(const TFormWindow& d, int first) {
  std::uint8_t byte = 0;
  for (int k = 0; k < 8; ++k)
    if (Box(d, first + k)->Checked()) byte |= 1u << k;
  return byte;
}
inline void SetBoxes(const TFormWindow& d, int first, std::uint8_t byte) {
  for (int k = 0; k < 8; ++k) Box(d, first + k)->SetChecked((byte >> k) & 1u);
}

}  // namespace settingstest
