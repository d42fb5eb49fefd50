// The live-value windows end to end: the real QBL314 library over UDP on
// 127.0.0.1 to a qm90-sim started for each test.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "dialogs/OkamAOUT.h"
#include "dialogs/OkamDIN.h"
#include "dialogs/OkamDOUT.h"
#include "dialogs/StatReg.h"
#include "emulator/launcher/SimProcess.h"
#include "tests/live/LiveFixture.h"

namespace {

using livetest::StatusLog;
using qm90test::ShowWindow;

constexpr int kModule = 1;
constexpr std::uint8_t kUdpKind = 4;

// Value labels Label<first> .. as a bit string, top row (bit 0) first.
QString Bits(qm90test::TWin form, int first, int count) {
  QString bits;
  for (int i = 0; i < count; ++i) {
    auto* label = form->findChild<QLabel*>(QStringLiteral("Label%1").arg(first + i));
    bits += label ? label->text() : QStringLiteral("?");
  }
  return bits;
}

QString BitString(unsigned long value, int count) {
  QString bits;
  for (int i = 0; i < count; ++i) bits += (value >> i) & 1UL ? '1' : '0';
  return bits;
}

class LiveSim : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start({"--udp", "127.0.0.1:0"})) << sim_.Error();
    SetDriverDirectory(qm90sim::BinDir());
    SetDataDefaults(&data_);
    data_.IpAddress = "127.0.0.1";
    data_.UdpPort = sim_.UdpPort();
    data_.UdpTimeout = 200;
    data_.InitBlock[0] = reinterpret_cast<std::intptr_t>(data_.IpAddress.c_str());
    data_.InitBlock[1] = data_.UdpPort;
    data_.InitBlock[2] = data_.UdpTimeout;
    ASSERT_TRUE(livetest::OpenLink(data_, kUdpKind));
    data_.ModuleAddress = kModule;
    ok_text_ = QStringLiteral(" ") + QString::fromStdString(ErrorText(kUdpKind, 0));
  }
  void TearDown() override { livetest::CloseLink(data_); }

  qm90sim::SimProcess sim_;
  TData data_{};
  QString ok_text_;
};

TEST_F(LiveSim, InputsSetAtTheTerminalsShowWithinOnePoll) {
  auto form = ShowWindow<TForm11>(&data_);
  livetest::StopTimer(form.get());
  StatusLog log(form.get());
  for (std::uint8_t levels : {0xA5, 0x3C, 0x00}) {
    ASSERT_TRUE(sim_.SetInputs(kModule, levels));
    const long reported = sim_.Get(kModule, "inputs");
    ASSERT_GE(reported, 0);
    form->Timer1Timer();
    EXPECT_EQ(Bits(form.get(), 33, 8), BitString(static_cast<unsigned long>(reported), 8))
        << int(levels);
    EXPECT_EQ(log.Shown(), ok_text_);
  }
}

TEST_F(LiveSim, LostAnswerKeepsTheValuesUntilTheModuleAnswersAgain) {
  auto form = ShowWindow<TForm11>(&data_);
  livetest::StopTimer(form.get());
  StatusLog log(form.get());
  ASSERT_TRUE(sim_.SetInputs(kModule, 0x5A));
  form->Timer1Timer();
  const QString good = Bits(form.get(), 33, 8);
  ASSERT_TRUE(sim_.SetFaults(100, 0, 0));
  ASSERT_TRUE(sim_.SetInputs(kModule, 0xFF));
  form->Timer1Timer();
  EXPECT_EQ(Bits(form.get(), 33, 8), good);
  EXPECT_NE(log.Shown(), ok_text_);
  EXPECT_TRUE(log.Shown().startsWith(' '));
  ASSERT_TRUE(sim_.SetFaults(0, 0, 0));
  form->Timer1Timer();
  EXPECT_EQ(Bits(form.get(), 33, 8),
            BitString(static_cast<unsigned long>(sim_.Get(kModule, "inputs")), 8));
  EXPECT_EQ(log.Shown(), ok_text_);
}

TEST_F(LiveSim, OutputsWrittenReachTheTerminals) {
  auto form = ShowWindow<TForm9>(&data_);
  StatusLog log(form.get());
  const long negation = sim_.Get(kModule, "reg 34");
  ASSERT_GE(negation, 0);
  for (std::uint8_t byte : {0x1A, 0x81, 0x00}) {
    for (int i = 0; i < 8; ++i)
      qm90test::Win(form)
          ->findChild<QCheckBox*>(QStringLiteral("CheckBox%1").arg(i + 1))
          ->setChecked((byte >> i) & 1);
    QTest::mouseClick(qm90test::Win(form)->findChild<QPushButton*>("Button1"), Qt::LeftButton);
    EXPECT_EQ(log.Shown(), QStringLiteral(" Data zapsána"));
    EXPECT_EQ(sim_.Get(kModule, "outputs"), (byte ^ negation) & 0xFF) << int(byte);
  }
}

TEST_F(LiveSim, AnalogValueWrittenReachesTheModule) {
  auto form = ShowWindow<TForm3>(&data_);
  StatusLog log(form.get());
  auto* edit = qm90test::Win(form)->findChild<QLineEdit*>("Edit1");
  const struct {
    const char* text;
    long value;
  } cases[] = {{"258", 258}, {"$FFFF", 65535}, {"0", 0}};
  for (const auto& c : cases) {
    edit->setText(QString::fromLatin1(c.text));
    QTest::mouseClick(qm90test::Win(form)->findChild<QPushButton*>("Button1"), Qt::LeftButton);
    EXPECT_EQ(log.Shown(), QStringLiteral(" Hodnota zapsána"));
    EXPECT_EQ(sim_.Get(kModule, "aout"), c.value) << c.text;
  }
}

TEST_F(LiveSim, StatusRegisterShowsErr24AndVynulovatClearsIt) {
  auto form = ShowWindow<TForm15>(&data_);
  livetest::StopTimer(form.get());
  StatusLog log(form.get());
  ASSERT_TRUE(sim_.SetStatusBits(kModule, 0x40));
  form->Timer1Timer();
  const long status = sim_.Get(kModule, "status");
  ASSERT_NE(status & 0x40, 0);
  EXPECT_EQ(Bits(form.get(), 33, 32), BitString(static_cast<unsigned long>(status), 32));
  EXPECT_EQ(qm90test::Win(form)->findChild<QLabel*>("Label39")->text(),
            "1");  // the row captioned ERR24
  EXPECT_EQ(log.Shown(), ok_text_);

  QTest::mouseClick(qm90test::Win(form)->findChild<QPushButton*>("Button2"), Qt::LeftButton);
  EXPECT_EQ(sim_.Get(kModule, "status"), 0);
  form->Timer1Timer();
  EXPECT_EQ(Bits(form.get(), 33, 32), QString(32, '0'));
}

}  // namespace
