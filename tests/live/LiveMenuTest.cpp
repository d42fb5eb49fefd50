// The live-value windows as the operator reaches them: the main window
// connects to qm90-sim over UDP on 127.0.0.1 through the connection dialog,
// then each item of "&Okamžité hodnoty" opens its window against the module.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <string>

#include "app/Hlavni.h"
#include "emulator/launcher/SimProcess.h"
#include "link/QBLxxx.h"
#include "tests/support/QtWindow.h"

namespace {

constexpr int kModule = 1;

QString Text(QWidget* window, const char* name) {
  auto* label = window->findChild<QLabel*>(QString::fromLatin1(name));
  return label ? label->text() : QStringLiteral("<missing>");
}

QString InputBits(QWidget* window) {
  QString bits;
  for (int i = 0; i < 8; ++i)
    bits += Text(window, QStringLiteral("Label%1").arg(33 + i).toLatin1().constData());
  return bits;
}

// Waits, processing events, until `done` holds; gives up after a generous
// limit so that a fault fails the test instead of hanging it.
bool WaitFor(const std::function<bool()>& done) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > 10000) return false;
    QTest::qWait(20);
  }
  return true;
}

class LiveMenu : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start({"--udp", "127.0.0.1:0"})) << sim_.Error();
    SetDriverDirectory(qm90sim::BinDir());
    SetSettingsFilePath(settings_);
    form_ = std::make_unique<TForm1>();
    form_->Show();
    TData& data = *form_->Data();
    data.InterfaceKind = 4;
    data.ModuleAddress = kModule;
    data.IpAddress = "127.0.0.1";
    data.UdpPort = sim_.UdpPort();
    data.UdpTimeout = 200;
    Open("Pipojen1", [](QDialog* dialog) {
      dialog->findChild<QPushButton*>("Button1")->click();  // connect
    });
    ASSERT_TRUE(data.LinkOpen);
  }
  void TearDown() override {
    form_->Close();
    form_.reset();
    SetSettingsFilePath("");
    SetDriverDirectory("");
    std::remove(settings_.c_str());
  }

  // Chooses a menu item and runs `act` on the window it opens, then closes it.
  // Returns the window's class name.
  QString Open(const char* item, const std::function<void(QDialog*)>& act) {
    QString opened;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      opened = dialog->objectName();
      act(dialog);
      dialog->close();
    });
    qm90test::Win(form_)->findChild<QAction*>(QString::fromLatin1(item))->trigger();
    return opened;
  }

  const std::string settings_ = ::testing::TempDir() + "live_menu_W_qm90.ini";
  qm90sim::SimProcess sim_;
  std::unique_ptr<TForm1> form_;
};

TEST_F(LiveMenu, EveryLiveValueItemWorksAgainstTheEmulator) {
  ASSERT_TRUE(sim_.SetInputs(kModule, 0xA5));
  const long inputs = sim_.Get(kModule, "inputs");
  QString expected;
  for (int bit = 0; bit < 8; ++bit) expected += (inputs >> bit) & 1 ? '1' : '0';
  EXPECT_EQ(Open("OkamDIN2",
                 [&](QDialog* d) {
                   EXPECT_TRUE(WaitFor([&] { return InputBits(d) == expected; }))
                       << InputBits(d).toStdString();
                 }),
            "TForm11");

  ASSERT_TRUE(sim_.SetStatusBits(kModule, 0x40));
  EXPECT_EQ(Open("Statusregistr1",
                 [&](QDialog* d) {
                   EXPECT_TRUE(WaitFor([&] { return Text(d, "Label39") == "1"; }));  // ERR24
                   d->findChild<QPushButton*>("Button2")->click();                   // Vynulovat
                   EXPECT_EQ(sim_.Get(kModule, "status"), 0);
                   EXPECT_TRUE(WaitFor([&] { return Text(d, "Label39") == "0"; }));
                 }),
            "TForm15");

  EXPECT_EQ(Open("OkamDOUT1",
                 [&](QDialog* d) {
                   d->findChild<QCheckBox*>("CheckBox2")->setChecked(true);
                   d->findChild<QPushButton*>("Button1")->click();
                 }),
            "TForm9");
  EXPECT_EQ(sim_.Get(kModule, "outputs"), (0x02 ^ sim_.Get(kModule, "reg 34")) & 0xFF);

  EXPECT_EQ(Open("OkamAIN2",
                 [&](QDialog* d) {
                   d->findChild<QLineEdit*>("Edit1")->setText("0x1234");
                   d->findChild<QPushButton*>("Button1")->click();
                 }),
            "TForm3");
  EXPECT_EQ(sim_.Get(kModule, "aout"), 0x1234);
}

}  // namespace
