// What the three settings dialogs have in common, run over one table: the
// exact requests of a read and of a write, the status texts in order, where a
// failing request or a read-back that differs stops the transfer and what stays
// written in the module, and that nothing interleaves with a running transfer.
#include "tests/settings/SettingsFixture.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "dialogs/NastavAOUT.h"
#include "dialogs/NastavAdr.h"
#include "dialogs/NastavDIO.h"

namespace settingstest {
namespace {

struct DialogKind {
  const char* name;
  std::function<std::unique_ptr<TSettingsForm>(TData*)> create;
  std::function<void(TSettingsForm*, int)> handler;  // ButtonNClick
  std::function<void(const TFormWindow&)> enter;     // the values the write sends
  std::vector<Req> write;
  std::vector<Req> read;
  std::vector<int> percents;
  bool pauses;  // lets window events through between requests
};

template <typename F>
DialogKind Kind(const char* name, std::function<void(const TFormWindow&)> enter,
                std::vector<Req> write, std::vector<Req> read, std::vector<int> percents,
                bool pauses) {
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
          [](const TFormWindow& d) {
            Edit1(d)->SetText("7");
            ComboBox1(d)->SetItemIndex(8);
          },
          {{103, 63, 63, 7, 7}, {102, 63, 63, 0, 0}, {103, 62, 62, 8, 8}, {102, 62, 62, 0, 0}},
          {{102, 63, 63, 0, 0}, {102, 62, 62, 0, 0}}, {50, 100}, true),
      Kind<TForm14>(
          "NastavDIO",
          [](const TFormWindow& d) {
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
          "NastavAOUT", [](const TFormWindow& d) { Edit1(d)->SetText("4660"); },
          {{103, 35, 35, 52, 52},
           {102, 35, 35, 52, 52},
           {103, 36, 36, 18, 18},
           {102, 36, 36, 18, 18}},
          {{102, 35, 35, 0, 0}, {102, 36, 36, 0, 0}}, {50, 100}, false),
  };
}

std::vector<std::string> Progress(std::string (*text)(int), const std::vector<int>& percents,
                                  const std::string& last) {
  std::vector<std::string> out{text(0)};
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
    kind.enter(*dialog);
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
    StatusLog log(*dialog);
    Button(*dialog, 1)->Click();
    EXPECT_EQ(Sent(), kind.write);
    std::vector<std::string> expected{kNoMessage};  // the controls were valid
    for (const std::string& text : Progress(WriteProgress, kind.percents, kWriteDone))
      expected.push_back(text);
    EXPECT_EQ(log.Texts(), expected);
    for (auto [reg, value] : Written(kind.write)) EXPECT_EQ(Register(reg), value) << reg;
  }
}

TEST_F(SettingsTransfer, SuccessfulReadSendsEachRegisterInOrder) {
  for (const DialogKind& kind : Kinds()) {
    SCOPED_TRACE(kind.name);
    scripted::Script().calls.clear();
    auto dialog = Open(kind);
    StatusLog log(*dialog);
    Button(*dialog, 2)->Click();
    EXPECT_EQ(Sent(), kind.read);
    EXPECT_EQ(log.Texts(), Progress(ReadProgress, kind.percents, kReadDone));
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
        StatusLog log(*dialog);
        InjectAt(at, fault);
        Button(*dialog, 1)->Click();

        const std::vector<Req> sent = Prefix(kind.write, at + 1);
        EXPECT_EQ(Sent(), sent);
        EXPECT_EQ(log.Last(),
                  fault == Fault::kTimeout ? kTimeoutText : std::string(" Chyba zápisu dat."));
        const auto written = Written(Prefix(kind.write, at));  // writes before the failure
        for (int reg : {32, 33, 34, 35, 36, 62, 63}) {
          const int expected = written.count(reg) ? written.at(reg) : 3;
          EXPECT_EQ(Register(reg), expected) << "register " << reg;
        }
        EXPECT_EQ(std::count(log.Texts().begin(), log.Texts().end(), kWriteDone), 0);
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
      StatusLog log(*dialog);
      InjectAt(at, Fault::kTimeout);
      Button(*dialog, 2)->Click();
      EXPECT_EQ(Sent(), Prefix(kind.read, at + 1));
      std::vector<std::string> expected{ReadProgress(0)};
      for (std::size_t i = 0; i < at; ++i) expected.push_back(ReadProgress(kind.percents[i]));
      expected.push_back(kTimeoutText);
      EXPECT_EQ(log.Texts(), expected);
    }
  }
}

TEST_F(SettingsTransfer, WithoutLinkNothingIsSentButOkStillStores) {
  data.LinkOpen = false;
  for (const DialogKind& kind : Kinds()) {
    SCOPED_TRACE(kind.name);
    data.Config = DefaultModuleConfig();
    auto dialog = Open(kind);
    StatusLog log(*dialog);
    for (int button : {1, 2}) {
      Button(*dialog, button)->Click();
      EXPECT_EQ(log.Last(), kLinkNotOpen);
    }
    EXPECT_TRUE(Sent().empty());
    Button(*dialog, 3)->Click();
    EXPECT_FALSE(dialog->Form().Visible());
    EXPECT_EQ(dialog->Form().ModalResult(), qm90ui::TModalResult::kOk);
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
      qm90ui::TForm& d = dialog->Form();
      bool visible_throughout = true;
      auto requests = std::make_shared<int>(0);
      scripted::Script().responder = [&, requests](const std::uint8_t request[8]) {
        visible_throughout = visible_throughout && d.Visible();
        if ((*requests)++ == 0) {
          for (int n : {1, 2, 3, 4}) kind.handler(dialog.get(), n);  // straight into the handlers
          for (int n : {1, 2, 3, 4}) Button(*dialog, n)->Click();
          d.PressKey(qm90ui::TKey::kEscape);
          d.Close();
        }
        return scripted::ModuleAnswer(scripted::Script().module, scripted::Decode(request));
      };
      Button(*dialog, transfer_button)->Click();

      EXPECT_EQ(Sent(), transfer_button == 1 ? kind.write : kind.read);  // exactly one transfer
      EXPECT_TRUE(visible_throughout);
      EXPECT_FALSE(d.Visible());  // the held close came afterwards
      EXPECT_EQ(d.ModalResult(), qm90ui::TModalResult::kCancel);
      EXPECT_EQ(std::memcmp(&data.Config, &before, sizeof before), 0);  // "Ok" was refused
    }
  }
}

TEST_F(SettingsTransfer, EventsRunBetweenRequestsOnlyWithPausesAndClicksThenAreHeldOff) {
  for (const DialogKind& kind : Kinds()) {
    SCOPED_TRACE(kind.name);
    scripted::Script().calls.clear();
    auto dialog = Open(kind);
    TFormWindow* d = dialog.get();
    auto requests = std::make_shared<int>(0);
    auto delivered = std::make_shared<bool>(false);
    auto seen_at_request = std::make_shared<std::vector<bool>>();
    const bool pauses = kind.pauses;
    scripted::Script().responder = [=](const std::uint8_t request[8]) {
      seen_at_request->push_back(*delivered);
      if ((*requests)++ == 0) {
        // A user's clicks queued while the first request is under way.
        qm90ui::Post([=] {
          *delivered = true;
          if (!pauses) return;  // would come only after the transfer
          Button(*d, 2)->Click();
          Button(*d, 1)->Click();
          Button(*d, 3)->Click();
          d->Form().PressKey(qm90ui::TKey::kEscape);
        });
      }
      return scripted::ModuleAnswer(scripted::Script().module, scripted::Decode(request));
    };
    StatusLog log(*d);
    Button(*d, 1)->Click();
    EXPECT_EQ(Sent(), kind.write);
    EXPECT_EQ(log.Last(), kWriteDone);
    ASSERT_FALSE(seen_at_request->empty());
    EXPECT_EQ(seen_at_request->back(), pauses);
    EXPECT_EQ(d->Form().Visible(), !pauses);  // Escape waited for the end of the transfer
    for (int n : {1, 2, 3, 4}) EXPECT_TRUE(Button(*d, n)->Enabled());
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
        TFormWindow* d = dialog.get();
        auto requests = std::make_shared<std::size_t>(0);
        auto all_enabled = std::make_shared<bool>(true);
        scripted::Script().responder = [=, a = act.act](const std::uint8_t request[8]) {
          for (int n : {1, 2, 3, 4}) *all_enabled = *all_enabled && Button(*d, n)->Enabled();
          if ((*requests)++ == at) {
            qm90ui::Post([d, a] {
              if (a == Act::kZapsat) Button(*d, 1)->Click();
              if (a == Act::kPrecist) Button(*d, 2)->Click();
              if (a == Act::kOk) Button(*d, 3)->Click();
              if (a == Act::kCancel) Button(*d, 4)->Click();
              if (a == Act::kEscape) d->Form().PressKey(qm90ui::TKey::kEscape);
              if (a == Act::kCloseBox) d->Form().Close();
            });
          }
          return scripted::ModuleAnswer(scripted::Script().module, scripted::Decode(request));
        };
        Button(*d, 1)->Click();
        EXPECT_EQ(Sent(), kind.write);
        EXPECT_TRUE(*all_enabled);
        EXPECT_EQ(d->Form().Visible(), !act.closes);
        EXPECT_EQ(std::memcmp(&data.Config, &before, sizeof before), 0);
        scripted::Script().responder = scripted::ModuleResponder();
      }
    }
  }
}

}  // namespace
}  // namespace settingstest
