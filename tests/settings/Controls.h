// The settings dialogs' controls, found by their numbered names as a user
// would find them on screen.
#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <cstdint>

#include "tests/support/QtWindow.h"
#include "ui/qt/Widgets.h"

namespace settingstest {

template <typename W = QWidget>
W* Child(qm90test::TWin dialog, const QString& name) {
  W* w = dialog->findChild<W*>(name);
  EXPECT_NE(w, nullptr) << name.toStdString();
  return w;
}
inline QPushButton* Button(qm90test::TWin d, int n) {
  return Child<QPushButton>(d, QStringLiteral("Button%1").arg(n));
}
inline QLineEdit* Edit1(qm90test::TWin d) {
  return Child<QLineEdit>(d, QStringLiteral("Edit1"));
}
inline QComboBox* ComboBox1(qm90test::TWin d) {
  return Child<QComboBox>(d, QStringLiteral("ComboBox1"));
}
inline QCheckBox* Box(qm90test::TWin d, int n) {
  return Child<QCheckBox>(d, QStringLiteral("CheckBox%1").arg(n));
}
inline QString Status(qm90test::TWin d) {
  return Child<qm90qt::TStatusBar>(d, QStringLiteral("StatusBar1"))->PanelText(0);
}

// The eight boxes of a group, from its first box number, as a byte (box k = bit k).
inline std::uint8_t Boxes(qm90test::TWin d, int first) {
  std::uint8_t byte = 0;
  for (int k = 0; k < 8; ++k)
    if (Box(d, first + k)->isChecked()) byte |= 1u << k;
  return byte;
}
inline void SetBoxes(qm90test::TWin d, int first, std::uint8_t byte) {
  for (int k = 0; k < 8; ++k) Box(d, first + k)->setChecked((byte >> k) & 1u);
}

}  // namespace settingstest
