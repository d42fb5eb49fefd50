#include "dialogs/NastavAdr.h"

#include <array>
#include <string>

#include "base/Baud.h"

using namespace qm90cfg;
using namespace qm90cmd;

TForm12::TForm12(qm90ui::TForm* owner)
    : TSettingsForm(
          Dialog("TForm12", "Nastavení komunikační adresy a rychlosti", 393, 200, owner)) {
  BuildControls();
}

void TForm12::BuildControls() {
  qm90ui::TForm& f = *form_;
  Label1 = f.AddLabel(nullptr, "Label1", {48, 40, 109, 13}, "Adresa modulu  (0-255)");
  Edit1 = f.AddEdit(nullptr, "Edit1", {200, 32, 121, 21});
  Label2 = f.AddLabel(nullptr, "Label2", {48, 64, 101, 13}, "Komunikační rychlost");
  ComboBox1 = f.AddComboList(nullptr, "ComboBox1", {200, 56, 121, 21});
  for (int index = 0; index <= base::kHighestBaudIndex; ++index)
    ComboBox1->AddItem(std::to_string(BaudFromIndex(static_cast<std::uint8_t>(index))) + " Bd");
  Button1 = f.AddButton(nullptr, "Button1", {32, 128, 75, 25}, "Zapsat");
  Button2 = f.AddButton(nullptr, "Button2", {112, 128, 75, 25}, "Přečíst");
  Button3 = f.AddButton(nullptr, "Button3", {200, 128, 75, 25}, "Ok");
  Button4 = f.AddButton(nullptr, "Button4", {280, 128, 75, 25}, "Cancel");
  Label1->WidenToText();
  Label2->WidenToText();
  Label1->NameField(Edit1);
  Label2->NameField(ComboBox1);
  StatusBar1 = f.AddStatusBar("StatusBar1", {250});
  f.SetTabOrder({Edit1, ComboBox1, Button1, Button2, Button3, Button4});
  AttachButtons();
}

TTransferPlan TForm12::Plan() {
  return StatusPlan(TPause::kBeforeEachRequestAfterFirst, TMismatch::kText);
}

void TForm12::PrectiData(TModuleConfig& config) {
  if (!LinkIsOpen(Data)) return;
  const std::array<TRegisterStep, 2> steps{{{kRegAddress, 50}, {kRegBaudIndex, 100}}};
  // The baud index is taken as it comes; above 8 the list shows no selection.
  ReadRegisters(LinkOf(*Data), steps, Plan(), [&config](std::uint8_t reg, std::uint8_t value) {
    StoreRegisterInConfig(config, reg, value);
  });
}

void TForm12::ZapisData(TModuleConfig config) {
  if (!LinkIsOpen(Data)) return;
  const std::array<TRegisterStep, 2> steps{
      {{kRegAddress, 50, RegisterOfConfig(config, kRegAddress)},
       {kRegBaudIndex, 100, RegisterOfConfig(config, kRegBaudIndex)}}};
  WriteRegisters(LinkOf(*Data), steps, Plan());
}

void TForm12::PrectiOkno(TModuleConfig& config) {
  std::uint8_t address = 0;
  if (!ParseByteInRange(Edit1->Text(), 0, 255, address)) {
    SetStatus(" Adresa modulu musí být v rozsahu 0-255.");
    return;
  }
  config.Address = address;
  const int index = ComboBox1->ItemIndex();
  if (!base::IsBaudIndex(index)) {
    SetStatus(" Komunikační rychlost musí být v rozsahu 600Bd-115200Bd.");
    return;
  }
  config.BaudIndex = static_cast<std::uint8_t>(index);
  SetStatus(kNoMessage);
}

void TForm12::ZapisOkno(TModuleConfig config) {
  Edit1->SetText(std::to_string(config.Address));
  ComboBox1->SetItemIndex(base::IsBaudIndex(config.BaudIndex) ? config.BaudIndex : -1);
}
