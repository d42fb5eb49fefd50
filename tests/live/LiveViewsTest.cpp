// The four live-value windows against the scripted driver: what they send,
// what they show, and how ticks, clicks and closing meet a running exchange.
#include "tests/scripted/ScriptedDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/OkamAOUT.h"
#include "dialogs/OkamDIN.h"
#include "dialogs/OkamDOUT.h"
#include "dialogs/StatReg.h"
#include "tests/live/LiveFixture.h"
#include "ui/Application.h"

namespace {

using livetest::Bits;
using livetest::Find;
using livetest::StatusLog;
using livetest::Text;
using qm90test::ShowWindow;
using scripted::Script;
using Texts = std::vector<std::string>;

const std::string kOkText = " Vse v poradku";
const std::string kTimeoutText = " Modul neodpovida";
const std::string kNotInitialised = " Připojení k modulu není inicializováno.";
const std::string kBadValue = " Chyba zadané hodnoty (0-65535).";
constexpr std::uint8_t kTimeoutStatus = 5;
constexpr std::uint8_t kAddress = 7;

std::size_t SendCount() {
  return Script().CallsOf(scripted::Entry::Send).size();
}

class LiveViews : public ::testing::Test {
 protected:
  void SetUp() override {
    scripted::Reset();
    Script().error_texts[0] = "Vse v poradku";
    Script().error_texts[kTimeoutStatus] = "Modul neodpovida";
    SetDriverDirectory(QM90_SCRIPTED_DIR);
    SetDataDefaults(&data_);
    data_.InitBlock[0] = 1;
    ASSERT_TRUE(livetest::OpenLink(data_, 0));
    data_.ModuleAddress = kAddress;
    Script().calls.clear();
  }
  void TearDown() override { livetest::CloseLink(data_); }

  TData data_{};
};

// ---------------------------------------------------------------- inputs view

TEST_F(LiveViews, InputsShowEachBitInItsRow) {
  struct Case {
    std::uint8_t inputs;
    const char* shown;  // DIN0 .. DIN7
  } const cases[] = {{0xA5, "10100101"},
                     {0x01, "10000000"},
                     {0x80, "00000001"},
                     {0x00, "00000000"},
                     {0xFF, "11111111"}};
  auto form = ShowWindow<TForm11>(&data_);
  livetest::StopTimer(form.get());
  StatusLog log(*form);
  for (const Case& c : cases) {
    Script().answers.push_back(scripted::Ok(0x33, c.inputs, 0x44, 0x55, 0x66));
    form->Timer1Timer();
    EXPECT_EQ(Bits(*form, 33, 8), c.shown) << int(c.inputs);
    EXPECT_EQ(log.Shown(), kOkText);
  }
  const auto sent = scripted::SentRequests();
  ASSERT_EQ(sent.size(), std::size(cases));
  for (const auto& r : sent) {
    EXPECT_EQ(r.address, kAddress);
    EXPECT_EQ(r.command, 0);
    EXPECT_EQ(r.subcode, 0x40);
    EXPECT_EQ(r.d0 | r.d1 | r.d2 | r.d3 | r.d4, 0);
  }
}

TEST_F(LiveViews, InputsKeepLastGoodValuesAfterFailedPoll) {
  auto form = ShowWindow<TForm11>(&data_);
  livetest::StopTimer(form.get());
  StatusLog log(*form);
  Script().answers = {scripted::Ok(0, 0xA5), scripted::Fail(kTimeoutStatus),
                      scripted::SendFails(kTimeoutStatus), scripted::Ok(0, 0x0F)};
  form->Timer1Timer();
  for (int failed = 0; failed < 2; ++failed) {
    form->Timer1Timer();
    EXPECT_EQ(Bits(*form, 33, 8), "10100101");
    EXPECT_EQ(log.Shown(), kTimeoutText);
  }
  form->Timer1Timer();
  EXPECT_EQ(Bits(*form, 33, 8), "11110000");
  EXPECT_EQ(log.Texts(), Texts({kOkText, kTimeoutText, kTimeoutText, kOkText}));
}

// ------------------------------------------------------- status register view

TEST_F(LiveViews, StatusRegisterBitsLandUnderTheirCaptions) {
  struct Case {
    std::uint8_t d1, d2, d3, d4;
    int set_label;    // the one value label showing "1"
    const char* row;  // caption of its row
  } const cases[] = {{0x02, 0, 0, 0, 34, "FN"},  {0x40, 0, 0, 0, 39, "ERR24"},
                     {0x10, 0, 0, 0, 37, "PWR"}, {0, 0, 0, 0x80, 64, "---"},
                     {0, 0x01, 0, 0, 41, "---"}, {0, 0, 0x08, 0, 52, "---"}};
  auto form = ShowWindow<TForm15>(&data_);
  livetest::StopTimer(form.get());
  StatusLog log(*form);
  for (const Case& c : cases) {
    Script().answers.push_back(scripted::Ok(0xFF, c.d1, c.d2, c.d3, c.d4));
    form->Timer1Timer();
    std::string expected(32, '0');
    expected[static_cast<std::size_t>(c.set_label - 33)] = '1';
    EXPECT_EQ(Bits(*form, 33, 32), expected) << c.set_label;
    EXPECT_EQ(Text(*form, "Label" + std::to_string(c.set_label - 32)), c.row);
    EXPECT_EQ(log.Shown(), kOkText);
  }
  for (const auto& r : scripted::SentRequests()) {
    EXPECT_EQ(r.address, kAddress);
    EXPECT_EQ(r.command, 100);
    EXPECT_EQ(r.subcode, 0);
  }
}

TEST_F(LiveViews, StatusRegisterClearReportsOnlyFailures) {
  auto form = ShowWindow<TForm15>(&data_);
  livetest::StopTimer(form.get());
  StatusLog log(*form);
  Script().answers = {scripted::Ok(0, 0x52), scripted::Ok(), scripted::Fail(kTimeoutStatus),
                      scripted::Fail(kTimeoutStatus), scripted::Ok(0, 0x00)};
  form->Timer1Timer();
  form->Button2Click();  // succeeds: the status line and labels stay
  EXPECT_EQ(log.Texts(), Texts({kOkText}));
  EXPECT_EQ(Bits(*form, 33, 8), "01001010");
  form->Button2Click();  // fails: its text shows
  EXPECT_EQ(log.Shown(), kTimeoutText);
  form->Timer1Timer();  // a failed poll keeps the values
  EXPECT_EQ(Bits(*form, 33, 8), "01001010");
  form->Timer1Timer();  // the next good poll replaces both
  EXPECT_EQ(Bits(*form, 33, 8), "00000000");
  EXPECT_EQ(log.Shown(), kOkText);
  const auto sent = scripted::SentRequests();
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(sent[1].command, 101);
  EXPECT_EQ(sent[2].command, 101);
  EXPECT_EQ(sent[1].address, kAddress);
}

// ----------------------------------------------------------- all four windows

// One way of making a window exchange: a tick or a click.
struct WindowCase {
  const char* name;
  std::function<std::unique_ptr<TLiveForm>(TData*)> make;  // not shown yet
  std::function<void(TLiveForm*)> act;
  std::function<void(TLiveForm*)> every_action;  // every tick and click the window has
  bool ticks;                                    // act is a timer tick

  std::unique_ptr<TLiveForm> open(TData* data) const {
    std::unique_ptr<TLiveForm> form = make(data);
    form->Show();
    return form;
  }
};

template <typename Form>
std::unique_ptr<TLiveForm> Make(TData* data) {
  auto form = std::make_unique<Form>(nullptr);
  form->Data = data;
  return form;
}

void StatusActions(TLiveForm* f) {
  static_cast<TForm15*>(f)->Timer1Timer();
  static_cast<TForm15*>(f)->Button2Click();
}

const std::vector<WindowCase>& Windows() {
  static const auto inputs_tick = [](TLiveForm* f) { static_cast<TForm11*>(f)->Timer1Timer(); };
  static const auto status_tick = [](TLiveForm* f) { static_cast<TForm15*>(f)->Timer1Timer(); };
  static const auto status_clear = [](TLiveForm* f) { static_cast<TForm15*>(f)->Button2Click(); };
  static const auto outputs_write = [](TLiveForm* f) { static_cast<TForm9*>(f)->Button1Click(); };
  static const auto analog_write = [](TLiveForm* f) { static_cast<TForm3*>(f)->Button1Click(); };
  static const std::vector<WindowCase> windows = {
      {"inputs", Make<TForm11>, inputs_tick, inputs_tick, true},
      {"status poll", Make<TForm15>, status_tick, StatusActions, true},
      {"status clear", Make<TForm15>, status_clear, StatusActions, false},
      {"outputs", Make<TForm9>, outputs_write, outputs_write, false},
      {"analog", Make<TForm3>, analog_write, analog_write, false},
  };
  return windows;
}

TEST_F(LiveViews, WithoutLinkEveryActionShowsTheMessageAndSendsNothing) {
  struct Link {
    bool open;
    std::int32_t handle;
  } const links[] = {{false, 4711}, {true, 0}};
  for (const WindowCase& w : Windows()) {
    for (const Link& link : links) {
      TData data = data_;
      data.LinkOpen = link.open;
      data.LinkHandle = link.handle;
      auto form = w.open(&data);
      livetest::StopTimer(form.get());
      if (auto* edit = form->Form().FindAs<qm90ui::TEdit>("Edit1")) edit->SetText("12a");
      StatusLog log(*form);
      for (int tick = 0; tick < 3; ++tick) w.act(form.get());
      EXPECT_EQ(log.Texts(), Texts({kNotInitialised, kNotInitialised, kNotInitialised})) << w.name;
    }
    auto form = w.open(nullptr);
    livetest::StopTimer(form.get());
    StatusLog log(*form);
    w.act(form.get());
    EXPECT_TRUE(log.Texts().empty()) << w.name;
  }
  EXPECT_EQ(SendCount(), 0u);
}

TEST_F(LiveViews, AddressIsTheOneInTheRecordWhenShown) {
  for (const WindowCase& w : Windows()) {
    Script().calls.clear();
    data_.ModuleAddress = 11;
    auto form = w.open(&data_);
    livetest::StopTimer(form.get());
    data_.ModuleAddress = 12;
    w.act(form.get());
    const auto sent = scripted::SentRequests();
    ASSERT_EQ(sent.size(), 1u) << w.name;
    EXPECT_EQ(sent[0].address, 11) << w.name;
  }
}

TEST_F(LiveViews, PollingWaitsUntilTheWindowIsShown) {
  TForm11 inputs(nullptr);
  TForm15 status(nullptr);
  for (TLiveForm* form : {static_cast<TLiveForm*>(&inputs), static_cast<TLiveForm*>(&status)}) {
    qm90test::StopTimer(form);
    form->Data = &data_;
  }
  inputs.Timer1Timer();
  status.Timer1Timer();
  EXPECT_EQ(SendCount(), 0u);
  // Shown, the same ticks poll, each once, at the record's address.
  inputs.Show();
  status.Show();
  inputs.Timer1Timer();
  status.Timer1Timer();
  const auto sent = scripted::SentRequests();
  ASSERT_EQ(sent.size(), 2u);
  for (const auto& request : sent) EXPECT_EQ(request.address, kAddress);
}

TEST_F(LiveViews, ActionDuringAnExchangeIsTurnedAway) {
  for (const WindowCase& w : Windows()) {
    Script().calls.clear();
    auto form = w.open(&data_);
    livetest::StopTimer(form.get());
    std::size_t sends_seen_inside = 0;
    bool nested = false;
    TLiveForm* raw = form.get();
    Script().responder = [&](const std::uint8_t*) {
      if (std::exchange(nested, true)) return scripted::Ok();
      w.every_action(raw);
      sends_seen_inside = SendCount();
      return scripted::Ok();
    };
    w.act(raw);
    EXPECT_EQ(sends_seen_inside, 1u) << w.name;
    EXPECT_EQ(SendCount(), 1u) << w.name;
  }
}

// Run modally, as the main window does: the close box and Escape during an
// exchange take effect once it has returned, and end the modal run.
TEST_F(LiveViews, CloseDuringAnExchangeWaitsForIt) {
  for (const WindowCase& w : Windows()) {
    Script().calls.clear();
    auto form = w.make(&data_);
    livetest::StopTimer(form.get());
    TLiveForm* raw = form.get();
    qm90ui::TForm& dialog = raw->Form();
    livetest::RescueAfter(dialog, 10000);
    bool visible_inside = false;
    Script().responder = [&](const std::uint8_t*) {
      dialog.Close();                          // the close box
      dialog.PressKey(qm90ui::TKey::kEscape);  // Escape
      visible_inside = dialog.Visible();
      return scripted::Ok();
    };
    qm90ui::Post([&] { w.act(raw); });
    EXPECT_EQ(raw->ShowModal(), qm90ui::TModalResult::kCancel) << w.name;
    EXPECT_TRUE(visible_inside) << w.name;
    EXPECT_FALSE(dialog.Visible()) << w.name;
    if (w.ticks) w.act(raw);  // a tick after closing sends nothing
    EXPECT_EQ(SendCount(), 1u) << w.name;
  }
}

TEST_F(LiveViews, ModalWindowClosedByItsOwnPollReturnsAfterTheExchange) {
  TForm11 form(nullptr);
  form.Data = &data_;
  Script().responder = [&](const std::uint8_t*) {
    form.Close();
    return scripted::Ok(0, 0x01);
  };
  livetest::RescueAfter(form.Form(), 10000);
  EXPECT_EQ(form.ShowModal(), qm90ui::TModalResult::kCancel);
  EXPECT_EQ(SendCount(), 1u);
  EXPECT_EQ(Text(form, "Label33"), "1");
}

// A slow module lowers the poll rate; ticks that fell due meanwhile are not
// replayed in a burst once it answers quickly again. The bounds follow from
// the time that passed, whatever the machine's speed.
TEST_F(LiveViews, SlowModuleLowersTheRateWithoutBurst) {
  using Clock = std::chrono::steady_clock;
  const auto ms_since = [](Clock::time_point start) {
    return static_cast<std::size_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
  };
  int delay_ms = 250;
  Script().responder = [&](const std::uint8_t*) {
    scripted::Answer a = scripted::Ok(0, 0x01);
    a.delay_ms = delay_ms;
    return a;
  };
  auto start = Clock::now();
  auto form = ShowWindow<TForm11>(&data_);
  EXPECT_TRUE(livetest::WaitFor([] { return SendCount() >= 1; }));
  qm90ui::ProcessMessagesFor(1000);
  const auto slow_sends = SendCount();
  EXPECT_LE(slow_sends, ms_since(start) / 250 + 1);

  delay_ms = 0;
  start = Clock::now();
  qm90ui::ProcessMessagesFor(60);
  const auto fast_sends = SendCount() - slow_sends;
  EXPECT_LE(fast_sends, ms_since(start) / 100 + 2);
}
TEST_F(LiveViews, TimersRunFromCreationAndPollOnceShown) {
  Script().responder = [](const std::uint8_t*) { return scripted::Ok(0, 0x01); };
  TForm11 inputs(nullptr);
  TForm15 status(nullptr);
  const struct {
    TLiveForm* form;
    int interval;
    const char* first_value;  // Label33 after a poll
  } cases[] = {{&inputs, 100, "1"}, {&status, 500, "1"}};
  for (const auto& c : cases) {
    qm90ui::TTimer* timer = c.form->Form().FindTimer("Timer1");
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->Active());
    EXPECT_EQ(timer->Interval(), c.interval);
  }
  // The timers alone (no tick by hand) make both windows poll once shown.
  for (const auto& c : cases) {
    Script().calls.clear();
    c.form->Data = &data_;
    c.form->Show();
    for (int waited = 0; SendCount() < 2 && waited < 5000; waited += 50)
      qm90ui::ProcessMessagesFor(50);
    EXPECT_GE(SendCount(), 2u) << c.interval;
    EXPECT_EQ(Text(*c.form, "Label33"), c.first_value) << c.interval;
    c.form->Close();
  }
}

// ---------------------------------------------------------------- outputs

void SetBoxes(const TFormWindow& form, const std::vector<int>& checked) {
  for (int i = 0; i < 8; ++i) {
    auto* box = Find<qm90ui::TCheckBox>(form, "CheckBox" + std::to_string(i + 1));
    ASSERT_NE(box, nullptr);
    box->SetChecked(std::find(checked.begin(), checked.end(), i) != checked.end());
  }
}

TEST_F(LiveViews, OutputByteFollowsTheCheckBoxes) {
  struct Case {
    std::vector<int> checked;  // DOUT numbers
    std::uint8_t byte;
  } const cases[] = {{{}, 0x00}, {{0}, 0x01}, {{7}, 0x80}, {{1, 3, 4}, 0x1A}, {{1, 3, 4}, 0x1A}};
  auto form = ShowWindow<TForm9>(&data_);
  StatusLog log(*form);
  for (const Case& c : cases) {
    SetBoxes(*form, c.checked);
    Find<qm90ui::TButton>(*form, "Button1")->Click();
    EXPECT_EQ(log.Shown(), " Data zapsána");
  }
  const auto sent = scripted::SentRequests();
  ASSERT_EQ(sent.size(), std::size(cases));
  for (std::size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i].d1, cases[i].byte) << i;
    EXPECT_EQ(sent[i].command, 1);
    EXPECT_EQ(sent[i].subcode, 0x40);
    EXPECT_EQ(sent[i].d0 | sent[i].d2 | sent[i].d3 | sent[i].d4, 0);
  }
}

TEST_F(LiveViews, FailedOutputWriteShowsDriverTextAndKeepsBoxes) {
  auto form = ShowWindow<TForm9>(&data_);
  StatusLog log(*form);
  Find<qm90ui::TCheckBox>(*form, "CheckBox3")->SetChecked(true);
  Script().answers = {scripted::Fail(kTimeoutStatus), scripted::Ok()};
  form->Button1Click();
  EXPECT_EQ(log.Shown(), kTimeoutText);
  form->Button1Click();
  EXPECT_EQ(log.Texts(), Texts({kTimeoutText, " Data zapsána"}));
  const auto sent = scripted::SentRequests();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].d1, 0x04);
}

// ---------------------------------------------------------------- analog output

TEST_F(LiveViews, AnalogFieldIsReadAsAWholeNumberInRange) {
  struct Case {
    const char* text;
    bool sent;
    std::uint8_t low, high;
  } const cases[] = {
      {"0", true, 0x00, 0x00},      {"65535", true, 0xFF, 0xFF}, {"258", true, 0x02, 0x01},
      {"$FF", true, 0xFF, 0x00},    {"0x100", true, 0x00, 0x01}, {"  5", true, 0x05, 0x00},
      {"+7", true, 0x07, 0x00},     {"65536", false, 0, 0},      {"-1", false, 0, 0},
      {"$FFFFFFFF", false, 0, 0},   {"", false, 0, 0},           {"12a", false, 0, 0},
      {"1 2", false, 0, 0},         {"5 ", false, 0, 0},         {"$", false, 0, 0},
      {"99999999999", false, 0, 0},
  };
  auto form = ShowWindow<TForm3>(&data_);
  auto* edit = Find<qm90ui::TEdit>(*form, "Edit1");
  ASSERT_NE(edit, nullptr);
  StatusLog log(*form);
  for (const Case& c : cases) {
    Script().calls.clear();
    log.Clear();
    edit->SetText(c.text);
    Find<qm90ui::TButton>(*form, "Button1")->Click();
    const auto sent = scripted::SentRequests();
    if (!c.sent) {
      EXPECT_EQ(sent.size(), 0u) << c.text;
      EXPECT_EQ(log.Texts(), Texts({kBadValue})) << c.text;
      continue;
    }
    ASSERT_EQ(sent.size(), 1u) << c.text;
    EXPECT_EQ(sent[0].command, 1);
    EXPECT_EQ(sent[0].subcode, 0);
    EXPECT_EQ(sent[0].d1, c.low) << c.text;
    EXPECT_EQ(sent[0].d2, c.high) << c.text;
    EXPECT_EQ(sent[0].d0 | sent[0].d3 | sent[0].d4, 0);
    EXPECT_EQ(log.Texts(), Texts({" Probíhá komunikace", " Hodnota zapsána"})) << c.text;
    EXPECT_EQ(edit->Text(), c.text);
  }
}

TEST_F(LiveViews, AnalogProgressTextIsOnScreenDuringTheExchange) {
  auto form = ShowWindow<TForm3>(&data_);
  StatusLog log(*form);
  std::string shown_inside;
  Script().responder = [&](const std::uint8_t*) {
    shown_inside = log.Shown();
    return scripted::Fail(kTimeoutStatus);
  };
  form->Button1Click();
  EXPECT_EQ(shown_inside, " Probíhá komunikace");
  EXPECT_EQ(log.Shown(), kTimeoutText);
}

TEST_F(LiveViews, AnalogFieldIsResetWhenShownAgain) {
  auto form = ShowWindow<TForm3>(&data_);
  auto* edit = Find<qm90ui::TEdit>(*form, "Edit1");
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->Text(), "0");
  edit->SetText("1234");
  form->Close();
  data_.ModuleAddress = 21;
  form->Show();
  EXPECT_EQ(edit->Text(), "0");
  EXPECT_EQ(form->AddressCopy, 21);
}

// ---------------------------------------------------------------- layout

TEST_F(LiveViews, ControlsSitWhereTheOperatorExpectsThem) {
  TForm11 inputs(nullptr);
  TForm15 status(nullptr);
  TForm9 outputs(nullptr);
  TForm3 analog(nullptr);
  struct Case {
    const TFormWindow* form;
    const char* name;
    qm90ui::TBounds bounds;  // width/height 0: not checked
    const char* text;
  } const cases[] = {
      {&inputs, "Label1", {104, 32, 0, 0}, "DIN0"},
      {&inputs, "Label8", {104, 144, 0, 0}, "DIN7"},
      {&inputs, "Panel1", {160, 24, 25, 145}, ""},
      {&inputs, "Label33", {8, 8, 0, 0}, "0"},
      {&inputs, "Label40", {8, 120, 0, 0}, "0"},
      {&inputs, "Button1", {112, 208, 75, 25}, "Cancel"},
      {&status, "Label2", {24, 48, 0, 0}, "FN"},
      {&status, "Label3", {24, 64, 0, 0}, "PRF"},
      {&status, "Label6", {24, 112, 0, 0}, "RST"},
      {&status, "Label25", {320, 32, 0, 0}, "---"},
      {&status, "Panel4", {344, 24, 25, 145}, ""},
      {&status, "Label64", {8, 120, 0, 0}, "0"},
      {&status, "Button2", {24, 208, 75, 25}, "Vynulovat"},
      {&status, "Button1", {296, 208, 75, 25}, "Cancel"},
      {&outputs, "CheckBox1", {88, 32, 65, 17}, "DOUT0"},
      {&outputs, "CheckBox8", {88, 144, 65, 17}, "DOUT7"},
      {&outputs, "Button1", {32, 200, 75, 25}, "Zapsat"},
      {&outputs, "Button2", {128, 200, 75, 25}, "Cancel"},
      {&analog, "Label1", {24, 32, 0, 0}, "AOUT výstup (0-65535)"},
      {&analog, "Edit1", {160, 24, 89, 21}, ""},
      {&analog, "Button1", {24, 88, 73, 25}, "Zápis"},
      {&analog, "Button2", {176, 88, 75, 25}, "Cancel"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.form->Form().Name() + " " + c.name);
    qm90ui::TControl* control = c.form->Form().FindControl(c.name);
    ASSERT_NE(control, nullptr);
    const qm90ui::TBounds bounds = control->Bounds();
    EXPECT_EQ(bounds.left, c.bounds.left);
    EXPECT_EQ(bounds.top, c.bounds.top);
    if (c.bounds.width > 0) {
      EXPECT_EQ(bounds.width, c.bounds.width);
      EXPECT_EQ(bounds.height, c.bounds.height);
    }
    EXPECT_EQ(control->Text(), c.text);
  }
  // The value labels sit inside their panels.
  EXPECT_EQ(Find(inputs, "Label33")->ParentName(), "Panel1");
  EXPECT_EQ(Find(status, "Label57")->ParentName(), "Panel4");
  const struct {
    const TFormWindow* form;
    int width, height;
    const char* caption;
  } forms[] = {{&inputs, 291, 282, "Okamžité hodnoty digitálních vstupů"},
               {&status, 400, 276, "Status registr"},
               {&outputs, 233, 271, "Zápis na digitální výstupy"},
               {&analog, 279, 160, "Analogový výstup"}};
  for (const auto& f : forms) {
    EXPECT_EQ(f.form->Form().ClientWidth(), f.width) << f.caption;
    EXPECT_EQ(f.form->Form().ClientHeight(), f.height) << f.caption;
    EXPECT_EQ(f.form->Form().Caption(), f.caption);
  }
}

TEST_F(LiveViews, TabOrderFollowsTheLayout) {
  auto outputs = ShowWindow<TForm9>(nullptr);
  auto analog = ShowWindow<TForm3>(nullptr);
  const struct {
    const TFormWindow* form;
    std::vector<const char*> order;
  } cases[] = {{outputs.get(),
                {"CheckBox1", "CheckBox2", "CheckBox3", "CheckBox4", "CheckBox5", "CheckBox6",
                 "CheckBox7", "CheckBox8", "Button1", "Button2", "CheckBox1"}},
               {analog.get(), {"Button1", "Button2", "Edit1", "Button1"}}};
  for (const auto& c : cases) {
    qm90ui::TForm& form = c.form->Form();
    SCOPED_TRACE(form.Name());
    livetest::StopTimer(c.form);
    Find(*c.form, c.order.front())->SetFocus();
    qm90ui::ProcessMessages();
    for (std::size_t i = 1; i < c.order.size(); ++i) {
      form.PressKey(qm90ui::TKey::kTab);
      qm90ui::TControl* focused = form.FocusedControl();
      ASSERT_NE(focused, nullptr) << "after " << c.order[i - 1];
      EXPECT_EQ(focused->Name(), c.order[i]);
    }
  }
}

// Keys pressed right after a window opens: Return in the analog field or on an
// output box presses no button, and the status register window starts on
// "Cancel", so Return does nothing there and Space closes the window; none of
// them sends anything.
TEST_F(LiveViews, KeysRightAfterOpeningSendNothing) {
  const struct {
    const char* name;
    std::function<std::unique_ptr<TLiveForm>()> show;
    const char* target;  // where the key goes; nullptr: the control that has the focus
    qm90ui::TKey key;
    bool closes;
  } cases[] = {
      {"analog Return", [this] { return ShowWindow<TForm3>(&data_); }, "Edit1",
       qm90ui::TKey::kReturn, false},
      {"outputs Return", [this] { return ShowWindow<TForm9>(&data_); }, "CheckBox3",
       qm90ui::TKey::kReturn, false},
      {"status Return", [this] { return ShowWindow<TForm15>(&data_); }, nullptr,
       qm90ui::TKey::kReturn, false},
      {"status Space", [this] { return ShowWindow<TForm15>(&data_); }, nullptr,
       qm90ui::TKey::kSpace, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<TLiveForm> owner = c.show();
    livetest::StopTimer(owner.get());
    qm90ui::TForm& form = owner->Form();
    qm90ui::ProcessMessages();
    if (c.target) {
      Find(*owner, c.target)->SetFocus();
    } else {
      qm90ui::TControl* focused = form.FocusedControl();
      ASSERT_NE(focused, nullptr);
      EXPECT_EQ(focused->Name(), "Button1");  // "Cancel"
    }
    Script().calls.clear();
    form.PressKey(c.key);
    qm90ui::ProcessMessages();
    EXPECT_EQ(SendCount(), 0u);
    EXPECT_EQ(form.Visible(), !c.closes);
  }
}

}  // namespace
