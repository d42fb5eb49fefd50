// The main window: status bar, menu, opening the dialogs, closing the program.
#include "tests/scripted/ScriptedDriver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
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
#include "tests/app/AppTestSupport.h"
#include "tests/app/MainWindowFixture.h"

namespace {

using apptest::Find;
using scripted::Entry;
using scripted::Script;

class MainWindow : public apptest::MainWindowFixture {
 protected:
  std::string Panel(int i) { return form->StatusBar()->PanelText(i); }
  qm90ui::TMenuItem* Action(const char* name) {
    qm90ui::TMenuItem* item = form->Form().FindMenuItem(name);
    EXPECT_NE(item, nullptr) << name;
    return item;
  }
  std::vector<std::string> Captions(const std::vector<const char*>& names) {
    std::vector<std::string> out;
    for (const char* name : names) out.push_back(Action(name) ? Action(name)->Text() : "");
    return out;
  }
  bool SettingsExist() { return std::filesystem::exists(settings); }

  // Connects through the dialog as a user would: menu, button, close.
  void ConnectThroughMenu() {
    apptest::OnNextModal(
        [](qm90ui::TForm& dialog) { Find<qm90ui::TButton>(dialog, "Button1")->Click(); });
    Action("Pipojen1")->Click();
  }
};

TEST_F(MainWindow, ShowsCaptionMenuAndBarePanels) {
  Start();
  EXPECT_EQ(form->Form().Caption(), " QM-90 (v.1.02) -  nastavení modulu");
  const char* panels[] = {" Modul", " Adresa", " Rychlost", ""};
  ASSERT_EQ(form->StatusBar()->PanelCount(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Panel(i), panels[i]);

  using Texts = std::vector<std::string>;
  EXPECT_EQ(Captions({"Pipojen1", "Nastaven1", "Okamitehodnoty1", "Konec2"}),
            (Texts{"&Připojení", "&Nastavení", "&Okamžité hodnoty", "&Konec"}));
  EXPECT_EQ(Captions({"AdresaRychlost1", "NastavDIO1", "Kalibracevstup1"}),
            (Texts{"Adresa, rychlost", "Digitální vstupy/výstupy", "Analogový výstup"}));
  EXPECT_EQ(Captions({"OkamAIN2", "OkamDIN2", "OkamDOUT1", "Statusregistr1"}),
            (Texts{"Analogový výstup", "Digitální vstupy", "Digitální výstupy", "Status registr"}));
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
  apptest::OnNextModal([](qm90ui::TForm&) {});
  Action("Pipojen1")->Click();
  EXPECT_EQ(Panel(0), " Modul  ");
  EXPECT_EQ(Panel(1), " Adresa  5");
  EXPECT_EQ(Panel(2), " Rychlost  19200Bd");
}

TEST_F(MainWindow, CancelRightAfterStartShowsTheDefaults) {
  Start();
  apptest::OnNextModal(
      [](qm90ui::TForm& dialog) { Find<qm90ui::TButton>(dialog, "Button2")->Click(); });
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
      {"Konec", [](auto& f) { f->Form().FindMenuItem("Konec2")->Click(); }},
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
  apptest::OnNextModal([&](qm90ui::TForm& dialog) {
    Find<qm90ui::TButton>(dialog, "Button1")->Click();
    form->Close();
    // The dialog has ended (it is hidden once its modal run returns) while the
    // record is still there.
    dialog_closed_first =
        dialog.ModalResult() == qm90ui::TModalResult::kCancel && form->Data() != nullptr;
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
  apptest::OnNextModal([&](qm90ui::TForm&) { dialog_shown = true; });
  for (const char* item : {"Pipojen1", "AdresaRychlost1", "OkamDIN2"}) Action(item)->Click();
  qm90ui::ProcessMessages();
  EXPECT_FALSE(dialog_shown);
  EXPECT_EQ(Panel(0), " Modul");
  form->Close();
  EXPECT_FALSE(SettingsExist());
}

// Reads the record pointer of whatever dialog class the modal window is.
template <typename T>
std::pair<bool, TData*> DialogRecord(qm90ui::TForm& modal) {
  auto* dialog = dynamic_cast<T*>(TFormWindow::WindowOf(&modal));
  return {dialog != nullptr, dialog ? dialog->Data : nullptr};
}

TEST_F(MainWindow, EveryMenuItemOpensAFreshDialogOwnedByTheWindow) {
  struct Row {
    const char* action;
    std::pair<bool, TData*> (*record)(qm90ui::TForm&);
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
    qm90ui::TForm* owner = nullptr;
    const qm90ui::TForm* shown = nullptr;
    apptest::OnNextModal([&](qm90ui::TForm& dialog) {
      seen = row.record(dialog);
      owner = dialog.Owner();
      shown = &dialog;
    });
    Action(row.action)->Click();
    EXPECT_TRUE(seen.first);
    EXPECT_EQ(seen.second, form->Data());
    EXPECT_EQ(owner, &form->Form());
    EXPECT_EQ(TFormWindow::WindowOf(shown), nullptr);  // gone once closed
  }
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

}  // namespace
