// The program against a driver library that misbehaves: answers full of
// garbage, error texts without an end, Init that reports success without a
// handle, Done that fails. Each window shows a message and goes on.
#include "tests/scripted/ScriptedDriver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/Hlavni.h"
#include "dialogs/NastavAOUT.h"
#include "dialogs/NastavAdr.h"
#include "dialogs/NastavDIO.h"
#include "dialogs/OkamAOUT.h"
#include "dialogs/OkamDIN.h"
#include "dialogs/OkamDOUT.h"
#include "dialogs/Pripojeni.h"
#include "dialogs/StatReg.h"
#include "link/QBLxxx.h"
#include "tests/live/LiveFixture.h"
#include "tests/support/ShowWindow.h"
#include "tests/support/TempDir.h"

namespace {

using scripted::Entry;
using scripted::Script;

constexpr std::uint8_t kKind = 0;
const std::string kNotInitialised = " Připojení k modulu není inicializováno.";

using livetest::StatusOf;

std::string Labels(const TFormWindow& form, int first, int count) {
  return livetest::Bits(form, first, count);
}

std::uint8_t Boxes(const TFormWindow& form, int first) {
  std::uint8_t byte = 0;
  for (int k = 0; k < 8; ++k) {
    auto* box = form.Form().FindAs<qm90ui::TCheckBox>("CheckBox" + std::to_string(first + k));
    if (box && box->Checked()) byte |= 1u << k;
  }
  return byte;
}

std::string PanelText(const TFormWindow& form) {
  return livetest::Text(form, "Panel1");
}

class HostileDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    scripted::Reset();
    Script().responder = scripted::ModuleResponder();
    SetDriverDirectory(QM90_SCRIPTED_DIR);
    SetDataDefaults(&data_);
    data_.ModuleAddress = 1;
  }
  void TearDown() override {
    if (data_.LinkOpen && data_.LinkHandle != 0) DrvClose(data_.InterfaceKind, &data_.LinkHandle);
    data_.LinkOpen = false;
    SetDriverDirectory("");
  }
  void OpenLink() {
    data_.InterfaceKind = kKind;
    data_.InitBlock = {};
    data_.InitBlock[0] = 1;
    ASSERT_EQ(DrvOpen(kKind, &data_.LinkHandle, &data_.InitBlock), 0);
    ASSERT_NE(data_.LinkHandle, 0);
    data_.LinkOpen = true;
  }
  std::size_t Sends() const { return Script().CallsOf(Entry::Send).size(); }

  TData data_{};
};

// 0xDEADBEEF in every answer slot: only the low byte 0xEF of each counts.
TEST_F(HostileDriver, GarbageInEveryAnswerSlotShowsOnlyTheLowBytes) {
  OpenLink();
  Script().hostile.garbage_answer = true;
  const std::string ef = "11110111";  // 0xEF, bit 0 first

  auto din = qm90test::ShowStopped<TForm11>(&data_);
  din->Timer1Timer();
  EXPECT_EQ(Labels(*din, 33, 8), ef);

  auto status = qm90test::ShowStopped<TForm15>(&data_);
  status->Timer1Timer();
  EXPECT_EQ(Labels(*status, 33, 32), ef + ef + ef + ef);

  auto dio = qm90test::ShowStopped<TForm14>(&data_);
  dio->Button2Click();
  EXPECT_EQ(StatusOf(*dio), " Konfigurace přečtena.");
  for (int first : {1, 33, 65}) EXPECT_EQ(Boxes(*dio, first), 0xEF) << first;

  // The baud-rate register reads as 239: no rate selected, nothing written.
  auto adr = qm90test::ShowStopped<TForm12>(&data_);
  adr->Button2Click();
  EXPECT_EQ(livetest::Text(*adr, "Edit1"), "239");
  EXPECT_EQ(livetest::Find<qm90ui::TComboList>(*adr, "ComboBox1")->ItemIndex(), -1);
  const std::size_t sends = Sends();
  adr->Button1Click();
  EXPECT_EQ(StatusOf(*adr), " Komunikační rychlost musí být v rozsahu 600Bd-115200Bd.");
  EXPECT_EQ(Sends(), sends);

  auto aout = qm90test::ShowStopped<TForm4>(&data_);
  aout->Button2Click();
  EXPECT_EQ(livetest::Text(*aout, "Edit1"), "61423");  // 0xEFEF
}

// The identification is twelve characters 0xEF ("ď" in Windows-1250).
TEST_F(HostileDriver, GarbageIdentificationIsShownAsCharacters) {
  Script().hostile.garbage_answer = true;
  TForm2 form(nullptr);
  form.Data = &data_;
  form.Show();
  form.Button1Click();
  std::string d4, d8;
  for (int i = 0; i < 4; ++i) d4 += "ď";
  d8 = d4 + d4;
  EXPECT_EQ(PanelText(form),
            "Připojení úspěšně inicializováno. Připojen modul   " + d8 + " v." + d4);
  EXPECT_TRUE(data_.LinkOpen);
}

// Error fills all 100 slots with 'X' and no terminating zero. Every window
// shows at most 100 characters of it after its blank.
TEST_F(HostileDriver, ErrorTextWithoutEndIsCutAtOneHundredCharacters) {
  OpenLink();
  Script().hostile.unterminated_error = true;
  const std::string hundred(100, 'X');
  struct Case {
    const char* window;
    std::function<std::string()> act;  // fails one exchange, returns the status text
  };
  auto din = qm90test::ShowStopped<TForm11>(&data_);
  auto status = qm90test::ShowStopped<TForm15>(&data_);
  auto dio = qm90test::ShowStopped<TForm14>(&data_);
  auto aout = qm90test::ShowStopped<TForm3>(&data_);
  const Case cases[] = {
      {"TForm11",
       [&] {
         din->Timer1Timer();
         return StatusOf(*din);
       }},
      {"TForm15 poll",
       [&] {
         status->Timer1Timer();
         return StatusOf(*status);
       }},
      {"TForm15 clear",
       [&] {
         status->Button2Click();
         return StatusOf(*status);
       }},
      {"TForm14",
       [&] {
         dio->Button1Click();
         return StatusOf(*dio);
       }},
      {"TForm3",
       [&] {
         aout->Button1Click();
         return StatusOf(*aout);
       }},
  };
  for (const Case& c : cases) {
    Script().answers.push_back(scripted::Fail(5));
    EXPECT_EQ(c.act(), " " + hundred) << c.window;
  }
  // A good poll asks for the text of status 0 as well.
  Script().module.inputs = 0x81;
  din->Timer1Timer();
  EXPECT_EQ(Labels(*din, 33, 8), "10000001");
  EXPECT_EQ(StatusOf(*din), " " + hundred);
}

TEST_F(HostileDriver, ConnectionDialogShowsAnUnendedInitErrorCut) {
  Script().hostile.unterminated_error = true;
  Script().init_result = 3;
  TForm2 form(nullptr);
  form.Data = &data_;
  form.Show();
  form.Button1Click();
  EXPECT_EQ(PanelText(form), "Chyba inicializace připojení - " + std::string(100, 'X'));
  EXPECT_FALSE(data_.LinkOpen);
}

// Init returns 0 but leaves the handle 0: the connection dialog must not
// leave the link open, and every other window refuses without sending.
TEST_F(HostileDriver, InitWithoutHandleLeavesNoOpenLink) {
  Script().hostile.zero_handle_init = true;
  TForm2 form(nullptr);
  form.Data = &data_;
  form.Show();
  form.Button1Click();
  const std::string shown = PanelText(form);
  RecordProperty("connection_dialog_text", shown);
  EXPECT_NE(shown.rfind("Připojení úspěšně inicializováno", 0), 0u);
  EXPECT_EQ(data_.LinkHandle, 0);
  EXPECT_FALSE(data_.LinkOpen);
  EXPECT_EQ(Sends(), 0u);
}

// However the record came to hold an open flag with handle 0, no window sends.
TEST_F(HostileDriver, EveryWindowRefusesALinkWithHandleZero) {
  OpenLink();
  std::int32_t real_handle = data_.LinkHandle;
  data_.LinkHandle = 0;
  struct Case {
    const char* window;
    std::function<std::string()> act;
  };
  auto din = qm90test::ShowStopped<TForm11>(&data_);
  auto status = qm90test::ShowStopped<TForm15>(&data_);
  auto dout = qm90test::ShowStopped<TForm9>(&data_);
  auto aout = qm90test::ShowStopped<TForm3>(&data_);
  auto adr = qm90test::ShowStopped<TForm12>(&data_);
  auto dio = qm90test::ShowStopped<TForm14>(&data_);
  auto aout_init = qm90test::ShowStopped<TForm4>(&data_);
  const Case cases[] = {
      {"TForm11 poll",
       [&] {
         din->Timer1Timer();
         return StatusOf(*din);
       }},
      {"TForm15 poll",
       [&] {
         status->Timer1Timer();
         return StatusOf(*status);
       }},
      {"TForm15 clear",
       [&] {
         status->Button2Click();
         return StatusOf(*status);
       }},
      {"TForm9 write",
       [&] {
         dout->Button1Click();
         return StatusOf(*dout);
       }},
      {"TForm3 write",
       [&] {
         aout->Button1Click();
         return StatusOf(*aout);
       }},
      {"TForm12 write",
       [&] {
         adr->Button1Click();
         return StatusOf(*adr);
       }},
      {"TForm12 read",
       [&] {
         adr->Button2Click();
         return StatusOf(*adr);
       }},
      {"TForm14 write",
       [&] {
         dio->Button1Click();
         return StatusOf(*dio);
       }},
      {"TForm14 read",
       [&] {
         dio->Button2Click();
         return StatusOf(*dio);
       }},
      {"TForm4 write",
       [&] {
         aout_init->Button1Click();
         return StatusOf(*aout_init);
       }},
      {"TForm4 read",
       [&] {
         aout_init->Button2Click();
         return StatusOf(*aout_init);
       }},
  };
  for (const Case& c : cases) EXPECT_EQ(c.act(), kNotInitialised) << c.window;
  EXPECT_EQ(Sends(), 0u);
  data_.LinkHandle = real_handle;
}

// Send reports success and writes nothing: the windows show zeros, never
// bytes left over from an earlier answer.
TEST_F(HostileDriver, SendThatWritesNothingShowsNoLeftovers) {
  OpenLink();
  Script().module.inputs = 0xFF;
  auto din = qm90test::ShowStopped<TForm11>(&data_);
  din->Timer1Timer();
  ASSERT_EQ(Labels(*din, 33, 8), "11111111");
  Script().hostile.silent_send = true;
  din->Timer1Timer();
  EXPECT_EQ(Labels(*din, 33, 8), "00000000");
}

class HostileDone : public HostileDriver {
 protected:
  void SetUp() override {
    HostileDriver::SetUp();
    ASSERT_FALSE(folder_.Path().empty());
    SetSettingsFilePath(folder_.File("W_qm90.ini"));
    Script().done_result = 7;
  }
  void TearDown() override {
    SetSettingsFilePath("");
    HostileDriver::TearDown();
  }
  qm90test::TempDir folder_{"qm90-hostile"};
};

// Done fails: closing the main window still saves, unloads the library and ends.
TEST_F(HostileDone, ClosingTheMainWindowEndsNormally) {
  auto main = std::make_unique<TForm1>();
  main->Show();
  TData& data = *main->Data();
  data.InterfaceKind = kKind;
  data.InitBlock = {};
  data.InitBlock[0] = 1;
  ASSERT_EQ(DrvOpen(kKind, &data.LinkHandle, &data.InitBlock), 0);
  data.LinkOpen = true;
  main->Close();
  EXPECT_FALSE(main->Form().Visible());
  EXPECT_EQ(Script().CallsOf(Entry::Done).size(), 1u);
  EXPECT_EQ(Script().loads, Script().unloads);
  EXPECT_TRUE(std::filesystem::exists(folder_.File("W_qm90.ini")));
  main.reset();
}

// Done fails when the connection dialog closes the old link: the new one
// opens all the same, from a freshly loaded library.
TEST_F(HostileDone, ReconnectingAfterAFailedDoneWorks) {
  TForm2 form(nullptr);
  form.Data = &data_;
  form.Show();
  form.Button1Click();
  ASSERT_TRUE(data_.LinkOpen);
  form.Button1Click();
  EXPECT_TRUE(data_.LinkOpen);
  EXPECT_NE(data_.LinkHandle, 0);
  EXPECT_EQ(Script().CallsOf(Entry::Done).size(), 1u);
  EXPECT_EQ(Script().loads, Script().unloads + 1);
  EXPECT_EQ(PanelText(form).rfind("Připojení úspěšně inicializováno", 0), 0u);
}

}  // namespace
