// Each settings dialog's own behaviour: what it shows when opened, its field
// checks, how a read lands in the controls, and what "Ok" stores in Config.
#include "tests/settings/SettingsFixture.h"

#include <cstring>

#include "dialogs/NastavAOUT.h"
#include "dialogs/NastavAdr.h"
#include "dialogs/NastavDIO.h"
#include "tests/support/ShowWindow.h"

namespace settingstest {
namespace {

const std::string kAddressRange = " Adresa modulu musí být v rozsahu 0-255.";
const std::string kBaudRange = " Komunikační rychlost musí být v rozsahu 600Bd-115200Bd.";
const std::string kAoutRange = " Inicializační hodnota musí být v rozsahu 0-65535.";

bool SameConfig(const TModuleConfig& a, const TModuleConfig& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

using Settings = ScriptedLinkTest;

struct FieldCase {
  const char* text;
  bool accepted;
  int value;
};

TEST_F(Settings, AddressAndAnalogFieldsAcceptOnlyIntegersInRange) {
  const std::vector<FieldCase> address{{"0", true, 0},    {"255", true, 255}, {"256", false, 0},
                                       {"-1", false, 0},  {"", false, 0},     {"12a", false, 0},
                                       {"$FF", true, 255}};
  const std::vector<FieldCase> analog{
      {"0", true, 0},      {"65535", true, 65535}, {"-1", false, 0},
      {"65536", false, 0}, {"", false, 0},         {"12a", false, 0},
      {"12 ", false, 0},   {" 12", true, 12},      {"$FF", true, 255}};
  auto check = [&](auto* form, const FieldCase& c, const std::string& refusal, auto field) {
    SCOPED_TRACE(c.text);
    data.Config = DefaultModuleConfig();
    const TModuleConfig before = data.Config;
    scripted::Script().calls.clear();
    StatusLog log(*form);
    Edit1(*form)->SetText(c.text);
    Button(*form, 1)->Click();  // "Zapsat": sends the value or nothing
    if (c.accepted) {
      ASSERT_FALSE(Sent().empty());
      EXPECT_EQ(log.Last(), kWriteDone);
    } else {
      EXPECT_TRUE(Sent().empty());
      EXPECT_EQ(log.Last(), refusal);
    }
    Button(*form, 3)->Click();  // "Ok" closes in either case
    EXPECT_FALSE(form->Form().Visible());
    if (c.accepted)
      EXPECT_EQ(field(data.Config), c.value);
    else
      EXPECT_TRUE(SameConfig(data.Config, before));
  };
  for (const FieldCase& c : address)
    check(qm90test::ShowWindow<TForm12>(&data).get(), c, kAddressRange,
          [](const TModuleConfig& m) { return int(m.Address); });
  for (const FieldCase& c : analog)
    check(qm90test::ShowWindow<TForm4>(&data).get(), c, kAoutRange,
          [](const TModuleConfig& m) { return int(m.AoutInit); });
}

TEST_F(Settings, DialogsOpenWithConfigNotWithTheLink) {
  data.BaudRate = 115200;  // the link's values must not show
  auto adr = qm90test::ShowWindow<TForm12>(&data);
  EXPECT_EQ(Edit1(*adr)->Text(), "1");
  EXPECT_EQ(ComboBox1(*adr)->Text(), "9600 Bd");
  auto dio = qm90test::ShowWindow<TForm14>(&data);
  EXPECT_EQ(Boxes(*dio, 1), 0xFF);
  EXPECT_EQ(Boxes(*dio, 33), 0xFF);
  EXPECT_EQ(Boxes(*dio, 65), 0x00);
  auto aout = qm90test::ShowWindow<TForm4>(&data);
  EXPECT_EQ(Edit1(*aout)->Text(), "0");
  for (const TFormWindow* d :
       {static_cast<TFormWindow*>(adr.get()), static_cast<TFormWindow*>(dio.get()),
        static_cast<TFormWindow*>(aout.get())})
    EXPECT_EQ(Status(*d), " ");
}

TEST_F(Settings, EnterInTheFieldStartsNoTransfer) {
  auto adr = qm90test::ShowWindow<TForm12>(&data);
  auto aout = qm90test::ShowWindow<TForm4>(&data);
  for (const TFormWindow* d :
       {static_cast<TFormWindow*>(adr.get()), static_cast<TFormWindow*>(aout.get())}) {
    Edit1(*d)->SetFocus();
    d->Form().PressKey(qm90ui::TKey::kReturn);
    EXPECT_TRUE(d->Form().Visible());
  }
  EXPECT_TRUE(Sent().empty());
}

TEST_F(Settings, BaudIndexAboveTheListLeavesNoSelectionAndBlocksWriteAndOk) {
  scripted::Script().module.registers[63] = 17;
  scripted::Script().module.registers[62] = 9;
  auto form = qm90test::ShowWindow<TForm12>(&data);
  StatusLog log(*form);
  Button(*form, 2)->Click();
  EXPECT_EQ(log.Last(), kReadDone);
  EXPECT_EQ(Edit1(*form)->Text(), "17");
  EXPECT_EQ(ComboBox1(*form)->ItemIndex(), -1);

  scripted::Script().calls.clear();
  Button(*form, 1)->Click();
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(log.Last(), kBaudRange);

  const TModuleConfig before = data.Config;
  Button(*form, 3)->Click();
  EXPECT_FALSE(form->Form().Visible());
  EXPECT_TRUE(SameConfig(data.Config, before));
}

TEST_F(Settings, ReadEndingEarlyShowsWhatCameAndThePreviousRest) {
  scripted::Script().module.registers = {{32, 0x81}, {33, 0x0F}, {63, 17}, {35, 52}, {36, 18}};
  data.Config.AoutInit = 300;

  auto adr = qm90test::ShowWindow<TForm12>(&data);
  InjectAt(1, Fault::kTimeout);
  Button(*adr, 2)->Click();
  EXPECT_EQ(Edit1(*adr)->Text(), "17");
  EXPECT_EQ(ComboBox1(*adr)->ItemIndex(), 4);

  auto dio = qm90test::ShowWindow<TForm14>(&data);
  Box(*dio, 33)->SetChecked(false);  // not stored: goes back
  InjectAt(1, Fault::kTimeout);
  Button(*dio, 2)->Click();
  EXPECT_EQ(Boxes(*dio, 65), 0x81);
  EXPECT_EQ(Boxes(*dio, 1), 0xFF);
  EXPECT_EQ(Boxes(*dio, 33), 0xFF);

  auto aout = qm90test::ShowWindow<TForm4>(&data);
  Edit1(*aout)->SetText("999");  // not stored: goes back
  InjectAt(1, Fault::kTimeout);
  Button(*aout, 2)->Click();
  EXPECT_EQ(Edit1(*aout)->Text(), "300");  // the low byte alone changes nothing
  scripted::Script().responder = scripted::ModuleResponder();
  Button(*aout, 2)->Click();
  EXPECT_EQ(Edit1(*aout)->Text(), "4660");
}

TEST_F(Settings, OkStoresTheWholeImageWithUpperGroupBytesCleared) {
  data.Config.Address = 9;
  data.Config.AoutInit = 1234;
  scripted::Script().module.registers = {{32, 0x81}, {33, 0x0F}, {34, 0xF0}};
  auto dio = qm90test::ShowWindow<TForm14>(&data);
  Button(*dio, 2)->Click();
  Box(*dio, 2)->SetChecked(false);  // DIN1 off: 0x0D
  Button(*dio, 3)->Click();
  const TModuleConfig expected{9, 4, 1234, {0x0D, 0, 0, 0}, {0xF0, 0, 0, 0}, {0x81, 0, 0, 0}};
  EXPECT_TRUE(SameConfig(data.Config, expected));

  // Only DIN0 and DIN7 negated: 129, sent to register 33.
  auto again = qm90test::ShowWindow<TForm14>(&data);
  for (int box = 1; box <= 8; ++box) Box(*again, box)->SetChecked(box == 1 || box == 8);
  scripted::Script().calls.clear();
  Button(*again, 1)->Click();
  EXPECT_EQ(Sent().at(2), (Req{103, 33, 33, 129, 129}));
  Button(*again, 3)->Click();
  EXPECT_EQ(data.Config.DinNegation[0], 129);
}

TEST_F(Settings, WriteThenCancelLeavesConfigAndReopeningShowsIt) {
  auto form = qm90test::ShowWindow<TForm12>(&data);
  Edit1(*form)->SetText("7");
  ComboBox1(*form)->SetItemIndex(0);
  Button(*form, 1)->Click();
  EXPECT_EQ(Register(63), 7);
  EXPECT_EQ(Register(62), 0);
  Button(*form, 4)->Click();
  EXPECT_FALSE(form->Form().Visible());
  EXPECT_TRUE(SameConfig(data.Config, DefaultModuleConfig()));
  EXPECT_EQ(data.ModuleAddress, kModuleAddress);  // the link keeps its address

  auto reopened = qm90test::ShowWindow<TForm12>(&data);
  EXPECT_EQ(Edit1(*reopened)->Text(), "1");
  EXPECT_EQ(ComboBox1(*reopened)->Text(), "9600 Bd");

  // "Ok" stores; the next opening shows what was stored.
  Edit1(*reopened)->SetText("200");
  Button(*reopened, 3)->Click();
  EXPECT_EQ(Edit1(*qm90test::ShowWindow<TForm12>(&data))->Text(), "200");
}

}  // namespace
}  // namespace settingstest
