// The three settings dialogs against the real module emulator over UDP on
// 127.0.0.1 through the real QBL314: write everything, power-cycle the module,
// read everything back. A new address takes effect only after power-up.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>

#include "dialogs/NastavAOUT.h"
#include "dialogs/NastavAdr.h"
#include "dialogs/NastavDIO.h"
#include "link/Commands.h"
#include "link/QBLxxx.h"
#include "tests/settings/Controls.h"
#include "tests/support/ShowWindow.h"
#include "tests/support/TestSim.h"

namespace settingstest {
namespace {

class SettingsOverUdp : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!sim_.Start(false)) {
      if (sim_.Shared()) GTEST_SKIP() << sim_.Error();
      FAIL() << sim_.Error();
    }
    std::map<int, long> factory;
    for (int reg : kRegisters) {
      factory[reg] = Sim().Get(1, "reg " + std::to_string(reg));
      ASSERT_GE(factory[reg], 0) << "register " << reg;
    }
    factory_ = factory;
    SetDriverDirectory(qm90test::TestSim::DriverDirectory());
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
    if (sim_.Shared()) PutTheModuleBack();
    if (data_.LinkHandle != 0) DrvClose(4, &data_.LinkHandle);
    SetDriverDirectory("");
  }
  // The emulator serves other tests too: its module gets its registers back
  // and answers at address 1 again.
  void PutTheModuleBack() {
    if (factory_.empty()) return;
    const int address = Sim().Get(23, "address") == 23 ? 23 : 1;
    Connect(static_cast<std::uint8_t>(address),
            static_cast<std::uint8_t>(Sim().Get(address, "baud")));
    for (const auto& [reg, value] : factory_)
      EXPECT_EQ(WriteRegister(LinkOf(data_), static_cast<std::uint8_t>(reg),
                              static_cast<std::uint8_t>(value)),
                0)
          << reg;
    EXPECT_TRUE(Sim().PowerCycle(address));
    EXPECT_EQ(Sim().Get(1, "address"), 1);
  }
  qm90sim::SimControl& Sim() { return sim_.Control(); }
  template <typename F>
  std::unique_ptr<F> Show() {
    return qm90test::ShowWindow<F>(&data_);
  }

  static constexpr int kRegisters[] = {32, 33, 34, 35, 36, 62, 63};
  qm90test::TestSim sim_;
  TData data_;
  std::map<int, long> factory_;
};

const std::string kWritten = " Konfigurace zapsána.";
const std::string kRead = " Konfigurace přečtena.";

TEST_F(SettingsOverUdp, WrittenValuesComeBackAfterPowerUpAtTheNewAddress) {
  auto adr = Show<TForm12>();
  Edit1(*adr)->SetText("23");
  ComboBox1(*adr)->SetItemIndex(7);
  Button(*adr, 1)->Click();
  EXPECT_EQ(Status(*adr), kWritten);

  auto dio = Show<TForm14>();
  SetBoxes(*dio, 1, 0x0F);
  SetBoxes(*dio, 33, 0xA5);
  SetBoxes(*dio, 65, 0x81);
  Button(*dio, 1)->Click();
  EXPECT_EQ(Status(*dio), kWritten);

  auto aout = Show<TForm4>();
  Edit1(*aout)->SetText("4660");
  Button(*aout, 1)->Click();
  EXPECT_EQ(Status(*aout), kWritten);

  // Stored, but the module still answers at its old address until power-up.
  EXPECT_EQ(Sim().Get(1, "address"), 1);
  EXPECT_EQ(Sim().Get(1, "reg 63"), 23);
  ASSERT_TRUE(Sim().PowerCycle(1));
  EXPECT_EQ(Sim().Get(23, "address"), 23);
  EXPECT_EQ(Sim().Get(23, "baud"), 7);

  // The link still names address 1 at 9600 Bd: nobody answers there any more.
  auto stale = Show<TForm4>();
  Button(*stale, 2)->Click();
  EXPECT_NE(Status(*stale), kRead);
  EXPECT_EQ(Status(*stale).rfind(' ', 0), 0u);

  // Initialised again with the new address and rate, as a user would; each
  // dialog opened afresh reads its values and "Ok" keeps them in the record.
  Connect(23, 7);
  data_.Config = DefaultModuleConfig();
  auto read_adr = Show<TForm12>();
  Button(*read_adr, 2)->Click();
  EXPECT_EQ(Status(*read_adr), kRead);
  EXPECT_EQ(Edit1(*read_adr)->Text(), "23");
  EXPECT_EQ(ComboBox1(*read_adr)->Text(), "57600 Bd");
  Button(*read_adr, 3)->Click();

  auto read_dio = Show<TForm14>();
  Button(*read_dio, 2)->Click();
  EXPECT_EQ(Status(*read_dio), kRead);
  EXPECT_EQ(Boxes(*read_dio, 1), 0x0F);
  EXPECT_EQ(Boxes(*read_dio, 33), 0xA5);
  EXPECT_EQ(Boxes(*read_dio, 65), 0x81);
  Button(*read_dio, 3)->Click();

  auto read_aout = Show<TForm4>();
  Button(*read_aout, 2)->Click();
  EXPECT_EQ(Status(*read_aout), kRead);
  EXPECT_EQ(Edit1(*read_aout)->Text(), "4660");
  Button(*read_aout, 3)->Click();

  const TModuleConfig expected{23, 7, 4660, {0x0F, 0, 0, 0}, {0xA5, 0, 0, 0}, {0x81, 0, 0, 0}};
  EXPECT_EQ(std::memcmp(&data_.Config, &expected, sizeof expected), 0);
}

}  // namespace
}  // namespace settingstest
