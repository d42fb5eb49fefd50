// The three settings dialogs against the real module emulator over UDP on
// 127.0.0.1 through the real QBL314: write everything, power-cycle the module,
// read everything back. A new address takes effect only after power-up.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <memory>

#include "dialogs/NastavAOUT.h"
#include "dialogs/NastavAdr.h"
#include "dialogs/NastavDIO.h"
#include "emulator/launcher/SimProcess.h"
#include "link/QBLxxx.h"
#include "tests/settings/Controls.h"
#include "tests/support/ShowWindow.h"
#include "ui/qt/Widgets.h"

namespace settingstest {
namespace {

class SettingsOverUdp : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start({"--udp", "127.0.0.1:0"})) << sim_.Error();
    SetDriverDirectory(qm90sim::BinDir());
    SetDataDefaults(&data_);
    data_.InterfaceKind = 4;
    data_.IpAddress = "127.0.0.1";
    data_.UdpPort = sim_.UdpPort();
    data_.UdpTimeout = 300;
    Connect(1, 4);
  }
  // Opens the link as the connection dialog does: Init, then SetConfig.
  void Connect(std::uint8_t address, std::uint8_t baud_index) {
    if (data_.LinkHandle != 0) DrvClose(4, &data_.LinkHandle);
    data_.LinkOpen = false;
    data_.InitBlock = {};
    data_.InitBlock[0] = reinterpret_cast<std::intptr_t>(data_.IpAddress.c_str());
    data_.InitBlock[1] = data_.UdpPort;
    data_.InitBlock[2] = data_.UdpTimeout;
    ASSERT_EQ(DrvOpen(4, &data_.LinkHandle, &data_.InitBlock), 0);
    ASSERT_EQ(DrvSetConfig(4, data_.LinkHandle, BaudFromIndex(baud_index),
                           TimingFromIndex(baud_index), 2),
              0);
    data_.LinkOpen = true;
    data_.ModuleAddress = address;
  }
  void TearDown() override {
    if (data_.LinkHandle != 0) DrvClose(4, &data_.LinkHandle);
    SetDriverDirectory("");
  }
  template <typename F>
  std::unique_ptr<F> Show() {
    return qm90test::ShowWindow<F>(&data_);
  }

  qm90sim::SimProcess sim_;
  TData data_;
};

const QString kWritten = QStringLiteral(" Konfigurace zapsána.");
const QString kRead = QStringLiteral(" Konfigurace přečtena.");

TEST_F(SettingsOverUdp, WrittenValuesComeBackAfterPowerUpAtTheNewAddress) {
  auto adr = Show<TForm12>();
  Edit1(adr.get())->setText("23");
  ComboBox1(adr.get())->setCurrentIndex(7);
  Button(adr.get(), 1)->click();
  EXPECT_EQ(Status(adr.get()), kWritten);

  auto dio = Show<TForm14>();
  SetBoxes(dio.get(), 1, 0x0F);
  SetBoxes(dio.get(), 33, 0xA5);
  SetBoxes(dio.get(), 65, 0x81);
  Button(dio.get(), 1)->click();
  EXPECT_EQ(Status(dio.get()), kWritten);

  auto aout = Show<TForm4>();
  Edit1(aout.get())->setText("4660");
  Button(aout.get(), 1)->click();
  EXPECT_EQ(Status(aout.get()), kWritten);

  // Stored, but the module still answers at its old address until power-up.
  EXPECT_EQ(sim_.Get(1, "address"), 1);
  EXPECT_EQ(sim_.Get(1, "reg 63"), 23);
  ASSERT_TRUE(sim_.PowerCycle(1));
  EXPECT_EQ(sim_.Get(23, "address"), 23);
  EXPECT_EQ(sim_.Get(23, "baud"), 7);

  // The link still names address 1 at 9600 Bd: nobody answers there any more.
  auto stale = Show<TForm4>();
  Button(stale.get(), 2)->click();
  EXPECT_NE(Status(stale.get()), kRead);
  EXPECT_TRUE(Status(stale.get()).startsWith(' '));

  // Initialised again with the new address and rate, as a user would; each
  // dialog opened afresh reads its values and "Ok" keeps them in the record.
  Connect(23, 7);
  data_.Config = DefaultModuleConfig();
  auto read_adr = Show<TForm12>();
  Button(read_adr.get(), 2)->click();
  EXPECT_EQ(Status(read_adr.get()), kRead);
  EXPECT_EQ(Edit1(read_adr.get())->text(), "23");
  EXPECT_EQ(ComboBox1(read_adr.get())->currentText(), "57600 Bd");
  Button(read_adr.get(), 3)->click();

  auto read_dio = Show<TForm14>();
  Button(read_dio.get(), 2)->click();
  EXPECT_EQ(Status(read_dio.get()), kRead);
  EXPECT_EQ(Boxes(read_dio.get(), 1), 0x0F);
  EXPECT_EQ(Boxes(read_dio.get(), 33), 0xA5);
  EXPECT_EQ(Boxes(read_dio.get(), 65), 0x81);
  Button(read_dio.get(), 3)->click();

  auto read_aout = Show<TForm4>();
  Button(read_aout.get(), 2)->click();
  EXPECT_EQ(Status(read_aout.get()), kRead);
  EXPECT_EQ(Edit1(read_aout.get())->text(), "4660");
  Button(read_aout.get(), 3)->click();

  const TModuleConfig expected{23, 7, 4660, {0x0F, 0, 0, 0}, {0xA5, 0, 0, 0}, {0x81, 0, 0, 0}};
  EXPECT_EQ(std::memcmp(&data_.Config, &expected, sizeof expected), 0);
}

}  // namespace
}  // namespace settingstest
