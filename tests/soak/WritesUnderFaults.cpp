// The three settings dialogs write changing values to the emulator while it
// drops, damages and delays answers. A write the dialog reports as done must
// be in the module's registers; any other outcome must say what went wrong.
#include <algorithm>
#include <memory>

#include "dialogs/NastavAOUT.h"
#include "dialogs/NastavAdr.h"
#include "dialogs/NastavDIO.h"
#include "tests/soak/Soak.h"
#include "tests/support/ShowWindow.h"

namespace soak {
namespace {

constexpr int kModule = 1;
constexpr int kWritesPerLatePhase = 12;

const std::string kWritten = " Konfigurace zapsána.";
const std::string kMismatch = " Chyba zápisu dat.";

struct RegisterValue {
  int reg;
  int value;
};

void SetBoxes(const TFormWindow& form, int first, std::uint8_t byte) {
  for (int k = 0; k < 8; ++k)
    if (auto* box = form.Form().FindAs<qm90ui::TCheckBox>("CheckBox" + std::to_string(first + k)))
      box->SetChecked((byte >> k) & 1u);
}

void SetEdit(const TFormWindow& form, const std::string& text) {
  if (auto* edit = form.Form().FindAs<qm90ui::TEdit>("Edit1")) edit->SetText(text);
}

class WriteSoak {
 public:
  WriteSoak(SimLink& link, std::mt19937& random, Figures& figures)
      : link_(link),
        random_(random),
        figures_(figures),
        known_texts_(DriverTexts(link.Data().InterfaceKind)) {
    known_texts_.push_back(kMismatch);
    adr_ = qm90test::ShowWindow<TForm12>(&link.Data());
    dio_ = qm90test::ShowWindow<TForm14>(&link.Data());
    aout_ = qm90test::ShowWindow<TForm4>(&link.Data());
  }

  void Run(Clock::time_point deadline) {
    long writes = 0;
    while (Before(deadline)) {
      const bool late = writes % (4 * kWritesPerLatePhase) >= 3 * kWritesPerLatePhase;
      link_.Sim().SetFaults(20, 10, late ? link_.LateDelayMs() : 0);
      switch (writes++ % 3) {
        case 0:
          WriteAddressAndBaud();
          break;
        case 1:
          WriteDigitalSettings();
          break;
        default:
          WriteAnalogInitial();
          break;
      }
    }
    link_.Sim().SetFaults(0, 0, 0);
  }

 private:
  int Random(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  // The address register keeps the module's address, so the link goes on working.
  void WriteAddressAndBaud() {
    const int baud = Random(0, 8);
    SetEdit(*adr_, std::to_string(kModule));
    if (auto* list = adr_->Form().FindAs<qm90ui::TComboList>("ComboBox1")) list->SetItemIndex(baud);
    adr_->Button1Click();
    Judge("TForm12", *adr_, {{63, kModule}, {62, baud}});
  }

  void WriteDigitalSettings() {
    const int din_negation = Random(0, 255), dout_negation = Random(0, 255),
              dout_init = Random(0, 255);
    SetBoxes(*dio_, 1, static_cast<std::uint8_t>(din_negation));
    SetBoxes(*dio_, 33, static_cast<std::uint8_t>(dout_negation));
    SetBoxes(*dio_, 65, static_cast<std::uint8_t>(dout_init));
    dio_->Button1Click();
    Judge("TForm14", *dio_, {{32, dout_init}, {33, din_negation}, {34, dout_negation}});
  }

  void WriteAnalogInitial() {
    const int value = Random(0, 65535);
    SetEdit(*aout_, std::to_string(value));
    aout_->Button1Click();
    Judge("TForm4", *aout_, {{35, value & 0xFF}, {36, value >> 8}});
  }

  void Judge(const char* dialog, const TFormWindow& form,
             std::initializer_list<RegisterValue> expected) {
    ++figures_.polls;
    const std::string text = StatusOf(form);
    const bool stored = InRegisters(expected);
    if (text == kWritten) {
      ++figures_.good;
      if (!stored)
        figures_.Fail(std::string(dialog) + " reported '" + text +
                      "' but the registers hold other values");
      return;
    }
    ++figures_.texts[text];
    if (std::find(known_texts_.begin(), known_texts_.end(), text) == known_texts_.end())
      figures_.Fail(std::string(dialog) + ": unexpected outcome '" + text + "'");
  }

  bool InRegisters(std::initializer_list<RegisterValue> expected) {
    for (const RegisterValue& r : expected)
      if (link_.Sim().Get(kModule, "reg " + std::to_string(r.reg)) != r.value) return false;
    return true;
  }

  SimLink& link_;
  std::mt19937& random_;
  Figures& figures_;
  std::vector<std::string> known_texts_;
  std::unique_ptr<TForm12> adr_;
  std::unique_ptr<TForm14> dio_;
  std::unique_ptr<TForm4> aout_;
};

}  // namespace

void WritesUnderFaults(SimLink& link, Clock::duration length, std::mt19937& random,
                       Figures& figures) {
  WriteSoak run(link, random, figures);
  run.Run(Clock::now() + length);
  figures.faults = link.CountFaults();
}

}  // namespace soak
