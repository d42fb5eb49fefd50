// Shared by the GUI tests of the program: a private settings file and driver
// folder per test, a way to act inside a modal dialog, control lookup by name.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <string>

#include "link/Dekl.h"
#include "link/QBLxxx.h"
#include "tests/support/QtWindow.h"
#include "tests/support/TempDir.h"

namespace apptest {

using TempFolder = qm90test::TempDir;

// Runs action on the modal dialog that the next exec() shows; the dialog is
// closed afterwards unless the action closed it already.
inline void WhenModalShows(std::function<void(QWidget*)> action) {
  QTimer::singleShot(0, [action = std::move(action)]() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    action(modal);
    if (QApplication::activeModalWidget() == modal) modal->close();
  });
}

template <typename T>
T* Child(qm90test::TWin window, const char* name) {
  T* child = window->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

inline std::string LabelText(qm90test::TWin window, const char* name) {
  auto* label = Child<QLabel>(window, name);
  return label ? label->text().toStdString() : std::string();
}

// Leaves no library bound behind a test.
inline void CloseLink(TData& data) {
  if (data.LinkOpen && data.LinkHandle != 0) DrvClose(data.InterfaceKind, &data.LinkHandle);
  data.LinkOpen = false;
}

}  // namespace apptest
