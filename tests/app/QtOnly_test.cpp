// What only the Qt backend has: the widgets' object tree and focus chain,
// what assistive technology reads, the window frame and the status panels'
// geometry. Everything else about these windows is in the tests written
// against ui/ alone, which run on every backend.
#include "tests/scripted/ScriptedDriver.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/Hlavni.h"
#include "dialogs/NastavAOUT.h"
#include "dialogs/NastavAdr.h"
#include "dialogs/NastavDIO.h"
#include "dialogs/OkamAOUT.h"
#include "dialogs/OkamDIN.h"
#include "dialogs/OkamDOUT.h"
#include "dialogs/Pripojeni.h"
#include "dialogs/StatReg.h"
#include "tests/app/ConnectionDialogFixture.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/QtWindow.h"
#include "ui/qt/Widgets.h"

namespace {

using qm90test::Win;

template <typename T>
T* Child(qm90test::TWin window, const char* name) {
  T* child = window->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

class ConnectionDialogQt : public apptest::ConnectionDialogFixture {
 protected:
  void Type(const char* edit, const QString& text) {
    Child<QLineEdit>(&*form, edit)->setText(text);
  }
  QString Field(const char* edit) { return Child<QLineEdit>(&*form, edit)->text(); }
};

TEST_F(ConnectionDialogQt, FocusChainHoldsEveryControlAndTypingGoesToTheFirstField) {
  Open();
  const char* order[] = {"Edit1",   "Edit2",     "ComboBox1", "Panel1", "Button1",
                         "Button2", "ComboBox2", "Edit3",     "Edit4"};
  std::vector<QWidget*> named;
  for (const char* name : order) named.push_back(Child<QWidget>(&*form, name));
  std::vector<QWidget*> chain;
  QWidget* w = named.front();
  do {
    if (std::find(named.begin(), named.end(), w) != named.end()) chain.push_back(w);
    w = w->nextInFocusChain();
  } while (w != named.front() && chain.size() < named.size());
  EXPECT_EQ(chain, named);
  // The dialog opens in the first field of that order.
  qm90test::Win(&*form)->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(qm90test::Win(&*form)));
  EXPECT_EQ(QApplication::focusWidget(), named.front());
  QTest::keyClicks(QApplication::focusWidget(), "12");
  EXPECT_EQ(Field("Edit1"), QStringLiteral("12"));
}

TEST_F(ConnectionDialogQt, AccessibleNameOfTheStatusLineIsItsText) {
  Open();
  Type("Edit1", "1");
  data.InterfaceKind = 4;
  SelectKind(4);
  Type("Edit2", "");
  Press();
  auto* panel = Child<QLabel>(&*form, "Panel1");
  QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(panel);
  ASSERT_NE(a11y, nullptr);
  EXPECT_EQ(a11y->text(QAccessible::Name), QStringLiteral("Neplatná IP adresa"));
  auto* caption = Child<QLabel>(&*form, "Label5");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(caption)->text(QAccessible::Name),
            caption->text());
}

class MainWindowQt : public apptest::MainWindowFixture {
 protected:
  qm90qt::TStatusBar* Bar() { return Win(form)->findChild<qm90qt::TStatusBar*>("StatusBar1"); }
};

TEST_F(MainWindowQt, OuterFrameAndStatusPanelWidths) {
  Start();
  EXPECT_EQ(Win(form)->frameGeometry().size(), QSize(600, 400));
  const int widths[] = {140, 80, 120};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Bar()->Panel(i)->width(), widths[i]);
  EXPECT_EQ(Bar()->Panel(3)->geometry().right(), Bar()->width() - 1);
}

TEST_F(MainWindowQt, StatusPanelsReportTheirTextToAssistiveTechnology) {
  Start();
  for (int i = 0; i < 3; ++i) {
    QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(Bar()->Panel(i));
    ASSERT_NE(a11y, nullptr);
    EXPECT_EQ(a11y->text(QAccessible::Name), Bar()->PanelText(i));
  }
  EXPECT_EQ(QAccessible::queryAccessibleInterface(Bar()->Panel(0))->text(QAccessible::Name),
            QStringLiteral(" Modul"));
}

// Every window as the main window opens it, with what assistive technology
// must find in it: each field named by its caption.
struct WindowRow {
  const char* name;
  std::function<std::unique_ptr<TFormWindow>(TData*)> create;
  std::vector<std::pair<const char*, const char*>> field_captions;  // field, its label
  bool status_bar = true;  // the connection dialog has a status line instead
};

template <typename Form>
std::unique_ptr<TFormWindow> CreateDialog(TData* data) {
  auto form = std::make_unique<Form>(nullptr);
  form->Data = data;
  return form;
}

std::vector<WindowRow> Windows() {
  return {
      {"TForm1", [](TData*) { return std::make_unique<TForm1>(); }, {}},
      {"TForm2",
       CreateDialog<TForm2>,
       {{"Edit1", "Label1"}, {"Edit2", "Label3"}, {"ComboBox1", "Label2"}, {"ComboBox2", "Label5"}},
       false},
      {"TForm12", CreateDialog<TForm12>, {{"Edit1", "Label1"}, {"ComboBox1", "Label2"}}},
      {"TForm14", CreateDialog<TForm14>, {}},
      {"TForm4", CreateDialog<TForm4>, {{"Edit1", "Label1"}}},
      {"TForm3", CreateDialog<TForm3>, {{"Edit1", "Label1"}}},
      {"TForm11", CreateDialog<TForm11>, {}},
      {"TForm9", CreateDialog<TForm9>, {}},
      {"TForm15", CreateDialog<TForm15>, {}},
  };
}

// Opens each window in turn on a fresh record and checks it shown; a fatal
// failure in one ends the round, as it would in one loop.
void ForEachWindowShown(const std::function<void(const WindowRow&, QWidget*)>& check) {
  TData data;
  SetDataDefaults(&data);
  for (const WindowRow& row : Windows()) {
    SCOPED_TRACE(row.name);
    std::unique_ptr<TFormWindow> owner = row.create(&data);
    owner->Show();
    check(row, Win(owner));
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST_F(MainWindowQt, EveryWindowOpensCentredOnItsOuterFrame) {
  ForEachWindowShown([](const WindowRow& row, QWidget* window) {
    const QRect area = window->screen()->availableGeometry();
    // Under a window manager the frame arrives a little after the window.
    (void)QTest::qWaitFor([&] { return window->frameGeometry() != window->geometry(); }, 2000);
    const QRect frame = window->frameGeometry();
    EXPECT_NE(frame, window->geometry());  // the frame is part of the measure
    EXPECT_LE(std::abs(frame.center().x() - area.center().x()), 1);
    EXPECT_LE(std::abs(frame.center().y() - area.center().y()), 1);
    if (std::string(row.name) == "TForm1") {
      EXPECT_EQ(frame.size(), QSize(600, 400));
    }
  });
}

TEST_F(MainWindowQt, AssistiveTechnologyFindsStatusBarsAndFieldsByTheirCaptions) {
  ForEachWindowShown([](const WindowRow& row, QWidget* window) {
    auto* bar = window->findChild<qm90qt::TStatusBar*>();
    ASSERT_EQ(bar != nullptr, row.status_bar);
    if (bar) {
      QAccessibleInterface* bar_a11y = QAccessible::queryAccessibleInterface(bar);
      ASSERT_NE(bar_a11y, nullptr);
      EXPECT_EQ(bar_a11y->role(), QAccessible::StatusBar);
    }
    for (const auto& [field, caption] : row.field_captions) {
      SCOPED_TRACE(field);
      QWidget* widget = Child<QWidget>(window, field);
      auto* label = Child<QLabel>(window, caption);
      QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(widget);
      ASSERT_NE(a11y, nullptr);
      bool labelled = false;
      for (const auto& [other, relation] : a11y->relations(QAccessible::Label))
        labelled = labelled || other->object() == label;
      EXPECT_TRUE(labelled);
      // A list is read out by its selected item, an edit field by its caption.
      if (qobject_cast<QLineEdit*>(widget)) {
        EXPECT_EQ(a11y->text(QAccessible::Name), label->text());
      }
    }
  });
}

}  // namespace
