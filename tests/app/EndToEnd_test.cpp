// The program against the real driver libraries: qm90-sim on 127.0.0.1 over
// UDP and over its pty, and the in-process module library.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLabel>
#include <QPushButton>
#include <cstdlib>
#include <memory>

#include "app/Hlavni.h"
#include "emulator/launcher/SimProcess.h"
#include "tests/app/AppTestSupport.h"
#include "ui/qt/Widgets.h"

namespace {

constexpr int kCom = 7;
const std::string kConnected = "Připojení úspěšně inicializováno. Připojen modul   ";

struct Transport {
  const char* name;
  std::uint8_t kind;
  bool needs_sim;
};

class EndToEnd : public ::testing::TestWithParam<Transport> {
 protected:
  void SetUp() override {
    // Own runtime folder: the pty's COM name must not meet another test's.
    const std::string runtime = folder.File("runtime");
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("XDG_STATE_HOME", folder.File("state").c_str(), 1);
    SetDriverDirectory(qm90sim::BinDir());
    // QM90_TEST_DRIVER_HOST set: the same windows with every library in the driver host.
    SetDriverHostDirectory(qm90sim::BinDir());
    if (std::getenv("QM90_TEST_DRIVER_HOST") != nullptr)
      SetDriverIsolation(DriverIsolation::kAlways);
    SetSettingsFilePath(folder.File("W_qm90.ini"));
    if (GetParam().needs_sim) {
      ASSERT_TRUE(sim.Start({"--udp", "127.0.0.1:0", "--serial", "COM" + std::to_string(kCom)}))
          << sim.Error();
    }
  }
  void TearDown() override {
    form.reset();
    sim.Stop();
    SetSettingsFilePath("");
    SetDriverDirectory("");
    SetDriverIsolation(DriverIsolation::kWhenNeeded);
  }

  apptest::TempFolder folder;
  qm90sim::SimProcess sim;
  std::unique_ptr<TForm1> form;
};

TEST_P(EndToEnd, ConnectsAndShowsTheModuleInTheStatusBar) {
  form = std::make_unique<TForm1>();
  form->Show();
  TData& data = *form->Data();
  data.InterfaceKind = GetParam().kind;
  data.ModuleAddress = 1;
  data.ComPort = kCom;
  data.IpAddress = "127.0.0.1";
  data.UdpPort = sim.UdpPort();
  data.UdpTimeout = 200;

  std::string status;
  apptest::WhenModalShows([&](QWidget* dialog) {
    apptest::Child<QPushButton>(dialog, "Button1")->click();
    status = apptest::LabelText(dialog, "Panel1");
  });
  form->Pipojen1Click();

  EXPECT_EQ(status, kConnected + data.ModuleName);
  EXPECT_TRUE(data.LinkOpen);
  EXPECT_EQ(QString::fromStdString(data.ModuleName).size(), 15);
  EXPECT_EQ(data.ModuleName.rfind("QM-90", 0), 0u) << data.ModuleName;
  EXPECT_EQ(form->StatusBar()->PanelText(0), " Modul  " + data.ModuleName);
  EXPECT_EQ(form->StatusBar()->PanelText(1), " Adresa  1");
  EXPECT_EQ(form->StatusBar()->PanelText(2), " Rychlost  9600Bd");
  form->Close();
  EXPECT_FALSE(DrvLibraryLoaded());
}

INSTANTIATE_TEST_SUITE_P(Transports, EndToEnd,
                         ::testing::Values(Transport{"udp", 4, true}, Transport{"pty", 0, true},
                                           Transport{"inprocess", 2, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
