// The program against a driver library that misbehaves: answers full of
// garbage, error texts without an end, Init that reports success without a
// handle, Done that fails. Each window shows a message and goes on.
#include "tests/scripted/ScriptedDriver.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
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
#include "link/QBLxxx.h"
#include "tests/support/QtWindow.h"
#include "tests/support/ShowWindow.h"
#include "tests/support/TempDir.h"
#include "ui/qt/Widgets.h"

namespace {

using scripted::Entry;
using scripted::Script;

constexpr std::uint8_t kKind = 0;
const QString kNotInitialised = QStringLiteral(" Připojení k modulu není inicializováno.");

QString StatusOf(qm90test::TWin form) {
  auto* bar = form->findChild<qm90qt::TStatusBar*>("StatusBar1");
  return bar ? bar->PanelText(0) : QStringLiteral("<no status bar>");
}

QString Labels(qm90test::TWin form, int first, int count) {
  QString bits;
  for (int i = 0; i < count; ++i) {
    auto* label = form->findChild<QLabel*>(QStringLiteral("Label%1").arg(first + i));
    bits += label ? label->text() : QStringLiteral("?");
  }
  return bits;
}

std::uint8_t Boxes(qm90test::TWin form, int first) {
  std::uint8_t byte = 0;
  for (int k = 0; k < 8; ++k) {
    auto* box = form->findChild<QCheckBox*>(QStringLiteral("CheckBox%1").arg(first + k));
    if (box && box->isChecked()) byte |= 1u << k;
  }
  return byte;
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
  const QString ef = QStringLiteral("11110111");  // 0xEF, bit 0 first

  auto din = qm90test::ShowStopped<TForm11>(&data_);
  din->Timer1Timer();
  EXPECT_EQ(Labels(din.get(), 33, 8), ef);

  auto status = qm90test::ShowStopped<TForm15>(&data_);
  status->Timer1Timer();
  EXPECT_EQ(Labels(status.get(), 33, 32), ef + ef + ef + ef);

  auto dio = qm90test::ShowStopped<TForm14>(&data_);
  dio->Button2Click();
  EXPECT_EQ(StatusOf(dio.get()), QStringLiteral(" Konfigurace přečtena."));
  for (int first : {1, 33, 65}) EXPECT_EQ(Boxes(dio.get(), first), 0xEF) << first;

  // The baud-rate register reads as 239: no rate selected, nothing written.
  auto adr = qm90test::ShowStopped<TForm12>(&data_);
  adr->Button2Click();
  EXPECT_EQ(qm90test::Win(adr)->findChild<QLineEdit*>("Edit1")->text(), QStringLiteral("239"));
  EXPECT_EQ(qm90test::Win(adr)->findChild<QComboBox*>("ComboBox1")->currentIndex(), -1);
  const std::size_t sends = Sends();
  adr->Button1Click();
  EXPECT_EQ(StatusOf(adr.get()),
            QStringLiteral(" Komunikační rychlost musí být v rozsahu 600Bd-115200Bd."));
  EXPECT_EQ(Sends(), sends);

  auto aout = qm90test::ShowStopped<TForm4>(&data_);
  aout->Button2Click();
  EXPECT_EQ(qm90test::Win(aout)->findChild<QLineEdit*>("Edit1")->text(),
            QStringLiteral("61423"));  // 0xEFEF
}

// The identification is twelve characters 0xEF ("ď" in Windows-1250).
TEST_F(HostileDriver, GarbageIdentificationIsShownAsCharacters) {
  Script().hostile.garbage_answer = true;
  TForm2 form(nullptr);
  form.Data = &data_;
  form.Show();
  form.Button1Click();
  const QString d8(8, QChar(0x010F)), d4(4, QChar(0x010F));
  EXPECT_EQ(qm90test::Win(&form)->findChild<QLabel*>("Panel1")->text(),
            QStringLiteral("Připojení úspěšně inicializováno. Připojen modul   ") + d8 +
                QStringLiteral(" v.") + d4);
  EXPECT_TRUE(data_.LinkOpen);
}

// Error fills all 100 slots with 'X' and no terminating zero. Every window
// shows at most 100 characters of it after its blank.
TEST_F(HostileDriver, ErrorTextWithoutEndIsCutAtOneHundredCharacters) {
  OpenLink();
  Script().hostile.unterminated_error = true;
  const QString hundred(100, 'X');
  struct Case {
    const char* window;
    std::function<QString()> act;  // fails one exchange, returns the status text
  };
  auto din = qm90test::ShowStopped<TForm11>(&data_);
  auto status = qm90test::ShowStopped<TForm15>(&data_);
  auto dio = qm90test::ShowStopped<TForm14>(&data_);
  auto aout = qm90test::ShowStopped<TForm3>(&data_);
  const Case cases[] = {
      {"TForm11",
       [&] {
         din->Timer1Timer();
         return StatusOf(din.get());
       }},
      {"TForm15 poll",
       [&] {
         status->Timer1Timer();
         return StatusOf(status.get());
       }},
      {"TForm15 clear",
       [&] {
         status->Button2Click();
         return StatusOf(status.get());
       }},
      {"TForm14",
       [&] {
         dio->Button1Click();
         return StatusOf(dio.get());
       }},
      {"TForm3",
       [&] {
         aout->Button1Click();
         return StatusOf(aout.get());
       }},
  };
  for (const Case& c : cases) {
    Script().answers.push_back(scripted::Fail(5));
    EXPECT_EQ(c.act(), QStringLiteral(" ") + hundred) << c.window;
  }
  // A good poll asks for the text of status 0 as well.
  Script().module.inputs = 0x81;
  din->Timer1Timer();
  EXPECT_EQ(Labels(din.get(), 33, 8), QStringLiteral("10000001"));
  EXPECT_EQ(StatusOf(din.get()), QStringLiteral(" ") + hundred);
}

TEST_F(HostileDriver, ConnectionDialogShowsAnUnendedInitErrorCut) {
  Script().hostile.unterminated_error = true;
  Script().init_result = 3;
  TForm2 form(nullptr);
  form.Data = &data_;
  form.Show();
  form.Button1Click();
  const QString shown = qm90test::Win(&form)->findChild<QLabel*>("Panel1")->text();
  EXPECT_EQ(shown, QStringLiteral("Chyba inicializace připojení - ") + QString(100, 'X'));
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
  const QString shown = qm90test::Win(&form)->findChild<QLabel*>("Panel1")->text();
  RecordProperty("connection_dialog_text", shown.toStdString());
  EXPECT_FALSE(shown.startsWith(QStringLiteral("Připojení úspěšně inicializováno")));
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
    std::function<QString()> act;
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
         return StatusOf(din.get());
       }},
      {"TForm15 poll",
       [&] {
         status->Timer1Timer();
         return StatusOf(status.get());
       }},
      {"TForm15 clear",
       [&] {
         status->Button2Click();
         return StatusOf(status.get());
       }},
      {"TForm9 write",
       [&] {
         dout->Button1Click();
         return StatusOf(dout.get());
       }},
      {"TForm3 write",
       [&] {
         aout->Button1Click();
         return StatusOf(aout.get());
       }},
      {"TForm12 write",
       [&] {
         adr->Button1Click();
         return StatusOf(adr.get());
       }},
      {"TForm12 read",
       [&] {
         adr->Button2Click();
         return StatusOf(adr.get());
       }},
      {"TForm14 write",
       [&] {
         dio->Button1Click();
         return StatusOf(dio.get());
       }},
      {"TForm14 read",
       [&] {
         dio->Button2Click();
         return StatusOf(dio.get());
       }},
      {"TForm4 write",
       [&] {
         aout_init->Button1Click();
         return StatusOf(aout_init.get());
       }},
      {"TForm4 read",
       [&] {
         aout_init->Button2Click();
         return StatusOf(aout_init.get());
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
  ASSERT_EQ(Labels(din.get(), 33, 8), QStringLiteral("11111111"));
  Script().hostile.silent_send = true;
  din->Timer1Timer();
  EXPECT_EQ(Labels(din.get(), 33, 8), QStringLiteral("00000000"));
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
  EXPECT_TRUE(qm90test::Win(&form)->findChild<QLabel*>("Panel1")->text().startsWith(
      QStringLiteral("Připojení úspěšně inicializováno")));
}

}  // namespace
