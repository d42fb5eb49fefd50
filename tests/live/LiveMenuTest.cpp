// The live-value windows as the operator reaches them: the main window
// connects to qm90-sim over UDP on 127.0.0.1 through the connection dialog,
// then each item of "&Okamžité hodnoty" opens its window against the module.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "app/Hlavni.h"
#include "link/QBLxxx.h"
#include "tests/live/LiveFixture.h"
#include "tests/support/TestSim.h"

namespace {

using livetest::WaitFor;
using qm90ui::TForm;

constexpr int kModule = 1;

std::string Text(const TForm& window, const char* name) {
  qm90ui::TControl* control = window.FindControl(name);
  return control ? control->Text() : "<missing>";
}

std::string InputBits(const TForm& window) {
  std::string bits;
  for (int i = 0; i < 8; ++i) bits += Text(window, ("Label" + std::to_string(33 + i)).c_str());
  return bits;
}

void Click(const TForm& window, const char* button) {
  auto* control = window.FindAs<qm90ui::TButton>(button);
  ASSERT_NE(control, nullptr) << button;
  control->Click();
}

class LiveMenu : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start()) << sim_.Error();
    SetDriverDirectory(qm90test::TestSim::DriverDirectory());
    SetSettingsFilePath(settings_);
    form_ = std::make_unique<TForm1>();
    form_->Show();
    TData& data = *form_->Data();
    data.InterfaceKind = 4;
    data.ModuleAddress = kModule;
    data.IpAddress = "127.0.0.1";
    data.UdpPort = sim_.UdpPort();
    data.UdpTimeout = 200;
    Open("Pipojen1", [](TForm& dialog) { Click(dialog, "Button1"); });  // connect
    ASSERT_TRUE(data.LinkOpen);
  }
  void TearDown() override {
    if (form_) form_->Close();
    form_.reset();
    SetSettingsFilePath("");
    SetDriverDirectory("");
    std::remove(settings_.c_str());
  }
  qm90sim::SimControl& Sim() { return sim_.Control(); }

  // Chooses a menu item and runs `act` on the window it opens, then closes it.
  // Returns the window's class name.
  std::string Open(const char* item, const std::function<void(TForm&)>& act) {
    std::string opened;
    qm90ui::Post([&] {
      TForm* dialog = qm90ui::ActiveModalForm();
      if (!dialog) return;
      opened = dialog->Name();
      act(*dialog);
      dialog->Close();
    });
    qm90ui::TMenuItem* command = form_->Form().FindMenuItem(item);
    EXPECT_NE(command, nullptr) << item;
    if (command) command->Click();
    return opened;
  }

  const std::string settings_ = ::testing::TempDir() + "live_menu_W_qm90.ini";
  qm90test::TestSim sim_;
  std::unique_ptr<TForm1> form_;
};

TEST_F(LiveMenu, EveryLiveValueItemWorksAgainstTheEmulator) {
  ASSERT_TRUE(Sim().SetInputs(kModule, 0xA5));
  const long inputs = Sim().Get(kModule, "inputs");
  const std::string expected = livetest::BitString(static_cast<unsigned long>(inputs), 8);
  EXPECT_EQ(Open("OkamDIN2",
                 [&](TForm& d) {
                   EXPECT_TRUE(WaitFor([&] { return InputBits(d) == expected; })) << InputBits(d);
                 }),
            "TForm11");

  ASSERT_TRUE(Sim().SetStatusBits(kModule, 0x40));
  EXPECT_EQ(Open("Statusregistr1",
                 [&](TForm& d) {
                   EXPECT_TRUE(WaitFor([&] { return Text(d, "Label39") == "1"; }));  // ERR24
                   Click(d, "Button2");                                              // Vynulovat
                   EXPECT_EQ(Sim().Get(kModule, "status"), 0);
                   EXPECT_TRUE(WaitFor([&] { return Text(d, "Label39") == "0"; }));
                 }),
            "TForm15");

  EXPECT_EQ(Open("OkamDOUT1",
                 [&](TForm& d) {
                   d.FindAs<qm90ui::TCheckBox>("CheckBox2")->SetChecked(true);
                   Click(d, "Button1");
                 }),
            "TForm9");
  EXPECT_EQ(Sim().Get(kModule, "outputs"), (0x02 ^ Sim().Get(kModule, "reg 34")) & 0xFF);

  EXPECT_EQ(Open("OkamAIN2",
                 [&](TForm& d) {
                   d.FindAs<qm90ui::TEdit>("Edit1")->SetText("0x1234");
                   Click(d, "Button1");
                 }),
            "TForm3");
  EXPECT_EQ(Sim().Get(kModule, "aout"), 0x1234);
}

}  // namespace
