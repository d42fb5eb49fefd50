// Each window's behaviour through ui/ alone, against the scripted driver
// library, so that the same source runs on each backend: the connection
// dialog's rows and texts, a settings dialog's write and its held Cancel, the
// inputs view's poll, its close during an exchange, the main window's panels.
#include "tests/scripted/ScriptedDriver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "app/Hlavni.h"
#include "dialogs/NastavAdr.h"
#include "dialogs/OkamDIN.h"
#include "dialogs/Pripojeni.h"
#include "link/QBLxxx.h"
#include "tests/support/ShowWindow.h"
#include "tests/support/UiTest.h"
#include "ui/Application.h"

namespace {

using qm90test::Find;
using qm90test::ShowStopped;
using qm90test::ShowWindow;
using qm90test::TextOf;
using scripted::Script;

class WindowsBehaviour : public ::testing::Test {
 protected:
  void SetUp() override {
    scripted::Reset();
    Script().responder = scripted::ModuleResponder();
    Script().error_texts[0] = "V poradku";
    SetDriverDirectory(QM90_SCRIPTED_DIR);
    SetDataDefaults(&data);
  }
  void TearDown() override {
    if (data.LinkOpen && data.LinkHandle != 0) DrvClose(data.InterfaceKind, &data.LinkHandle);
    SetDriverDirectory("");
  }
  // The PCI card's scripted library opened as the link, at address 1.
  void OpenLink() {
    TInitBlock block{};
    ASSERT_EQ(DrvOpen(2, &data.LinkHandle, &block), 0);
    data.InterfaceKind = 2;
    data.LinkOpen = true;
    data.ModuleAddress = 1;
    Script().calls.clear();
  }

  TData data;
};

TEST_F(WindowsBehaviour, ConnectionDialogShowsTheRowsOfTheKind) {
  const struct {
    int kind;
    const char* label3;  // "": no parameter row
    bool lan_rows;
  } rows[] = {{0, "Číslo portu COMx", false},
              {1, "Bázová adresa QB-311", false},
              {2, "", false},
              {3, "", false},
              {4, "IP adresa", true}};
  auto form = ShowWindow<TForm2>(&data);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.kind);
    Find<qm90ui::TComboList>(*form, "ComboBox2")->Pick(row.kind);
    EXPECT_EQ(Find<qm90ui::TEdit>(*form, "Edit2")->Visible(), *row.label3 != 0);
    if (*row.label3) {
      EXPECT_EQ(TextOf(*form, "Label3"), row.label3);
    }
    EXPECT_EQ(Find<qm90ui::TEdit>(*form, "Edit3")->Visible(), row.lan_rows);
    EXPECT_EQ(Find<qm90ui::TEdit>(*form, "Edit4")->Visible(), row.lan_rows);
  }
}

TEST_F(WindowsBehaviour, ConnectionDialogConnectsOrSaysWhatIsWrong) {
  const struct {
    int kind;
    const char* ip;
    const char* status_starts;
    bool open;
  } cases[] = {
      {2, "", "Připojení úspěšně inicializováno. Připojen modul   ", true},
      {4, "", "Neplatná IP adresa", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    auto form = ShowWindow<TForm2>(&data);
    Find<qm90ui::TComboList>(*form, "ComboBox2")->Pick(c.kind);
    if (c.kind == 4) Find<qm90ui::TEdit>(*form, "Edit2")->SetText(c.ip);
    Find<qm90ui::TButton>(*form, "Button1")->Click();
    EXPECT_EQ(TextOf(*form, "Panel1").rfind(c.status_starts, 0), 0u) << TextOf(*form, "Panel1");
    EXPECT_EQ(data.LinkOpen, c.open);
    Find<qm90ui::TButton>(*form, "Button2")->Click();
    EXPECT_FALSE(form->Form().Visible());
  }
}

TEST_F(WindowsBehaviour, SettingsWriteWaitsWithCancelUntilTheTransferEnds) {
  OpenLink();
  auto form = ShowWindow<TForm12>(&data);
  Find<qm90ui::TEdit>(*form, "Edit1")->SetText("7");
  bool visible_throughout = true;
  int requests = 0;
  Script().responder = [&](const std::uint8_t request[8]) {
    visible_throughout = visible_throughout && form->Form().Visible();
    if (requests++ == 0) Find<qm90ui::TButton>(*form, "Button4")->Click();  // "Cancel"
    return scripted::ModuleAnswer(Script().module, scripted::Decode(request));
  };
  Find<qm90ui::TButton>(*form, "Button1")->Click();  // "Zapsat"
  EXPECT_EQ(requests, 4);                            // two writes, each read back
  EXPECT_EQ(Script().module.registers[63], 7);
  EXPECT_TRUE(visible_throughout);
  EXPECT_FALSE(form->Form().Visible());
  EXPECT_EQ(Find<qm90ui::TStatusBar>(*form, "StatusBar1")->PanelText(0), " Konfigurace zapsána.");
}

TEST_F(WindowsBehaviour, InputsViewShowsThePollAndTheMissingLink) {
  auto unlinked = ShowStopped<TForm11>(&data);
  unlinked->Timer1Timer();
  EXPECT_EQ(Find<qm90ui::TStatusBar>(*unlinked, "StatusBar1")->PanelText(0),
            " Připojení k modulu není inicializováno.");
  EXPECT_TRUE(Script().CallsOf(scripted::Entry::Send).empty());

  OpenLink();
  Script().module.inputs = 0xA5;
  auto form = ShowStopped<TForm11>(&data);
  form->Timer1Timer();
  std::string bits;
  for (int i = 0; i < 8; ++i) bits += TextOf(*form, "Label" + std::to_string(33 + i));
  EXPECT_EQ(bits, "10100101");
  EXPECT_EQ(Find<qm90ui::TStatusBar>(*form, "StatusBar1")->PanelText(0), " V poradku");
}

TEST_F(WindowsBehaviour, InputsViewClosedDuringAPollClosesAfterIt) {
  OpenLink();
  auto form = ShowStopped<TForm11>(&data);
  bool visible_inside = false;
  Script().responder = [&](const std::uint8_t*) {
    Find<qm90ui::TButton>(*form, "Button1")->Click();  // "Cancel"
    form->Form().PressKey(qm90ui::TKey::kEscape);
    visible_inside = form->Form().Visible();
    return scripted::Ok();
  };
  form->Timer1Timer();
  EXPECT_TRUE(visible_inside);
  EXPECT_FALSE(form->Form().Visible());
  form->Timer1Timer();  // closed: nothing more is sent
  EXPECT_EQ(Script().CallsOf(scripted::Entry::Send).size(), 1u);
}

TEST_F(WindowsBehaviour, MainWindowShowsTheModuleAfterTheConnectionDialog) {
  const std::string settings = ::testing::TempDir() + "ui_windows_W_qm90.ini";
  SetSettingsFilePath(settings);
  {
    TForm1 main;
    main.Show();
    main.Data()->InterfaceKind = 2;
    main.Data()->ModuleAddress = 1;
    bool acted = false;
    qm90ui::Post([&] {
      qm90ui::TForm* dialog = qm90ui::ActiveModalForm();
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->Name(), "TForm2");
      dialog->FindAs<qm90ui::TButton>("Button1")->Click();
      dialog->FindAs<qm90ui::TButton>("Button2")->Click();
      acted = true;
    });
    main.Form().FindMenuItem("Pipojen1")->Click();
    EXPECT_TRUE(acted);
    EXPECT_TRUE(main.Data()->LinkOpen);
    qm90ui::TStatusBar* bar = main.StatusBar();
    EXPECT_EQ(bar->PanelText(0), " Modul  QM-90-01 v.1.02");
    EXPECT_EQ(bar->PanelText(1), " Adresa  1");
    EXPECT_EQ(bar->PanelText(2), " Rychlost  9600Bd");
    main.Close();
    EXPECT_FALSE(main.Form().Visible());
    EXPECT_EQ(Script().CallsOf(scripted::Entry::Done).size(), 1u);
  }
  SetSettingsFilePath("");
  std::remove(settings.c_str());
}

}  // namespace
