// The connection dialog against the scripted driver libraries.
#include "tests/scripted/ScriptedDriver.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/app/ConnectionDialogFixture.h"

namespace {

using apptest::Find;
using apptest::TextOf;
using scripted::Entry;
using scripted::Script;

const std::string kConnected = "Připojení úspěšně inicializováno. Připojen modul   ";

class ConnectionDialog : public apptest::ConnectionDialogFixture {
 protected:
  void Type(const char* edit, const std::string& text) {
    Find<qm90ui::TEdit>(*form, edit)->SetText(text);
  }
  std::string Field(const char* edit) { return TextOf(*form, edit); }
  bool Shown(const char* name) { return Find(*form, name)->Visible(); }
  std::string Status() { return TextOf(*form, "Panel1"); }
};

TEST_F(ConnectionDialog, FirstOpeningShowsTheDefaults) {
  Open();
  EXPECT_EQ(form->Form().Caption(), "Připojení modulu");
  EXPECT_EQ(TextOf(*form, "ComboBox2"), "Standardní COMx");
  EXPECT_EQ(TextOf(*form, "Label3"), "Číslo portu COMx");
  EXPECT_EQ(Field("Edit2"), "1");
  EXPECT_EQ(Field("Edit1"), "0");
  EXPECT_EQ(TextOf(*form, "ComboBox1"), "9600 Bd");
  EXPECT_FALSE(Shown("Edit3"));
  EXPECT_FALSE(Shown("Edit4"));
  EXPECT_EQ(Status(), "Připojení modulu dosud neinicializováno");
}

TEST_F(ConnectionDialog, KindRowsFollowTheSelectedItem) {
  struct Row {
    int kind;
    const char* label3;  // nullptr: row hidden
    std::string edit2;
    bool lan_rows;
  };
  const Row rows[] = {
      {0, "Číslo portu COMx", "1", false},
      {1, "Bázová adresa QB-311", "300h", false},
      {2, nullptr, "", false},
      {3, nullptr, "", false},
      {4, "IP adresa", kDefaultIpAddress, true},
  };
  Open();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    Type("Edit2", "typed");
    SelectKind(row.kind);
    EXPECT_EQ(Shown("Edit2"), row.label3 != nullptr);
    EXPECT_EQ(Shown("Label3"), row.label3 != nullptr);
    if (row.label3) {
      EXPECT_EQ(TextOf(*form, "Label3"), row.label3);
      EXPECT_EQ(Field("Edit2"), row.edit2);
    }
    EXPECT_EQ(Shown("Edit3"), row.lan_rows);
    EXPECT_EQ(Shown("Edit4"), row.lan_rows);
    if (row.lan_rows) {
      EXPECT_EQ(TextOf(*form, "Label6"), "UDP port");
      EXPECT_EQ(TextOf(*form, "Label7"), "UDP timeout");
      EXPECT_EQ(Field("Edit3"), "5000");
      EXPECT_EQ(Field("Edit4"), "100");
    }
  }
}

TEST_F(ConnectionDialog, KindOutsideTheListSelectsNothingAndIsRefused) {
  data.InterfaceKind = 13;  // low 3 bits: 5, no such item
  Open();
  EXPECT_EQ(data.InterfaceKind, 5);
  EXPECT_EQ(Find<qm90ui::TComboList>(*form, "ComboBox2")->ItemIndex(), -1);
  EXPECT_FALSE(Shown("Edit2"));
  Press();
  EXPECT_EQ(Status(), "Neznámý typ rozhraní");
  EXPECT_FALSE(data.LinkOpen);
  EXPECT_TRUE(Script().CallsOf(Entry::Init).empty());
}

TEST_F(ConnectionDialog, TabOrderFollowsTheFieldsOfTheForm) {
  Open();
  SelectKind(4);  // every field shown
  const std::vector<std::string> order = {"Edit1",   "Edit2",     "ComboBox1", "Button1",
                                          "Button2", "ComboBox2", "Edit3",     "Edit4"};
  Find(*form, order.front())->SetFocus();
  std::vector<std::string> chain;
  for (std::size_t i = 0; i < order.size(); ++i) {
    qm90ui::TControl* focused = form->Form().FocusedControl();
    chain.push_back(focused ? focused->Name() : "(none)");
    form->Form().PressKey(qm90ui::TKey::kTab);
  }
  EXPECT_EQ(chain, order);
  ASSERT_NE(form->Form().FocusedControl(), nullptr);
  EXPECT_EQ(form->Form().FocusedControl()->Name(), order.front());  // round again

  // Opened as the main window opens it, the dialog starts in the first field.
  TForm2 modal(nullptr);
  modal.Data = &data;
  std::string first = "(not shown)";
  apptest::OnNextModal([&](qm90ui::TForm& dialog) {
    qm90ui::ProcessMessages();
    qm90ui::TControl* focused = dialog.FocusedControl();
    first = focused ? focused->Name() : "(none)";
  });
  modal.ShowModal();
  EXPECT_EQ(first, order.front());
}

TEST_F(ConnectionDialog, IdentifiesTheModuleWithThreeChainedRequests) {
  Script().answers = {scripted::Ok(0x11, 'A', 'B', 'C', 'D'),
                      scripted::Ok(0x22, 'E', 'F', 'G', 'H'),
                      scripted::Ok(0x33, '1', '.', '0', '0')};
  data.InterfaceKind = 2;
  Open();
  Type("Edit1", "7");
  Press();

  const auto sent = scripted::SentRequests();
  ASSERT_EQ(sent.size(), 3u);
  const std::uint8_t expected_d0[] = {0, 0x11, 0x22};
  for (std::uint8_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(sent[i].address, 7);
    EXPECT_EQ(sent[i].command, 200);
    EXPECT_EQ(sent[i].subcode, i);
    EXPECT_EQ(sent[i].d0, expected_d0[i]);
    EXPECT_EQ(sent[i].d1 | sent[i].d2 | sent[i].d3 | sent[i].d4, 0);
  }
  EXPECT_EQ(data.ModuleName, "ABCDEFGH v.1.00");
  EXPECT_EQ(Status(), kConnected + "ABCDEFGH v.1.00");
  EXPECT_EQ(data.ConnectionStatus, "V pořádku");
  EXPECT_EQ(data.ModuleAddress, 7);
  EXPECT_EQ(data.BaudRate, 9600);
  EXPECT_TRUE(data.LinkOpen);
  EXPECT_EQ(data.LinkHandle, 4711);
}

TEST_F(ConnectionDialog, IdentificationBytesAreTakenAsWindows1250) {
  // 0x9A is "š" in Windows-1250; a zero byte keeps its place as a blank.
  Script().answers = {scripted::Ok(0, 'Q', 'M', 0x9A, '9'), scripted::Ok(0, '0', 0, '0', '1'),
                      scripted::Ok(0, '1', '.', '0', '2')};
  data.InterfaceKind = 3;
  Open();
  Press();
  EXPECT_EQ(data.ModuleName, "QMš90 01 v.1.02");
  EXPECT_EQ(qm90test::Utf8Length(data.ModuleName), 15u);
}

TEST_F(ConnectionDialog, SetConfigGetsTheRateAndTimingOfTheChosenSpeed) {
  struct Row {
    int index;
    std::int32_t baud, timing;
  };
  for (const Row& row : {Row{0, 600, 100}, Row{4, 9600, 13}, Row{8, 115200, 5}}) {
    SCOPED_TRACE(row.baud);
    scripted::Reset();
    Script().responder = scripted::ModuleResponder();
    data.InterfaceKind = 2;
    Open();
    Find<qm90ui::TComboList>(*form, "ComboBox1")->SetItemIndex(row.index);
    Press();
    const auto calls = Script().CallsOf(Entry::SetConfig);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].handle, 4711);
    EXPECT_EQ(calls[0].args[0], row.baud);
    EXPECT_EQ(calls[0].args[1], row.timing);
    EXPECT_EQ(calls[0].args[2], 2);
    EXPECT_EQ(data.BaudRate, row.baud);
    apptest::CloseLink(data);
  }
}

TEST_F(ConnectionDialog, InitGetsTheParametersOfEachKind) {
  struct Row {
    int kind;
    std::string edit2;
    std::int32_t init_param;
  };
  for (const Row& row : {Row{0, "3", 3}, Row{1, "2A0h", 0x2A0}, Row{2, "", 0}, Row{3, "", 0}}) {
    SCOPED_TRACE(row.kind);
    scripted::Reset();
    Script().responder = scripted::ModuleResponder();
    data.InterfaceKind = static_cast<std::uint8_t>(row.kind);
    Open();
    if (!row.edit2.empty()) Type("Edit2", row.edit2);
    Press();
    const auto inits = Script().CallsOf(Entry::Init);
    ASSERT_EQ(inits.size(), 1u);
    EXPECT_EQ(inits[0].kind, row.kind);
    EXPECT_EQ(inits[0].args[0], row.init_param);
    EXPECT_EQ(data.InitBlock[0], row.init_param);
    for (std::size_t i = 1; i < data.InitBlock.size(); ++i) EXPECT_EQ(data.InitBlock[i], 0);
    EXPECT_TRUE(data.LinkOpen);
    apptest::CloseLink(data);
  }
}

TEST_F(ConnectionDialog, LanInitBlockPointsAtTheStoredIpText) {
  data.InterfaceKind = 4;
  Open();
  Type("Edit2", "127.0.0.1");
  Type("Edit3", "47001");
  Type("Edit4", "250");
  Press();
  const auto inits = Script().CallsOf(Entry::Init);
  ASSERT_EQ(inits.size(), 1u);
  EXPECT_EQ(inits[0].ip_text, "127.0.0.1");
  EXPECT_EQ(inits[0].init_block[0], reinterpret_cast<std::intptr_t>(data.IpAddress.c_str()));
  EXPECT_EQ(inits[0].init_block[1], 47001);
  EXPECT_EQ(inits[0].init_block[2], 250);
  for (int i = 3; i < 16; ++i) EXPECT_EQ(inits[0].init_block[i], 0);
  EXPECT_EQ(data.IpAddress, "127.0.0.1");
  EXPECT_EQ(data.UdpPort, 47001);
  EXPECT_EQ(data.UdpTimeout, 250);
}

TEST_F(ConnectionDialog, FieldsThatAreNotNumbersTakeTheirDefaults) {
  struct Row {
    int kind;
    const char* edit;
    std::string typed;
    std::string shown;    // the field afterwards
    std::int32_t stored;  // ModuleAddress (Edit1), ComPort or IsaBaseAddress
    std::int32_t sent;    // request address (Edit1) or Init parameter
  };
  const Row rows[] = {
      {2, "Edit1", "300", "44", 44, 44},      {2, "Edit1", "-1", "255", 255, 255},
      {2, "Edit1", "abc", "0", 0, 0},         {1, "Edit2", "2A0h", "2A0h", 672, 672},
      {1, "Edit2", "300", "300h", 768, 768},  {1, "Edit2", "0300h", "300h", 768, 768},
      {1, "Edit2", "xyzh", "300h", 768, 768}, {0, "Edit2", "abc", "1", 1, 1},
      {0, "Edit2", "300", "300", 44, 300},    {0, "Edit2", "65537", "1", 1, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.typed);
    scripted::Reset();
    Script().responder = scripted::ModuleResponder();
    data.InterfaceKind = static_cast<std::uint8_t>(row.kind);
    Open();
    Type(row.edit, row.typed);
    Press();
    EXPECT_EQ(Field(row.edit), row.shown);
    const bool address_field = std::string(row.edit) == "Edit1";
    if (address_field) {
      EXPECT_EQ(data.ModuleAddress, row.stored);
      ASSERT_FALSE(scripted::SentRequests().empty());
      EXPECT_EQ(scripted::SentRequests()[0].address, row.sent);
    } else {
      EXPECT_EQ(row.kind == 0 ? data.ComPort : data.IsaBaseAddress, row.stored);
      ASSERT_EQ(Script().CallsOf(Entry::Init).size(), 1u);
      EXPECT_EQ(Script().CallsOf(Entry::Init)[0].args[0], row.sent);
    }
    apptest::CloseLink(data);
  }
}

TEST_F(ConnectionDialog, LanFieldsAreCheckedInTurn) {
  struct Row {
    std::string ip, port, timeout;
    std::string status;  // empty: accepted
  };
  const Row rows[] = {
      {"127.0.0.1", "65535", "0", ""},
      {"127.0.0.1", "65536", "100", "Neplatný UDP port"},
      {"127.0.0.1", "-1", "100", "Neplatný UDP port"},
      {"127.0.0.1", "", "100", "Neplatný UDP port"},
      {"127.0.0.1", "5000 ", "100", "Neplatný UDP port"},
      {"127.0.0.1", "5000", "65536", "Neplatný UDP timeout"},
      {"127.0.0.1", "5000", "", "Neplatný UDP timeout"},
      {"", "5000", "100", "Neplatná IP adresa"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.port + "/" + row.timeout);
    scripted::Reset();
    Script().responder = scripted::ModuleResponder();
    SetDataDefaults(&data);
    data.InterfaceKind = 4;
    Open();
    Type("Edit2", row.ip);
    Type("Edit3", row.port);
    Type("Edit4", row.timeout);
    Press();
    if (row.status.empty()) {
      EXPECT_TRUE(data.LinkOpen);
      EXPECT_EQ(data.UdpPort, 65535);
      EXPECT_EQ(data.UdpTimeout, 0);
    } else {
      EXPECT_EQ(Status(), row.status);
      EXPECT_FALSE(data.LinkOpen);
      EXPECT_TRUE(Script().CallsOf(Entry::Init).empty());
      // What was read before the refused field is kept.
      if (!row.ip.empty()) {
        EXPECT_EQ(data.IpAddress, "127.0.0.1");
      }
      if (row.status == "Neplatný UDP timeout") {
        EXPECT_EQ(data.UdpPort, 5000);
      }
    }
    apptest::CloseLink(data);
  }
}

// One row of the failure table: what the library does and what must follow.
struct Failure {
  const char* name;
  std::function<void()> script;
  std::string status;
  bool init_called;
  bool done_called;
};

TEST_F(ConnectionDialog, FailuresLeaveTheLinkClosedAndThePreviousModule) {
  const Failure rows[] = {
      {"library missing", [] { SetDriverDirectory("/nonexistent-qm90-folder"); },
       "Chyba inicializace připojení - chyba inicializace knihovny QBL314.DLL", false, false},
      {"init fails",
       [] {
         Script().init_result = 7;
         Script().error_texts[7] = "port nelze otev\xF8\xEDt";
       },
       "Chyba inicializace připojení - port nelze otevřít", true, false},
      {"set config fails",
       [] {
         Script().set_config_result = 5;
         Script().error_texts[5] = "chybn\xE1 rychlost";
       },
       "Chyba inicializace připojení - chybná rychlost", true, true},
      {"identification status",
       [] {
         Script().answers = {scripted::Ok(1, 'Q', 'M', '-', '9'), scripted::Fail(3)};
         Script().error_texts[3] =
             "modul neodpov\xED"
             "d\xE1";
       },
       "modul neodpovídá", true, true},
      {"send result", [] { Script().answers = {scripted::SendFails(4)}; }, "kod 4", true, true},
      {"init gives handle 0", [] { Script().hostile.zero_handle_init = true; },
       "neznámý chybový kód", true, true},
  };
  for (const Failure& row : rows) {
    SCOPED_TRACE(row.name);
    scripted::Reset();
    Script().responder = scripted::ModuleResponder();
    Script().done_handle = 0;
    SetDriverDirectory(QM90_SCRIPTED_DIR);
    SetDataDefaults(&data);
    data.InterfaceKind = 4;
    data.IpAddress = "127.0.0.1";
    data.ModuleName = "PREVIOUS v.0.01";
    data.ConnectionStatus = "V pořádku";
    data.ModuleAddress = 9;
    data.BaudRate = 19200;
    data.LinkHandle = 0;
    row.script();
    Open();
    Type("Edit1", "3");
    Press();
    EXPECT_EQ(Status(), row.status);
    EXPECT_FALSE(data.LinkOpen);
    EXPECT_EQ(data.LinkHandle, 0);
    EXPECT_EQ(data.ModuleName, "PREVIOUS v.0.01");
    EXPECT_EQ(data.ConnectionStatus, "V pořádku");
    EXPECT_EQ(data.ModuleAddress, 9);
    EXPECT_EQ(data.BaudRate, 19200);
    EXPECT_EQ(Script().CallsOf(Entry::Init).size(), row.init_called ? 1u : 0u);
    EXPECT_EQ(Script().CallsOf(Entry::Done).size(), row.done_called ? 1u : 0u);
    EXPECT_FALSE(DrvLibraryLoaded() && row.done_called);
  }
}

TEST_F(ConnectionDialog, DoneLeavesItsHandleInTheRecord) {
  Script().set_config_result = 5;
  Script().done_handle = 99;
  data.InterfaceKind = 2;
  Open();
  Press();
  EXPECT_EQ(data.LinkHandle, 99);
  EXPECT_FALSE(data.LinkOpen);
}

TEST_F(ConnectionDialog, SecondPressClosesTheFirstLinkBeforeOpeningAgain) {
  data.InterfaceKind = 2;
  Open();
  Press();
  ASSERT_TRUE(data.LinkOpen);
  Script().done_handle = 0;
  Script().init_handle = 815;
  Press();
  std::vector<Entry> order;
  for (const auto& call : Script().calls)
    if (call.entry == Entry::Init || call.entry == Entry::Done) order.push_back(call.entry);
  EXPECT_EQ(order, (std::vector<Entry>{Entry::Init, Entry::Done, Entry::Init}));
  EXPECT_EQ(Script().CallsOf(Entry::Done)[0].handle, 4711);
  EXPECT_TRUE(data.LinkOpen);
  EXPECT_EQ(data.LinkHandle, 815);
}

TEST_F(ConnectionDialog, BadFieldAfterASuccessClosesTheLinkButKeepsTheModule) {
  data.InterfaceKind = 4;
  data.IpAddress = "127.0.0.1";
  Open();
  Press();
  ASSERT_TRUE(data.LinkOpen);
  const std::string name = data.ModuleName;
  Type("Edit3", "x");
  Press();
  EXPECT_EQ(Status(), "Neplatný UDP port");
  EXPECT_FALSE(data.LinkOpen);
  EXPECT_EQ(Script().CallsOf(Entry::Done).size(), 1u);
  EXPECT_EQ(data.ModuleName, name);
  EXPECT_EQ(data.ConnectionStatus, "V pořádku");
}

TEST_F(ConnectionDialog, CancelKeepsWhatWasStoredAndTheOpenLink) {
  data.InterfaceKind = 2;
  Open();
  Press();
  ASSERT_TRUE(data.LinkOpen);
  Find<qm90ui::TButton>(*form, "Button2")->Click();
  EXPECT_FALSE(form->Form().Visible());
  EXPECT_EQ(form->Form().ModalResult(), qm90ui::TModalResult::kCancel);
  EXPECT_TRUE(data.LinkOpen);
  EXPECT_TRUE(Script().CallsOf(Entry::Done).empty());
}

TEST_F(ConnectionDialog, WithoutRecordNothingHappens) {
  form.emplace(nullptr);
  form->Show();
  Press();
  EXPECT_TRUE(Script().calls.empty());
  EXPECT_EQ(Status(), "");
  // The same click with the record opens the link: the button is wired.
  form->Data = &data;
  Press();
  EXPECT_FALSE(Script().calls.empty());
  EXPECT_TRUE(data.LinkOpen);
  EXPECT_NE(Status(), "");
}

}  // namespace
