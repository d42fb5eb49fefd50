// The program against the real driver libraries: qm90-sim on 127.0.0.1 over
// UDP and over its serial port, and the in-process module library.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "app/Hlavni.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/TestSim.h"

namespace {

const std::string kConnected = "Připojení úspěšně inicializováno. Připojen modul   ";

struct Transport {
  const char* name;
  std::uint8_t kind;
  bool needs_sim;
};

class EndToEnd : public ::testing::TestWithParam<Transport> {
 protected:
  void SetUp() override {
    if (GetParam().needs_sim && !sim.Start(GetParam().kind == 0)) {
      if (sim.Shared()) GTEST_SKIP() << sim.Error();
      FAIL() << sim.Error();
    }
    SetDriverDirectory(qm90test::TestSim::DriverDirectory());
    // QM90_TEST_DRIVER_HOST set: the same windows with every library in the driver host.
    SetDriverHostDirectory(qm90test::TestSim::DriverDirectory());
    if (std::getenv("QM90_TEST_DRIVER_HOST") != nullptr)
      SetDriverIsolation(DriverIsolation::kAlways);
    SetSettingsFilePath(folder.File("W_qm90.ini"));
  }
  void TearDown() override {
    form.reset();
    SetSettingsFilePath("");
    SetDriverDirectory("");
    SetDriverIsolation(DriverIsolation::kWhenNeeded);
  }

  apptest::TempFolder folder;
  qm90test::TestSim sim;
  std::unique_ptr<TForm1> form;
};

TEST_P(EndToEnd, ConnectsAndShowsTheModuleInTheStatusBar) {
  form = std::make_unique<TForm1>();
  form->Show();
  TData& data = *form->Data();
  data.InterfaceKind = GetParam().kind;
  data.ModuleAddress = 1;
  data.ComPort = sim.ComPort();
  data.IpAddress = "127.0.0.1";
  data.UdpPort = sim.UdpPort();
  data.UdpTimeout = 200;

  std::string status;
  apptest::OnNextModal([&](qm90ui::TForm& dialog) {
    apptest::Find<qm90ui::TButton>(dialog, "Button1")->Click();
    status = apptest::TextOf(dialog, "Panel1");
  });
  form->Pipojen1Click();

  EXPECT_EQ(status, kConnected + data.ModuleName);
  EXPECT_TRUE(data.LinkOpen);
  EXPECT_EQ(qm90test::Utf8Length(data.ModuleName), 15u);
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
