// What the three settings dialogs have in common, run over one table: the
// exact requests of a read and of a write, the status texts in order, where a
// failing request or a read-back that differs stops the transfer and what stays
// written in the module, and that nothing interleaves with a running transfer.
#include "tests/settings/SettingsFixture.h"

#include <QTest>
#include <QTimer>

#include "dialogs/NastavAOUT.h"
#include "dialogs/NastavAdr.h"
#include "dialogs/NastavDIO.h"

namespace settingstest {
namespace {

struct DialogKind {
  const char* name;
  std::function<std::unique_ptr<TSettingsForm>(TData*)> create;
  std::function<void(TSettingsForm*, int)> handler;  // ButtonNClick
  std::function<void(qm90test::TWin)> enter;         // the values the write sends
  std::vector<Req> write;
  std::vector<Req> read;
  std::vector<int> percents;
  bool pauses;  // lets window events through between requests
};

template <typename F>
DialogKind Kind(const char* name, std::function<void(qm90test::TWin)> enter, std::vector<Req> write,
                std::vector<Req> read, std::vector<int> percents, bool pauses) {
  auto create = [](TData* data) -> std::unique_ptr<TSettingsForm> {
    auto form = std::make_unique<F>(nullptr);
    form->Data = data;
    return form;
  };
  auto handler = [](TSettingsForm* form, int n) {
    if (n == 1) form->Button1Click();
    if (n == 2) form->Button2Click();
    if (n == 3) form->Button3Click();
    if (n == 4) form->Button4Click();
  };
  return {name, create, handler, enter, write, read, percents, pauses};
}

std::vector<DialogKind> Kinds() {
  return {
      Kind<TForm12>(
          "NastavAdr",
          [](qm90test::TWin d) {
            Edit1(d)->setText("7");
            ComboBox1(d)->setCurrentIndex(8);
          },
          {{103, 63, 63, 7, 7}, {102, 63, 63, 0, 0}, {103, 62, 62, 8, 8}, {102, 62, 62, 0, 0}},
          {{102, 63, 63, 0, 0}, {102, 62, 62, 0, 0}}, {50, 100}, true),
      Kind<TForm14>(
          "NastavDIO",
          [](qm90test::TWin d) {
            SetBoxes(d, 1, 0xFE);   // input negation
            SetBoxes(d, 33, 0x7F);  // output negation
            SetBoxes(d, 65, 0x81);  // initial state
          },
          {{103, 32, 32, 0x81, 0x81},
           {102, 32, 32, 0, 0},
           {103, 33, 33, 0xFE, 0xFE},
           {102, 33, 33, 0, 0},
           {103, 34, 34, 0x7F, 0x7F},
           {102, 34, 34, 0, 0}},
          {{102, 32, 32, 0, 0}, {102, 33, 33, 0, 0}, {102, 34, 34, 0, 0}}, {8, 41, 75}, true),
      Kind<TForm4>(
          "NastavAOUT", [](qm90test::TWin d) { Edit1(d)->setText("4660"); },
          {{103, 35, 35, 52, 52},
           {102, 35, 35, 52, 52},
           {103, 36, 36, 18, 18},
           {102, 36, 36, 18, 18}},
          {{102, 35, 35, 0, 0}, {102, 36, 36, 0, 0}}, {50, 100}, false),
  };
}

std::vector<QString> Progress(QString (*text)(int), const std::vector<int>& percents,
                              const QString& last) {
  std::vector<QString> out{text(0)};
  for (int p : percents) out.push_back(text(p));
  out.push_back(last);
  return out;
}

class SettingsTransfer : public ScriptedLinkTest {
 protected:
  // Shows a fresh dialog of the kind, with the table's values entered.
  std::unique_ptr<TSettingsForm> Open(const DialogKind& kind) {
    auto dialog = kind.create(&data);
    dialog->Show();
    kind.enter(dialog.get());
    return dialog;
  }
  // Old values, none equal to what the table's write sends.
  void FillModule() {
    for (int reg : {32, 33, 34, 35, 36, 62, 63}) scripted::Script().module.registers[reg] = 3;
  }
  static std::map<int, int> Written(const std::vector<Req>& sent) {
    std::map<int, int> out;
    for (const Req& r : sent)
      if (r.cmd == 103) out[r.d1] = r.d3;
    return out;
  }
};

TEST_F(SettingsTransfer, SuccessfulWriteSendsEachRegisterWithReadBackInOrder) {
  for (const DialogKind& kind : Kinds()) {
    SCOPED_TRACE(kind.name);
    scripted::Script().calls.clear();
    auto dialog = Open(kind);
    StatusLog log(dialog.get());
    Button(dialog.get(), 1)->click();
    EXPECT_EQ(Sent(), kind.write);
    std::vector<QString> expected{kNoMessage};  // the controls were valid
    for (const QString& text : Progress(WriteProgress, kind.percents, kWriteDone))
      expected.push_back(text);
    EXPECT_EQ(log.texts, expected);
    for (auto [reg, value] : Written(kind.write)) EXPECT_EQ(Register(reg), value) << reg;
  }
}

TEST_F(SettingsTransfer, SuccessfulReadSendsEachRegisterInOrder) {
  for (const DialogKind& kind : Kinds()) {
    SCOPED_TRACE(kind.name);
    scripted::Script().calls.clear();
    auto dialog = Open(kind);
    StatusLog log(dialog.get());
    Button(dialog.get(), 2)->click();
    EXPECT_EQ(Sent(), kind.read);
    EXPECT_EQ(log.texts, Progress(ReadProgress, kind.percents, kReadDone));
  }
}

TEST_F(SettingsTransfer, WriteStopsAtTheFirstFailureAndKeepsWhatWasWritten) {
  for (const DialogKind& kind : Kinds()) {
    for (std::size_t at = 0; at < kind.write.size(); ++at) {
      const bool read_back = kind.write[at].cmd == 102;
      for (Fault fault : {Fault::kTimeout, Fault::kOtherValue}) {
        if (fault == Fault::kOtherValue && !read_back) continue;
        SCOPED_TRACE(testing::Message()
                     << kind.name << " request " << at << " fault " << int(fault));
        FillModule();
        scripted::Script().calls.clear();
        auto dialog = Open(kind);
        StatusLog log(dialog.get());
        InjectAt(at, fault);
        Button(dialog.get(), 1)->click();

        const std::vector<Req> sent = Prefix(kind.write, at + 1);
        EXPECT_EQ(Sent(), sent);
        EXPECT_EQ(log.Last(),
                  fault == Fault::kTimeout ? kTimeoutText : QStringLiteral(" Chyba zápisu dat."));
        const auto written = Written(Prefix(kind.write, at));  // writes before the failure
        for (int reg : {32, 33, 34, 35, 36, 62, 63}) {
          const int expected = written.count(reg) ? written.at(reg) : 3;
          EXPECT_EQ(Register(reg), expected) << "register " << reg;
        }
        EXPECT_EQ(std::count(log.texts.begin(), log.texts.end(), kWriteDone), 0);
      }
    }
  }
}

TEST_F(SettingsTransfer, ReadStopsAtTheFirstFailingRequest) {
  for (const DialogKind& kind : Kinds()) {
    for (std::size_t at = 0; at < kind.read.size(); ++at) {
      SCOPED_TRACE(testing::Message() << kind.name << " request " << at);
      scripted::Script().calls.clear();
      auto dialog = Open(kind);
      StatusLog log(dialog.get());
      InjectAt(at, Fault::kTimeout);
      Button(dialog.get(), 2)->click();
      EXPECT_EQ(Sent(), Prefix(kind.read, at + 1));
      std::vector<QString> expected{ReadProgress(0)};
      for (std::size_t i = 0; i < at; ++i) expected.push_back(ReadProgress(kind.percents[i]));
      expected.push_back(kTimeoutText);
      EXPECT_EQ(log.texts, expected);
    }
  }
}

TEST_F(SettingsTransfer, WithoutLinkNothingIsSentButOkStillStores) {
  data.LinkOpen = false;
  for (const DialogKind& kind : Kinds()) {
    SCOPED_TRACE(kind.name);
    data.Config = DefaultModuleConfig();
    auto dialog = Open(kind);
    StatusLog log(dialog.get());
    for (int button : {1, 2}) {
      Button(dialog.get(), button)->click();
      EXPECT_EQ(log.Last(), kLinkNotOpen);
    }
    EXPECT_TRUE(Sent().empty());
    Button(dialog.get(), 3)->click();
    EXPECT_FALSE(dialog->Form().Visible());
    EXPECT_EQ(qm90test::DialogOf(dialog)->result(), QDialog::Accepted);
    const TModuleConfig defaults = DefaultModuleConfig();
    EXPECT_NE(std::memcmp(&data.Config, &defaults, sizeof defaults), 0);
  }
}

TEST_F(SettingsTransfer, ClicksAndCloseRequestsDuringATransferAreHeldOff) {
  for (const DialogKind& kind : Kinds()) {
    for (int transfer_button : {1, 2}) {
      SCOPED_TRACE(testing::Message() << kind.name << " button " << transfer_button);
      scripted::Script().calls.clear();
      const TModuleConfig before = data.Config;
      auto dialog = Open(kind);
      QDialog* d = qm90test::DialogOf(dialog);
      bool visible_throughout = true;
      auto requests = std::make_shared<int>(0);
      scripted::Script().responder = [&, d, requests](const std::uint8_t request[8]) {
        visible_throughout = visible_throughout && d->isVisible();
        if ((*requests)++ == 0) {
          for (int n : {1, 2, 3, 4}) kind.handler(dialog.get(), n);  // straight into the handlers
          for (int n : {1, 2, 3, 4}) Button(d, n)->click();
          QTest::keyClick(d, Qt::Key_Escape);
          d->close();
        }
        return scripted::ModuleAnswer(scripted::Script().module, scripted::Decode(request));
      };
      Button(d, transfer_button)->click();

      EXPECT_EQ(Sent(), transfer_button == 1 ? kind.write : kind.read);  // exactly one transfer
      EXPECT_TRUE(visible_throughout);
      EXPECT_FALSE(d->isVisible());  // the held close came afterwards
      EXPECT_EQ(d->result(), QDialog::Rejected);
      EXPECT_EQ(std::memcmp(&data.Config, &before, sizeof before), 0);  // "Ok" was refused
    }
  }
}

TEST_F(SettingsTransfer, EventsRunBetweenRequestsOnlyWithPausesAndClicksThenAreHeldOff) {
  for (const DialogKind& kind : Kinds()) {
    SCOPED_TRACE(kind.name);
    scripted::Script().calls.clear();
    auto dialog = Open(kind);
    QDialog* d = qm90test::DialogOf(dialog);
    auto requests = std::make_shared<int>(0);
    auto delivered = std::make_shared<bool>(false);
    auto seen_at_request = std::make_shared<std::vector<bool>>();
    const bool pauses = kind.pauses;
    scripted::Script().responder = [=](const std::uint8_t request[8]) {
      seen_at_request->push_back(*delivered);
      if ((*requests)++ == 0) {
        // A user's clicks queued while the first request is under way.
        QTimer::singleShot(0, d, [=] {
          *delivered = true;
          if (!pauses) return;  // would come only after the transfer
          QTest::mouseClick(Button(d, 2), Qt::LeftButton);
          QTest::mouseClick(Button(d, 1), Qt::LeftButton);
          QTest::mouseClick(Button(d, 3), Qt::LeftButton);
          QTest::keyClick(d, Qt::Key_Escape);
        });
      }
      return scripted::ModuleAnswer(scripted::Script().module, scripted::Decode(request));
    };
    StatusLog log(d);
    Button(d, 1)->click();
    EXPECT_EQ(Sent(), kind.write);
    EXPECT_EQ(log.Last(), kWriteDone);
    ASSERT_FALSE(seen_at_request->empty());
    EXPECT_EQ(seen_at_request->back(), pauses);
    EXPECT_EQ(d->isVisible(), !pauses);  // Escape waited for the end of the transfer
    for (int n : {1, 2, 3, 4}) EXPECT_TRUE(Button(d, n)->isEnabled());
  }
}

// Whichever request of a write is under way when the user acts, the act is
// treated alike: the buttons stay enabled, a transfer or "Ok" is refused (no
// second transfer follows, the record keeps its values) and a close is held and
// carried out once the transfer has ended.
TEST_F(SettingsTransfer, ActsQueuedDuringAnyRequestOfAWriteAreTreatedAlike) {
  enum class Act { kZapsat, kPrecist, kOk, kCancel, kEscape, kCloseBox };
  const struct {
    Act act;
    const char* name;
    bool closes;
  } acts[] = {{Act::kZapsat, "Zapsat", false}, {Act::kPrecist, "Přečíst", false},
              {Act::kOk, "Ok", false},         {Act::kCancel, "Cancel", true},
              {Act::kEscape, "Escape", true},  {Act::kCloseBox, "close box", true}};
  for (const DialogKind& kind : Kinds()) {
    for (std::size_t at = 0; at < kind.write.size(); ++at) {
      for (const auto& act : acts) {
        SCOPED_TRACE(testing::Message() << kind.name << " request " << at << " " << act.name);
        scripted::Script().calls.clear();
        const TModuleConfig before = data.Config;
        auto dialog = Open(kind);
        QDialog* d = qm90test::DialogOf(dialog);
        auto requests = std::make_shared<std::size_t>(0);
        auto all_enabled = std::make_shared<bool>(true);
        scripted::Script().responder = [=, a = act.act](const std::uint8_t request[8]) {
          for (int n : {1, 2, 3, 4}) *all_enabled = *all_enabled && Button(d, n)->isEnabled();
          if ((*requests)++ == at) {
            QTimer::singleShot(0, d, [d, a] {
              if (a == Act::kZapsat) QTest::mouseClick(Button(d, 1), Qt::LeftButton);
              if (a == Act::kPrecist) QTest::mouseClick(Button(d, 2), Qt::LeftButton);
              if (a == Act::kOk) QTest::mouseClick(Button(d, 3), Qt::LeftButton);
              if (a == Act::kCancel) QTest::mouseClick(Button(d, 4), Qt::LeftButton);
              if (a == Act::kEscape) QTest::keyClick(d, Qt::Key_Escape);
              if (a == Act::kCloseBox) d->close();
            });
          }
          return scripted::ModuleAnswer(scripted::Script().module, scripted::Decode(request));
        };
        Button(d, 1)->click();
        EXPECT_EQ(Sent(), kind.write);
        EXPECT_TRUE(*all_enabled);
        EXPECT_EQ(d->isVisible(), !act.closes);
        EXPECT_EQ(std::memcmp(&data.Config, &before, sizeof before), 0);
        scripted::Script().responder = scripted::ModuleResponder();
      }
    }
  }
}

}  // namespace
}  // namespace settingstest
