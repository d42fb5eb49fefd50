// qm90-panel's window against a real qm90-sim it starts itself, with the
// program's driver library on the other side of the line.
#include <gtest/gtest.h>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QThread>
#include <QUdpSocket>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include <qm90/Version.h>
#include <cstdio>
#include "emulator/launcher/SimProcess.h"

#include "panel/ModulePanel.h"
#include "panel/PanelWindow.h"
#include "panel/SimLink.h"
#include "panel/TrafficModel.h"
#include "tests/drivers/Harness.h"

namespace {

using qm90panel::ModulePanel;
using qm90panel::PanelWindow;
using qm90panel::SimLink;

// Lets the event loop run until done() holds or about ten seconds passed.
bool WaitFor(const std::function<bool()>& done, int timeout_ms = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

// Keeps the event loop going while a driver call is pending elsewhere.
void Settle(int ms) {
  WaitFor([] { return false; }, ms);
}

class PanelTest : public testing::Test {
 protected:
  static constexpr std::size_t kTrafficBound = 40;

  void SetUp() override {
    drvtest::UseBuiltDrivers();
    link_ = std::make_unique<SimLink>();
    window_ = std::make_unique<PanelWindow>(link_.get(), kTrafficBound);
    link_->StartChild(QString::fromStdString(qm90sim::BinDir() + "/qm90-sim"),
                      {QStringLiteral("--udp"), QStringLiteral("127.0.0.1:0")});
    ASSERT_TRUE(WaitFor([this] { return window_->Module(1) != nullptr && Lamp(0) != nullptr; }))
        << window_->StatusText().toStdString();
    const QString ready = link_->ReadyLine();
    const qsizetype at = ready.indexOf(QStringLiteral("udp=127.0.0.1:"));
    ASSERT_GE(at, 0);
    const int port = ready.mid(at + 14).section(u' ', 0, 0).toInt();
    ASSERT_EQ(driver_.OpenUdp(port, 200), 0);
  }
  void TearDown() override {
    driver_.Close();
    window_.reset();
    link_.reset();
  }

  ModulePanel* Module() const { return window_->Module(1); }
  QLabel* Lamp(int k) const {
    return Module() ? Module()->findChild<QLabel*>(QStringLiteral("dout%1").arg(k)) : nullptr;
  }
  QString Text(const char* name) const {
    auto* label = Module()->findChild<QLabel*>(QLatin1String(name));
    return label ? label->text() : QString();
  }
  // A driver call answered while the panel keeps serving its events.
  drvtest::Reply Transact(std::uint8_t command, std::uint8_t subcode,
                          std::array<std::uint8_t, 5> d = {}) {
    const drvtest::Reply reply = driver_.Transact(1, command, subcode, d);
    Settle(30);
    return reply;
  }

  drvtest::OwnFolders folders_;
  std::unique_ptr<SimLink> link_;
  std::unique_ptr<PanelWindow> window_;
  drvtest::Session driver_{drvtest::kLan};
};

TEST_F(PanelTest, InputSwitchChangesWhatTheModuleAnswers) {
  int terminals = 0;
  for (int k : {0, 3, 7}) {
    SCOPED_TRACE(k);
    Module()->findChild<QPushButton*>(QStringLiteral("din%1").arg(k))->click();
    terminals ^= 1 << k;
    // Factory input negation 0xFF: the module reports the inverted levels.
    ASSERT_TRUE(WaitFor([&] { return Transact(0, 64).d[1] == (terminals ^ 0xFF); }));
  }
  Module()->findChild<QPushButton*>(QStringLiteral("dinAllOn"))->click();
  EXPECT_TRUE(WaitFor([&] { return Transact(0, 64).d[1] == 0x00; }));
}

TEST_F(PanelTest, DriverWritesShowOnLampsAndConfiguration) {
  ASSERT_EQ(Transact(1, 64, {0, 0x81}).status, 0);
  // Factory output negation 0xFF: commanded 1000 0001 is 0111 1110 at the terminals.
  ASSERT_TRUE(WaitFor([&] { return Lamp(1)->property("lit").toBool(); }));
  for (int k = 0; k < 8; ++k) EXPECT_EQ(Lamp(k)->property("lit").toBool(), k != 0 && k != 7) << k;

  ASSERT_EQ(Transact(103, 0, {0, 35, 35, 0x55, 0x55}).status, 0);
  EXPECT_TRUE(WaitFor([&] { return Text("reg35") == QStringLiteral("85"); }))
      << Text("reg35").toStdString();
}

TEST_F(PanelTest, DropSliderSilencesTheModuleLive) {
  auto* drop = window_->findChild<QSlider*>(QStringLiteral("faultDrop"));
  ASSERT_NE(drop, nullptr);
  drop->setValue(100);
  EXPECT_TRUE(WaitFor([&] { return Transact(100, 0).status == drvtest::kTimeout; }));
  drop->setValue(0);
  EXPECT_TRUE(WaitFor([&] { return Transact(100, 0).status == 0; }));
}

TEST_F(PanelTest, PollingAtTenHertzFillsTheTrafficListUpToItsBound) {
  qm90panel::TrafficModel* traffic = window_->Traffic();
  const int polls = static_cast<int>(kTrafficBound) + 20;
  for (int i = 0; i < polls; ++i) {
    Transact(0, 64);
    Settle(70);  // with the exchange: about 10 Hz
    ASSERT_LE(traffic->rowCount(), static_cast<int>(kTrafficBound));
  }
  ASSERT_TRUE(WaitFor([&] { return traffic->rowCount() == static_cast<int>(kTrafficBound); }));
  // The newest is the last poll: command 0, sub-code 64, answered.
  const int last = traffic->rowCount() - 1;
  EXPECT_EQ(traffic->index(last, 3).data().toString(), QStringLiteral("0"));
  EXPECT_EQ(traffic->index(last, 4).data().toString(), QStringLiteral("64"));
  EXPECT_EQ(traffic->index(last, 6).data().toString(), QStringLiteral("odpověď"));
}

TEST_F(PanelTest, StatusBitsAndPowerCycleReachTheModule) {
  struct Bit {
    int number;
    bool set;
  };
  std::uint32_t expected = 1u << 4;  // PWR after power-up
  for (const Bit bit : {Bit{1, true}, Bit{6, true}, Bit{4, false}, Bit{1, false}}) {
    SCOPED_TRACE(bit.number);
    auto* box = Module()->findChild<QCheckBox*>(QStringLiteral("status%1").arg(bit.number));
    ASSERT_TRUE(box->isEnabled());
    if (box->isChecked() != bit.set) box->click();
    expected = bit.set ? expected | (1u << bit.number) : expected & ~(1u << bit.number);
    EXPECT_TRUE(WaitFor([&] { return Transact(100, 0).d[1] == expected; }));
  }
  EXPECT_FALSE(Module()->findChild<QCheckBox*>(QStringLiteral("status0"))->isEnabled());

  ASSERT_EQ(Transact(103, 0, {0, 63, 63, 9, 9}).status, 0);
  EXPECT_TRUE(WaitFor([&] { return Text("reg63") == QStringLiteral("9"); }));
  Module()->findChild<QPushButton*>(QStringLiteral("powerCycle"))->click();
  EXPECT_TRUE(WaitFor([&] { return driver_.Transact(9, 100, 0).status == 0; }));
  EXPECT_TRUE(WaitFor([&] { return Module()->Title().contains(QStringLiteral("adresa 9")); }));
}

TEST_F(PanelTest, TrafficSavedAsTextLineByLine) {
  Transact(0, 64);
  Transact(200, 0);
  ASSERT_TRUE(WaitFor([&] { return window_->Traffic()->rowCount() == 2; }));
  const QString path = QString::fromStdString(testing::TempDir()) + QStringLiteral("/traffic.txt");
  ASSERT_TRUE(window_->SaveTraffic(path));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3);  // heading and two exchanges
  EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Čas\t")));
  EXPECT_EQ(lines[2].split(u'\t').value(3), QStringLiteral("200"));
  file.remove();
}

// However a switch changes state (a click, setChecked, an accessibility
// client's toggle), the module's inputs follow.
TEST_F(PanelTest, InputSwitchChangedWithoutAClickStillReachesTheModule) {
  auto* din2 = Module()->findChild<QPushButton*>(QStringLiteral("din2"));
  din2->setChecked(true);
  ASSERT_TRUE(WaitFor([&] { return Transact(0, 64).d[1] == (0x04 ^ 0xFF); }));
  auto* din5 = Module()->findChild<QPushButton*>(QStringLiteral("din5"));
  QAccessibleInterface* access = QAccessible::queryAccessibleInterface(din5);
  ASSERT_NE(access, nullptr);
  ASSERT_NE(access->actionInterface(), nullptr);
  access->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  ASSERT_TRUE(din5->isChecked());
  EXPECT_TRUE(WaitFor([&] { return Transact(0, 64).d[1] == (0x24 ^ 0xFF); }));
}

TEST_F(PanelTest, AnnouncementsOfModulesThatCannotExistAreRefused) {
  auto* tabs = window_->findChild<QTabWidget*>(QStringLiteral("modules"));
  const int before = tabs->count();
  for (int identity = 256; identity < 556; ++identity) {
    link_->HandleEvent(QStringLiteral("event module %1").arg(identity));
  }
  link_->HandleEvent(QStringLiteral("event module -1"));
  EXPECT_EQ(tabs->count(), before);
  EXPECT_EQ(window_->Module(300), nullptr);
  EXPECT_TRUE(window_->StatusText().contains(QStringLiteral("nezobrazen")))
      << window_->StatusText().toStdString();
  link_->HandleEvent(QStringLiteral("event module 255"));  // one that can be
  EXPECT_EQ(tabs->count(), before + 1);
}

TEST_F(PanelTest, WiringAndStuckChannelsAreShownAndSet) {
  auto* loopback = Module()->findChild<QCheckBox*>(QStringLiteral("loopback"));
  ASSERT_NE(loopback, nullptr);
  EXPECT_FALSE(loopback->isChecked());
  loopback->setChecked(true);
  ASSERT_EQ(Transact(1, 64, {0, 0x0F}).status, 0);
  // Wired: the inputs read what the outputs drive (both negations factory 0xFF).
  EXPECT_TRUE(WaitFor([&] { return Transact(0, 64).d[1] == 0x0F; }));
  EXPECT_FALSE(Module()->findChild<QPushButton*>(QStringLiteral("din0"))->isEnabled());
  Module()->findChild<QComboBox*>(QStringLiteral("stuckDin7"))->setCurrentIndex(2);  // at 1
  EXPECT_TRUE(WaitFor([&] { return Transact(0, 64).d[1] == 0x0F; }));  // DOUT7 is 1 anyway
  Module()->findChild<QComboBox*>(QStringLiteral("stuckDin0"))->setCurrentIndex(2);
  EXPECT_TRUE(WaitFor([&] { return Transact(0, 64).d[1] == 0x0E; }));
  // What the emulator is told by another controller shows too.
  link_->Send(QStringLiteral("stuck #1 dout 3 0"));
  EXPECT_TRUE(WaitFor([&] {
    return Module()->findChild<QComboBox*>(QStringLiteral("stuckDout3"))->currentIndex() == 1;
  }));
}

TEST(PanelCommandLine, VersionIsTheOneVersion) {
  const std::string command = qm90sim::BinDir() + "/qm90-panel --version";
  FILE* out = ::popen(command.c_str(), "r");
  ASSERT_NE(out, nullptr);
  char line[128] = {};
  const bool read = std::fgets(line, sizeof line, out) != nullptr;
  EXPECT_EQ(::pclose(out), 0);
  ASSERT_TRUE(read);
  EXPECT_EQ(std::string(line), std::string("qm90-panel ") + qm90::kVersion + "\n");
}

TEST(PanelPort, FixedPortWhenFreeAnotherWhenTaken) {
  QUdpSocket holder;
  ASSERT_TRUE(holder.bind(QHostAddress::LocalHost, 0));
  const quint16 port = holder.localPort();
  EXPECT_EQ(SimLink::FreeUdpOrAny(port), QStringLiteral("127.0.0.1:0"));
  holder.close();
  EXPECT_EQ(SimLink::FreeUdpOrAny(port), QStringLiteral("127.0.0.1:%1").arg(port));
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
