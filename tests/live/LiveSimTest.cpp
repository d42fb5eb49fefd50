// The live-value windows end to end: the real QBL314 library over UDP on
// 127.0.0.1 to qm90-sim (on Linux one started for each test).
#include <gtest/gtest.h>

#include <string>

#include "dialogs/OkamAOUT.h"
#include "dialogs/OkamDIN.h"
#include "dialogs/OkamDOUT.h"
#include "dialogs/StatReg.h"
#include "tests/live/LiveFixture.h"
#include "tests/support/TestSim.h"

namespace {

using livetest::Bits;
using livetest::BitString;
using livetest::Find;
using livetest::StatusLog;
using qm90test::ShowWindow;

constexpr int kModule = 1;
constexpr std::uint8_t kUdpKind = 4;

class LiveSim : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start()) << sim_.Error();
    SetDriverDirectory(qm90test::TestSim::DriverDirectory());
    SetDataDefaults(&data_);
    data_.IpAddress = "127.0.0.1";
    data_.UdpPort = sim_.UdpPort();
    data_.UdpTimeout = 200;
    data_.InitBlock[0] = reinterpret_cast<std::intptr_t>(data_.IpAddress.c_str());
    data_.InitBlock[1] = data_.UdpPort;
    data_.InitBlock[2] = data_.UdpTimeout;
    ASSERT_TRUE(livetest::OpenLink(data_, kUdpKind));
    data_.ModuleAddress = kModule;
    ok_text_ = " " + ErrorText(kUdpKind, 0);
  }
  void TearDown() override {
    livetest::CloseLink(data_);
    SetDriverDirectory("");
    Sim().SetFaults(0, 0, 0);  // under Wine the emulator serves the later tests too
  }
  qm90sim::SimControl& Sim() { return sim_.Control(); }

  qm90test::TestSim sim_;
  TData data_{};
  std::string ok_text_;
};

TEST_F(LiveSim, InputsSetAtTheTerminalsShowWithinOnePoll) {
  auto form = ShowWindow<TForm11>(&data_);
  livetest::StopTimer(form.get());
  StatusLog log(*form);
  for (std::uint8_t levels : {0xA5, 0x3C, 0x00}) {
    ASSERT_TRUE(Sim().SetInputs(kModule, levels));
    const long reported = Sim().Get(kModule, "inputs");
    ASSERT_GE(reported, 0);
    form->Timer1Timer();
    EXPECT_EQ(Bits(*form, 33, 8), BitString(static_cast<unsigned long>(reported), 8))
        << int(levels);
    EXPECT_EQ(log.Shown(), ok_text_);
  }
}

TEST_F(LiveSim, LostAnswerKeepsTheValuesUntilTheModuleAnswersAgain) {
  auto form = ShowWindow<TForm11>(&data_);
  livetest::StopTimer(form.get());
  StatusLog log(*form);
  ASSERT_TRUE(Sim().SetInputs(kModule, 0x5A));
  form->Timer1Timer();
  const std::string good = Bits(*form, 33, 8);
  ASSERT_TRUE(Sim().SetFaults(100, 0, 0));
  ASSERT_TRUE(Sim().SetInputs(kModule, 0xFF));
  form->Timer1Timer();
  EXPECT_EQ(Bits(*form, 33, 8), good);
  EXPECT_NE(log.Shown(), ok_text_);
  EXPECT_EQ(log.Shown().rfind(' ', 0), 0u);
  ASSERT_TRUE(Sim().SetFaults(0, 0, 0));
  form->Timer1Timer();
  EXPECT_EQ(Bits(*form, 33, 8),
            BitString(static_cast<unsigned long>(Sim().Get(kModule, "inputs")), 8));
  EXPECT_EQ(log.Shown(), ok_text_);
}

TEST_F(LiveSim, OutputsWrittenReachTheTerminals) {
  auto form = ShowWindow<TForm9>(&data_);
  StatusLog log(*form);
  const long negation = Sim().Get(kModule, "reg 34");
  ASSERT_GE(negation, 0);
  for (std::uint8_t byte : {0x1A, 0x81, 0x00}) {
    for (int i = 0; i < 8; ++i)
      Find<qm90ui::TCheckBox>(*form, "CheckBox" + std::to_string(i + 1))
          ->SetChecked((byte >> i) & 1);
    Find<qm90ui::TButton>(*form, "Button1")->Click();
    EXPECT_EQ(log.Shown(), " Data zapsána");
    EXPECT_EQ(Sim().Get(kModule, "outputs"), (byte ^ negation) & 0xFF) << int(byte);
  }
}

TEST_F(LiveSim, AnalogValueWrittenReachesTheModule) {
  auto form = ShowWindow<TForm3>(&data_);
  StatusLog log(*form);
  auto* edit = Find<qm90ui::TEdit>(*form, "Edit1");
  ASSERT_NE(edit, nullptr);
  const struct {
    const char* text;
    long value;
  } cases[] = {{"258", 258}, {"$FFFF", 65535}, {"0", 0}};
  for (const auto& c : cases) {
    edit->SetText(c.text);
    Find<qm90ui::TButton>(*form, "Button1")->Click();
    EXPECT_EQ(log.Shown(), " Hodnota zapsána");
    EXPECT_EQ(Sim().Get(kModule, "aout"), c.value) << c.text;
  }
}

TEST_F(LiveSim, StatusRegisterShowsErr24AndVynulovatClearsIt) {
  auto form = ShowWindow<TForm15>(&data_);
  livetest::StopTimer(form.get());
  StatusLog log(*form);
  ASSERT_TRUE(Sim().SetStatusBits(kModule, 0x40));
  form->Timer1Timer();
  const long status = Sim().Get(kModule, "status");
  ASSERT_NE(status & 0x40, 0);
  EXPECT_EQ(Bits(*form, 33, 32), BitString(static_cast<unsigned long>(status), 32));
  EXPECT_EQ(livetest::Text(*form, "Label39"), "1");  // the row captioned ERR24
  EXPECT_EQ(log.Shown(), ok_text_);

  Find<qm90ui::TButton>(*form, "Button2")->Click();
  EXPECT_EQ(Sim().Get(kModule, "status"), 0);
  form->Timer1Timer();
  EXPECT_EQ(Bits(*form, 33, 32), std::string(32, '0'));
}

}  // namespace
