// The main window: status bar, menu, opening the dialogs, closing the program.
#include "tests/scripted/ScriptedDriver.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>

#include "app/Hlavni.h"
#include "dialogs/NastavAOUT.h"
#include "dialogs/NastavAdr.h"
#include "dialogs/NastavDIO.h"
#include "dialogs/OkamAOUT.h"
#include "dialogs/OkamDIN.h"
#include "dialogs/OkamDOUT.h"
#include "dialogs/Pripojeni.h"
#include "dialogs/StatReg.h"
#include "tests/app/AppTestSupport.h"
#include "ui/qt/Widgets.h"

namespace {

using apptest::Child;
using qm90test::Win;
using scripted::Entry;
using scripted::Script;

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    scripted::Reset();
    Script().responder = scripted::ModuleResponder();
    SetDriverDirectory(QM90_SCRIPTED_DIR);
    SetSettingsFilePath(settings);
  }
  void TearDown() override {
    form.reset();
    SetSettingsFilePath("");
    SetDriverDirectory("");
  }

  void Start(TForm1::DataFactory factory = &TForm1::NewData) {
    form = std::make_unique<TForm1>(factory);
    form->Show();
  }
  std::string Panel(int i) { return form->StatusBar()->PanelText(i); }
  QAction* Action(const char* name) {
    return Win(form)->findChild<QAction*>(QString::fromLatin1(name));
  }
  qm90qt::TStatusBar* Bar() { return Win(form)->findChild<qm90qt::TStatusBar*>("StatusBar1"); }
  QMenuBar* MenuBar() { return qobject_cast<QMainWindow*>(Win(form))->menuBar(); }
  bool SettingsExist() { return std::filesystem::exists(settings); }

  // Connects through the dialog as a user would: menu, button, close.
  void ConnectThroughMenu() {
    apptest::WhenModalShows(
        [](QWidget* dialog) { Child<QPushButton>(dialog, "Button1")->click(); });
    Action("Pipojen1")->trigger();
  }

  apptest::TempFolder folder;
  std::string settings = folder.File("W_qm90.ini");
  std::unique_ptr<TForm1> form;
};

TEST_F(MainWindow, ShowsCaptionMenuAndBarePanels) {
  Start();
  EXPECT_EQ(Win(form)->windowTitle(), QStringLiteral(" QM-90 (v.1.02) -  nastavení modulu"));
  EXPECT_EQ(Win(form)->frameGeometry().size(), QSize(600, 400));
  const char* panels[] = {" Modul", " Adresa", " Rychlost", ""};
  const int widths[] = {140, 80, 120};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Panel(i), panels[i]);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Bar()->Panel(i)->width(), widths[i]);
  EXPECT_EQ(Bar()->Panel(3)->geometry().right(), Bar()->width() - 1);

  QStringList bar;
  for (QAction* a : MenuBar()->actions()) bar << a->text();
  EXPECT_EQ(bar, QStringList({"&Připojení", "&Nastavení", "&Okamžité hodnoty", "&Konec"}));
  auto items = [](QAction* submenu) {
    QStringList out;
    for (QAction* a : submenu->menu()->actions()) out << a->text();
    return out;
  };
  const auto top = MenuBar()->actions();
  EXPECT_EQ(items(top[1]),
            QStringList({"Adresa, rychlost", "Digitální vstupy/výstupy", "Analogový výstup"}));
  EXPECT_EQ(items(top[2]), QStringList({"Analogový výstup", "Digitální vstupy", "Digitální výstupy",
                                        "Status registr"}));
}

TEST_F(MainWindow, PanelsShowTheRecordOnlyAfterTheConnectionDialog) {
  TData saved;
  SetDataDefaults(&saved);
  saved.ModuleAddress = 5;
  saved.BaudRate = 19200;
  ASSERT_TRUE(SaveSettings(&saved));
  Start();
  EXPECT_EQ(Panel(0), " Modul");
  EXPECT_EQ(Panel(1), " Adresa");
  EXPECT_EQ(Panel(2), " Rychlost");
  apptest::WhenModalShows([](QWidget*) {});
  Action("Pipojen1")->trigger();
  EXPECT_EQ(Panel(0), " Modul  ");
  EXPECT_EQ(Panel(1), " Adresa  5");
  EXPECT_EQ(Panel(2), " Rychlost  19200Bd");
}

TEST_F(MainWindow, CancelRightAfterStartShowsTheDefaults) {
  Start();
  apptest::WhenModalShows([](QWidget* dialog) { Child<QPushButton>(dialog, "Button2")->click(); });
  form->Pipojen1Click();
  EXPECT_EQ(Panel(0), " Modul  ");
  EXPECT_EQ(Panel(1), " Adresa  0");
  EXPECT_EQ(Panel(2), " Rychlost  9600Bd");
}

TEST_F(MainWindow, ConnectionShowsModuleAddressAndRate) {
  Start();
  form->Data()->InterfaceKind = 2;
  form->Data()->ModuleAddress = 1;
  ConnectThroughMenu();
  EXPECT_TRUE(form->Data()->LinkOpen);
  EXPECT_EQ(Panel(0), " Modul  QM-90-01 v.1.02");
  EXPECT_EQ(Panel(1), " Adresa  1");
  EXPECT_EQ(Panel(2), " Rychlost  9600Bd");
}

TEST_F(MainWindow, EveryWayOfClosingSavesOnceAndClosesTheLink) {
  struct Row {
    const char* how;
    std::function<void(std::unique_ptr<TForm1>&)> close;
  };
  const Row rows[] = {
      {"close box", [](auto& f) { f->Close(); }},
      {"Konec", [](auto& f) { Win(f)->template findChild<QAction*>("Konec2")->trigger(); }},
      {"destroyed", [](auto& f) { f.reset(); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.how);
    scripted::Reset();
    Script().responder = scripted::ModuleResponder();
    std::filesystem::remove(settings);
    Start();
    form->Data()->InterfaceKind = 2;
    form->Data()->ModuleAddress = 1;
    ConnectThroughMenu();
    ASSERT_TRUE(form ? form->Data()->LinkOpen : false);

    row.close(form);
    EXPECT_TRUE(SettingsExist());
    EXPECT_EQ(Script().CallsOf(Entry::Done).size(), 1u);
    EXPECT_EQ(Script().CallsOf(Entry::Done)[0].handle, 4711);
    EXPECT_FALSE(DrvLibraryLoaded());

    // Whatever comes later (a second close, the destructor) does nothing more.
    std::filesystem::remove(settings);
    if (form) form->Close();
    form.reset();
    EXPECT_FALSE(SettingsExist());
    EXPECT_EQ(Script().CallsOf(Entry::Done).size(), 1u);
  }
}

TEST_F(MainWindow, CloseRequestedWhileADialogIsOpenWaitsForTheDialog) {
  Start();
  form->Data()->InterfaceKind = 2;
  bool dialog_closed_first = false;
  apptest::WhenModalShows([&](QWidget* dialog) {
    Child<QPushButton>(dialog, "Button1")->click();
    form->Close();
    dialog_closed_first = !dialog->isVisible() && form->Data() != nullptr;
  });
  form->Pipojen1Click();
  EXPECT_TRUE(dialog_closed_first);
  EXPECT_FALSE(form->Form().Visible());
  EXPECT_EQ(form->Data(), nullptr);
  EXPECT_EQ(Script().CallsOf(Entry::Done).size(), 1u);
  EXPECT_TRUE(SettingsExist());
}

TEST_F(MainWindow, ClosingWithoutLinkWritesTheSettings) {
  Start();
  form->Data()->InterfaceKind = 4;
  form->Data()->IpAddress = "127.0.0.1";
  form->Data()->UdpPort = 47090;
  form->Close();
  EXPECT_TRUE(Script().CallsOf(Entry::Done).empty());
  TData loaded;
  SetDataDefaults(&loaded);
  ASSERT_TRUE(LoadSettings(&loaded));
  EXPECT_EQ(loaded.InterfaceKind, 4);
  EXPECT_EQ(loaded.IpAddress, "127.0.0.1");
  EXPECT_EQ(loaded.UdpPort, 47090);
}

TEST_F(MainWindow, SettingsThatCannotBeWrittenDoNotStopTheProgram) {
  std::ofstream(folder.File("file")) << "not a folder";
  SetSettingsFilePath(folder.File("file") + "/W_qm90.ini");
  Start();
  EXPECT_EQ(Panel(3), " Nastavení se neuloží (složka jen pro čtení)");
  form->Data()->InterfaceKind = 2;
  ConnectThroughMenu();
  form->Close();
  EXPECT_EQ(Script().CallsOf(Entry::Done).size(), 1u);
  EXPECT_FALSE(form->Form().Visible());
}

TEST_F(MainWindow, WithoutRecordMenusDoNothingAndNothingIsSaved) {
  Start([]() { return std::unique_ptr<TData>(); });
  EXPECT_EQ(Panel(3), " Nelze vytvořit datové struktury programu");
  bool dialog_shown = false;
  apptest::WhenModalShows([&](QWidget*) { dialog_shown = true; });
  for (const char* item : {"Pipojen1", "AdresaRychlost1", "OkamDIN2"}) Action(item)->trigger();
  QApplication::processEvents();
  EXPECT_FALSE(dialog_shown);
  EXPECT_EQ(Panel(0), " Modul");
  form->Close();
  EXPECT_FALSE(SettingsExist());
}

// Reads the record pointer of whatever dialog class the modal window is.
template <typename T>
std::pair<bool, TData*> DialogRecord(QWidget* modal) {
  auto* dialog = dynamic_cast<T*>(TFormWindow::WindowOf(qm90qt::FormOf(modal)));
  return {dialog != nullptr, dialog ? dialog->Data : nullptr};
}

TEST_F(MainWindow, EveryMenuItemOpensAFreshDialogOwnedByTheWindow) {
  struct Row {
    const char* action;
    std::pair<bool, TData*> (*record)(QWidget*);
  };
  const Row rows[] = {
      {"Pipojen1", &DialogRecord<TForm2>},    {"AdresaRychlost1", &DialogRecord<TForm12>},
      {"NastavDIO1", &DialogRecord<TForm14>}, {"Kalibracevstup1", &DialogRecord<TForm4>},
      {"OkamAIN2", &DialogRecord<TForm3>},    {"OkamDIN2", &DialogRecord<TForm11>},
      {"OkamDOUT1", &DialogRecord<TForm9>},   {"Statusregistr1", &DialogRecord<TForm15>},
  };
  Start();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.action);
    std::pair<bool, TData*> seen{false, nullptr};
    QWidget* owner = nullptr;
    apptest::WhenModalShows([&](QWidget* dialog) {
      seen = row.record(dialog);
      owner = dialog->parentWidget();
    });
    Action(row.action)->trigger();
    EXPECT_TRUE(seen.first);
    EXPECT_EQ(seen.second, form->Data());
    EXPECT_EQ(owner, Win(form));
    EXPECT_TRUE(Win(form)->findChildren<QDialog*>().isEmpty());
  }
}

TEST_F(MainWindow, StatusPanelsReportTheirTextToAssistiveTechnology) {
  Start();
  for (int i = 0; i < 3; ++i) {
    QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(Bar()->Panel(i));
    ASSERT_NE(a11y, nullptr);
    EXPECT_EQ(a11y->text(QAccessible::Name), Bar()->PanelText(i));
  }
  EXPECT_EQ(QAccessible::queryAccessibleInterface(Bar()->Panel(0))->text(QAccessible::Name),
            QStringLiteral(" Modul"));
}

TEST_F(MainWindow, SaysAtOnceWhenTheSettingsFolderCannotBeWritten) {
  const struct {
    const char* name;
    std::string settings_file;
    const char* message;
  } cases[] = {
      {"writable folder", settings, ""},
      {"folder that does not exist", folder.File("gone/W_qm90.ini"),
       " Nastavení se neuloží (složka jen pro čtení)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetSettingsFilePath(c.settings_file);
    Start();
    EXPECT_EQ(Panel(3), c.message);
    form.reset();
  }
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

TEST_F(MainWindow, EveryWindowOpensCentredOnItsOuterFrame) {
  TData data;
  SetDataDefaults(&data);
  for (const WindowRow& row : Windows()) {
    SCOPED_TRACE(row.name);
    std::unique_ptr<TFormWindow> owner = row.create(&data);
    owner->Show();
    QWidget* window = Win(owner);
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
  }
}

TEST_F(MainWindow, AssistiveTechnologyFindsStatusBarsAndFieldsByTheirCaptions) {
  TData data;
  SetDataDefaults(&data);
  for (const WindowRow& row : Windows()) {
    SCOPED_TRACE(row.name);
    std::unique_ptr<TFormWindow> owner = row.create(&data);
    owner->Show();
    QWidget* window = Win(owner);
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
  }
}

}  // namespace
