// The four live-value windows against the scripted driver: what they send,
// what they show, and how ticks, clicks and closing meet a running exchange.
#include "tests/scripted/ScriptedDriver.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "dialogs/OkamAOUT.h"
#include "dialogs/OkamDIN.h"
#include "dialogs/OkamDOUT.h"
#include "dialogs/StatReg.h"
#include "tests/live/LiveFixture.h"
#include "tests/support/QtWindow.h"
#include "ui/Application.h"

namespace {

using livetest::StatusLog;
using qm90test::ShowWindow;
using qm90test::TWin;
using qm90test::Win;
using scripted::Script;

const QString kOkText = QStringLiteral(" Vse v poradku");
const QString kTimeoutText = QStringLiteral(" Modul neodpovida");
const QString kNotInitialised = QStringLiteral(" Připojení k modulu není inicializováno.");
const QString kBadValue = QStringLiteral(" Chyba zadané hodnoty (0-65535).");
constexpr std::uint8_t kTimeoutStatus = 5;
constexpr std::uint8_t kAddress = 7;

QString Caption(TWin form, const QString& name) {
  auto* label = form->findChild<QLabel*>(name);
  return label ? label->text() : QStringLiteral("<missing %1>").arg(name);
}

// Value labels Label<first> .. Label<first + count - 1> joined, top row first.
QString Bits(TWin form, int first, int count) {
  QString bits;
  for (int i = 0; i < count; ++i) bits += Caption(form, QStringLiteral("Label%1").arg(first + i));
  return bits;
}

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
  StatusLog log(form.get());
  for (const Case& c : cases) {
    Script().answers.push_back(scripted::Ok(0x33, c.inputs, 0x44, 0x55, 0x66));
    form->Timer1Timer();
    EXPECT_EQ(Bits(form.get(), 33, 8), QString::fromLatin1(c.shown)) << int(c.inputs);
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
  StatusLog log(form.get());
  Script().answers = {scripted::Ok(0, 0xA5), scripted::Fail(kTimeoutStatus),
                      scripted::SendFails(kTimeoutStatus), scripted::Ok(0, 0x0F)};
  form->Timer1Timer();
  for (int failed = 0; failed < 2; ++failed) {
    form->Timer1Timer();
    EXPECT_EQ(Bits(form.get(), 33, 8), "10100101");
    EXPECT_EQ(log.Shown(), kTimeoutText);
  }
  form->Timer1Timer();
  EXPECT_EQ(Bits(form.get(), 33, 8), "11110000");
  EXPECT_EQ(log.Texts(), QStringList({kOkText, kTimeoutText, kTimeoutText, kOkText}));
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
  StatusLog log(form.get());
  for (const Case& c : cases) {
    Script().answers.push_back(scripted::Ok(0xFF, c.d1, c.d2, c.d3, c.d4));
    form->Timer1Timer();
    QString expected(32, QLatin1Char('0'));
    expected[c.set_label - 33] = QLatin1Char('1');
    EXPECT_EQ(Bits(form.get(), 33, 32), expected) << c.set_label;
    EXPECT_EQ(Caption(form.get(), QStringLiteral("Label%1").arg(c.set_label - 32)), c.row);
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
  StatusLog log(form.get());
  Script().answers = {scripted::Ok(0, 0x52), scripted::Ok(), scripted::Fail(kTimeoutStatus),
                      scripted::Fail(kTimeoutStatus), scripted::Ok(0, 0x00)};
  form->Timer1Timer();
  form->Button2Click();  // succeeds: the status line and labels stay
  EXPECT_EQ(log.Texts(), QStringList({kOkText}));
  EXPECT_EQ(Bits(form.get(), 33, 8), "01001010");
  form->Button2Click();  // fails: its text shows
  EXPECT_EQ(log.Shown(), kTimeoutText);
  form->Timer1Timer();  // a failed poll keeps the values
  EXPECT_EQ(Bits(form.get(), 33, 8), "01001010");
  form->Timer1Timer();  // the next good poll replaces both
  EXPECT_EQ(Bits(form.get(), 33, 8), "00000000");
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
  std::function<std::unique_ptr<TLiveForm>(TData*)> open;
  std::function<void(TLiveForm*)> act;
  std::function<void(TLiveForm*)> every_action;  // every tick and click the window has
  bool ticks;                                    // act is a timer tick
};

template <typename Form>
std::unique_ptr<TLiveForm> Open(TData* data) {
  return ShowWindow<Form>(data);
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
      {"inputs", Open<TForm11>, inputs_tick, inputs_tick, true},
      {"status poll", Open<TForm15>, status_tick, StatusActions, true},
      {"status clear", Open<TForm15>, status_clear, StatusActions, false},
      {"outputs", Open<TForm9>, outputs_write, outputs_write, false},
      {"analog", Open<TForm3>, analog_write, analog_write, false},
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
      if (auto* edit = Win(form)->findChild<QLineEdit*>("Edit1")) edit->setText("12a");
      StatusLog log(form.get());
      for (int tick = 0; tick < 3; ++tick) w.act(form.get());
      EXPECT_EQ(log.Texts(), QStringList({kNotInitialised, kNotInitialised, kNotInitialised}))
          << w.name;
    }
    auto form = w.open(nullptr);
    livetest::StopTimer(form.get());
    StatusLog log(form.get());
    w.act(form.get());
    EXPECT_TRUE(log.Texts().isEmpty()) << w.name;
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

TEST_F(LiveViews, CloseDuringAnExchangeWaitsForIt) {
  for (const WindowCase& w : Windows()) {
    Script().calls.clear();
    auto form = w.open(&data_);
    livetest::StopTimer(form.get());
    TLiveForm* raw = form.get();
    QDialog* dialog = qm90test::DialogOf(form);
    bool visible_inside = false;
    Script().responder = [&](const std::uint8_t*) {
      dialog->close();   // the close box
      dialog->reject();  // "Cancel" or Escape
      visible_inside = dialog->isVisible();
      return scripted::Ok();
    };
    w.act(raw);
    EXPECT_TRUE(visible_inside) << w.name;
    EXPECT_FALSE(dialog->isVisible()) << w.name;
    EXPECT_EQ(dialog->result(), QDialog::Rejected) << w.name;
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
  QDialog* dialog = qm90test::DialogOf(&form);
  QTimer::singleShot(10000, dialog, [&] { dialog->done(99); });  // rescue from a hang
  EXPECT_EQ(form.ShowModal(), qm90ui::TModalResult::kCancel);
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_EQ(SendCount(), 1u);
  EXPECT_EQ(Caption(&form, "Label33"), "1");
}

// A slow module lowers the poll rate; ticks that fell due meanwhile are not
// replayed in a burst once it answers quickly again.
TEST_F(LiveViews, SlowModuleLowersTheRateWithoutBurst) {
  int delay_ms = 250;
  Script().responder = [&](const std::uint8_t*) {
    scripted::Answer a = scripted::Ok(0, 0x01);
    a.delay_ms = delay_ms;
    return a;
  };
  auto form = ShowWindow<TForm11>(&data_);
  QElapsedTimer clock;
  clock.start();
  qm90ui::ProcessMessagesFor(1000);
  const auto slow_sends = SendCount();
  EXPECT_GE(slow_sends, 1u);
  EXPECT_LE(slow_sends, static_cast<std::size_t>(clock.elapsed() / 250 + 1));

  delay_ms = 0;
  clock.restart();
  qm90ui::ProcessMessagesFor(60);
  const auto fast_sends = SendCount() - slow_sends;
  EXPECT_LE(fast_sends, static_cast<std::size_t>(clock.elapsed() / 100 + 2));
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
    EXPECT_EQ(Caption(c.form, "Label33"), c.first_value) << c.interval;
    c.form->Close();
  }
}

// ---------------------------------------------------------------- outputs

TEST_F(LiveViews, OutputByteFollowsTheCheckBoxes) {
  struct Case {
    std::vector<int> checked;  // DOUT numbers
    std::uint8_t byte;
  } const cases[] = {{{}, 0x00}, {{0}, 0x01}, {{7}, 0x80}, {{1, 3, 4}, 0x1A}, {{1, 3, 4}, 0x1A}};
  auto form = ShowWindow<TForm9>(&data_);
  StatusLog log(form.get());
  for (const Case& c : cases) {
    for (int i = 0; i < 8; ++i) {
      auto* box = Win(form)->findChild<QCheckBox*>(QStringLiteral("CheckBox%1").arg(i + 1));
      ASSERT_NE(box, nullptr);
      box->setChecked(std::find(c.checked.begin(), c.checked.end(), i) != c.checked.end());
    }
    QTest::mouseClick(Win(form)->findChild<QPushButton*>("Button1"), Qt::LeftButton);
    EXPECT_EQ(log.Shown(), QStringLiteral(" Data zapsána"));
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
  StatusLog log(form.get());
  Win(form)->findChild<QCheckBox*>("CheckBox3")->setChecked(true);
  Script().answers = {scripted::Fail(kTimeoutStatus), scripted::Ok()};
  form->Button1Click();
  EXPECT_EQ(log.Shown(), kTimeoutText);
  form->Button1Click();
  EXPECT_EQ(log.Texts(), QStringList({kTimeoutText, QStringLiteral(" Data zapsána")}));
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
  auto* edit = Win(form)->findChild<QLineEdit*>("Edit1");
  ASSERT_NE(edit, nullptr);
  StatusLog log(form.get());
  for (const Case& c : cases) {
    Script().calls.clear();
    log.Clear();
    edit->setText(QString::fromLatin1(c.text));
    QTest::mouseClick(Win(form)->findChild<QPushButton*>("Button1"), Qt::LeftButton);
    const auto sent = scripted::SentRequests();
    if (!c.sent) {
      EXPECT_EQ(sent.size(), 0u) << c.text;
      EXPECT_EQ(log.Texts(), QStringList({kBadValue})) << c.text;
      continue;
    }
    ASSERT_EQ(sent.size(), 1u) << c.text;
    EXPECT_EQ(sent[0].command, 1);
    EXPECT_EQ(sent[0].subcode, 0);
    EXPECT_EQ(sent[0].d1, c.low) << c.text;
    EXPECT_EQ(sent[0].d2, c.high) << c.text;
    EXPECT_EQ(sent[0].d0 | sent[0].d3 | sent[0].d4, 0);
    EXPECT_EQ(log.Texts(), QStringList({QStringLiteral(" Probíhá komunikace"),
                                        QStringLiteral(" Hodnota zapsána")}))
        << c.text;
    EXPECT_EQ(edit->text(), QString::fromLatin1(c.text));
  }
}

TEST_F(LiveViews, AnalogProgressTextIsOnScreenDuringTheExchange) {
  auto form = ShowWindow<TForm3>(&data_);
  StatusLog log(form.get());
  QString shown_inside;
  Script().responder = [&](const std::uint8_t*) {
    shown_inside = log.Shown();
    return scripted::Fail(kTimeoutStatus);
  };
  form->Button1Click();
  EXPECT_EQ(shown_inside, QStringLiteral(" Probíhá komunikace"));
  EXPECT_EQ(log.Shown(), kTimeoutText);
}

TEST_F(LiveViews, AnalogFieldIsResetWhenShownAgain) {
  auto form = ShowWindow<TForm3>(&data_);
  auto* edit = Win(form)->findChild<QLineEdit*>("Edit1");
  EXPECT_EQ(edit->text(), "0");
  edit->setText("1234");
  Win(form)->hide();
  data_.ModuleAddress = 21;
  form->Show();
  EXPECT_EQ(edit->text(), "0");
  EXPECT_EQ(form->AddressCopy, 21);
}

// ---------------------------------------------------------------- layout

TEST_F(LiveViews, ControlsSitWhereTheOperatorExpectsThem) {
  TForm11 inputs(nullptr);
  TForm15 status(nullptr);
  TForm9 outputs(nullptr);
  TForm3 analog(nullptr);
  struct Case {
    TWin form;
    const char* name;
    QRect geometry;  // width/height 0: not checked
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
    auto* w = c.form->findChild<QWidget*>(c.name);
    ASSERT_NE(w, nullptr) << c.name;
    EXPECT_EQ(w->pos(), c.geometry.topLeft()) << c.form->objectName().toStdString() << c.name;
    if (c.geometry.width() > 0) {
      EXPECT_EQ(w->size(), c.geometry.size()) << c.name;
    }
    QString text;
    if (auto* label = qobject_cast<QLabel*>(w)) text = label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) text = button->text();
    EXPECT_EQ(text, QString::fromUtf8(c.text)) << c.name;
  }
  // The value labels sit inside their panels.
  EXPECT_EQ(Win(&inputs)->findChild<QWidget*>("Label33")->parentWidget()->objectName(), "Panel1");
  EXPECT_EQ(Win(&status)->findChild<QWidget*>("Label57")->parentWidget()->objectName(), "Panel4");
  EXPECT_EQ(Win(&inputs)->size(), QSize(291, 282));
  EXPECT_EQ(Win(&status)->size(), QSize(400, 276));
  EXPECT_EQ(Win(&outputs)->size(), QSize(233, 271));
  EXPECT_EQ(Win(&analog)->size(), QSize(279, 160));
  EXPECT_EQ(Win(&inputs)->windowTitle(), "Okamžité hodnoty digitálních vstupů");
  EXPECT_EQ(Win(&status)->windowTitle(), "Status registr");
  EXPECT_EQ(Win(&outputs)->windowTitle(), "Zápis na digitální výstupy");
  EXPECT_EQ(Win(&analog)->windowTitle(), "Analogový výstup");
}

TEST_F(LiveViews, TabOrderFollowsTheLayout) {
  TForm9 outputs(nullptr);
  TForm3 analog(nullptr);
  const struct {
    TWin form;
    std::vector<const char*> order;
  } cases[] = {{&outputs,
                {"CheckBox1", "CheckBox2", "CheckBox3", "CheckBox4", "CheckBox5", "CheckBox6",
                 "CheckBox7", "CheckBox8", "Button1", "Button2", "CheckBox1"}},
               {&analog, {"Button1", "Button2", "Edit1", "Button1"}}};
  for (const auto& c : cases) {
    for (std::size_t i = 0; i + 1 < c.order.size(); ++i) {
      QWidget* w = c.form->findChild<QWidget*>(c.order[i]);
      ASSERT_NE(w, nullptr);
      QWidget* next = w->nextInFocusChain();
      while (next && next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
      ASSERT_NE(next, nullptr);
      EXPECT_EQ(next->objectName().toStdString(), c.order[i + 1]);
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
    const char* target;  // where the key goes; nullptr: the widget that has the focus
    Qt::Key key;
    bool closes;
  } cases[] = {
      {"analog Return", [this] { return ShowWindow<TForm3>(&data_); }, "Edit1", Qt::Key_Return,
       false},
      {"analog Enter", [this] { return ShowWindow<TForm3>(&data_); }, "Edit1", Qt::Key_Enter,
       false},
      {"outputs Return", [this] { return ShowWindow<TForm9>(&data_); }, "CheckBox3", Qt::Key_Return,
       false},
      {"status Return", [this] { return ShowWindow<TForm15>(&data_); }, nullptr, Qt::Key_Return,
       false},
      {"status Space", [this] { return ShowWindow<TForm15>(&data_); }, nullptr, Qt::Key_Space,
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<TLiveForm> owner = c.show();
    livetest::StopTimer(owner.get());
    QWidget* form = Win(owner);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    QWidget* target = c.target ? form->findChild<QWidget*>(c.target) : form->focusWidget();
    ASSERT_NE(target, nullptr);
    if (c.target) target->setFocus();
    if (!c.target) {
      EXPECT_EQ(target->objectName(), QStringLiteral("Button1"));  // "Cancel"
    }
    Script().calls.clear();
    QTest::keyClick(target, c.key);
    EXPECT_EQ(SendCount(), 0u);
    EXPECT_EQ(form->isVisible(), !c.closes);
  }
}

}  // namespace
