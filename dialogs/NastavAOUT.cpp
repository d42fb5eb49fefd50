#include "dialogs/NastavAOUT.h"

#include <array>
#include <string>

using namespace qm90cfg;
using namespace qm90cmd;

TForm4::TForm4(qm90ui::TForm* owner)
    : TSettingsForm(Dialog("TForm4", "Nastavení analogového výstupu", 369, 186, owner)) {
  BuildControls();
}

void TForm4::BuildControls() {
  qm90ui::TForm& f = *form_;
  Label1 = f.AddLabel(nullptr, "Label1", {112, 40, 148, 13}, "Inicializační hodnota  (0-65535)");
  Edit1 = f.AddEdit(nullptr, "Edit1", {112, 56, 153, 21});
  Button1 = f.AddButton(nullptr, "Button1", {24, 112, 75, 25}, "Zapsat");
  Button2 = f.AddButton(nullptr, "Button2", {104, 112, 75, 25}, "Přečíst");
  Button3 = f.AddButton(nullptr, "Button3", {192, 112, 75, 25}, "Ok");
  Button4 = f.AddButton(nullptr, "Button4", {272, 112, 75, 25}, "Cancel");
  Label1->WidenToText();
  Label1->NameField(Edit1);
  StatusBar1 = f.AddStatusBar("StatusBar1", {50});
  f.SetTabOrder({Edit1, Button1, Button2, Button3, Button4});
  AttachButtons();
}

// Back to back: no pauses, the read-back repeats the value in d3 and d4, and a
// mismatch counts as status 9.
TTransferPlan TForm4::Plan() {
  return StatusPlan(TPause::kNone, TMismatch::kStatus9);
}

void TForm4::PrectiData(TModuleConfig& config) {
  if (!LinkIsOpen(Data)) return;
  const std::array<TRegisterStep, 2> steps{{{kRegAoutLow, 50}, {kRegAoutHigh, 100}}};
  std::uint8_t low = 0;
  // The value changes only once both bytes have come.
  ReadRegisters(LinkOf(*Data), steps, Plan(), [&](std::uint8_t reg, std::uint8_t value) {
    if (reg == kRegAoutLow)
      low = value;
    else
      config.AoutInit = static_cast<std::uint16_t>(value * 256 + low);
  });
}

void TForm4::ZapisData(TModuleConfig config) {
  if (!LinkIsOpen(Data)) return;
  const std::array<TRegisterStep, 2> steps{
      {{kRegAoutLow, 50, RegisterOfConfig(config, kRegAoutLow)},
       {kRegAoutHigh, 100, RegisterOfConfig(config, kRegAoutHigh)}}};
  WriteRegisters(LinkOf(*Data), steps, Plan());
}

void TForm4::PrectiOkno(TModuleConfig& config) {
  std::uint16_t value = 0;
  if (!ParseWordInRange(Edit1->Text(), 0, 65535, value)) {
    SetStatus(" Inicializační hodnota musí být v rozsahu 0-65535.");
    return;
  }
  config.AoutInit = value;
  SetStatus(kNoMessage);
}

void TForm4::ZapisOkno(TModuleConfig config) {
  Edit1->SetText(std::to_string(config.AoutInit));
}
