// W_QM90's main window and connection dialog on the Win32 backend under Wine,
// against the native qm90-sim that ./test --windows starts: over UDP on
// 127.0.0.1 (QM90_SIM_UDP_PORT) and through its pty as a COM port
// (QM90_SIM_COM). The main window is never closed here, so no settings file
// is written beside the test program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/Hlavni.h"
#include "link/Platform.h"
#include "link/QBLxxx.h"
#include "ui/Application.h"
#include "ui/Form.h"

namespace {

using namespace qm90ui;

struct Link {
  const char* name;
  const char* environment;  // names the emulator's port; unset: skipped
  int kind_item;            // item of the kind list
};

class WindowsAppTest : public testing::TestWithParam<Link> {
 protected:
  // The libraries lie in bin/, beside the program, not beside the tests.
  void SetUp() override {
    SetDriverDirectory(platform::JoinPath(platform::ExecutableDir(), "..\\bin"));
  }
  void TearDown() override { SetDriverDirectory(""); }
};

// Once the connection dialog is shown: fills it for the link, presses
// "Inicializace připojení", notes the status line and leaves with "Cancel".
void PostConnect(const Link& link, const std::string& port, std::string& status) {
  status = "(no dialog)";
  Post([&link, port, &status] {
    TForm* dialog = ActiveModalForm();
    if (!dialog) return;
    dialog->FindAs<TComboList>("ComboBox2")->Pick(link.kind_item);
    if (link.kind_item == 4) {
      dialog->FindAs<TEdit>("Edit2")->SetText("127.0.0.1");
      dialog->FindAs<TEdit>("Edit3")->SetText(port);
      dialog->FindAs<TEdit>("Edit4")->SetText("300");
    } else {
      dialog->FindAs<TEdit>("Edit2")->SetText(port);
    }
    dialog->FindAs<TEdit>("Edit1")->SetText("1");
    dialog->FindAs<TButton>("Button1")->Click();
    status = dialog->FindControl("Panel1")->Text();
    dialog->FindAs<TButton>("Button2")->Click();
  });
}

TEST_P(WindowsAppTest, AltPConnectsAndTheStatusBarNamesTheModule) {
  const Link& link = GetParam();
  const char* port = std::getenv(link.environment);
  if (!port || !*port) GTEST_SKIP() << link.environment << " not set (./test --windows sets it)";
  TForm1 main;
  main.Show();
  EXPECT_EQ(main.StatusBar()->PanelText(0), " Modul");

  std::string status;
  PostConnect(link, port, status);
  main.Form().PressAltKey('P');  // "&Připojení"
  ProcessMessages();

  EXPECT_EQ(status.rfind("Připojení úspěšně inicializováno. Připojen modul ", 0), 0u) << status;
  EXPECT_EQ(main.StatusBar()->PanelText(0).rfind(" Modul  QM-90", 0), 0u)
      << main.StatusBar()->PanelText(0);
  EXPECT_EQ(main.StatusBar()->PanelText(1), " Adresa  1");
  EXPECT_EQ(main.StatusBar()->PanelText(2).rfind(" Rychlost  ", 0), 0u);
  EXPECT_EQ(main.StatusBar()->PanelText(2).back(), 'd');  // "...Bd"
  EXPECT_EQ(ActiveModalForm(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Links, WindowsAppTest,
                         testing::Values(Link{"Udp", "QM90_SIM_UDP_PORT", 4},
                                         Link{"Com", "QM90_SIM_COM", 0}),
                         [](const testing::TestParamInfo<Link>& info) { return info.param.name; });

}  // namespace
