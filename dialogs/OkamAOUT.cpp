#include "dialogs/OkamAOUT.h"

#include "link/Commands.h"
#include "link/IntText.h"

namespace {
constexpr std::int32_t kMaxValue = 65535;
}  // namespace

TForm3::TForm3(qm90ui::TForm* owner)
    : TLiveForm(Dialog("TForm3", "Analogový výstup", 279, 160, owner)) {
  BuildControls();
  ConnectEvents();
}

void TForm3::BuildControls() {
  qm90ui::TForm& f = *form_;
  Label1 = f.AddLabel(nullptr, "Label1", {24, 32, 120, 13}, "AOUT výstup (0-65535)");
  Label1->AutoSize();
  Edit1 = f.AddEdit(nullptr, "Edit1", {160, 24, 89, 21});
  Label1->NameField(Edit1);
  Button1 = f.AddButton(nullptr, "Button1", {24, 88, 73, 25}, "Zápis");
  Button2 = f.AddButton(nullptr, "Button2", {176, 88, 75, 25}, "Cancel");
  f.SetTabOrder({Button1, Button2, Edit1});
  StatusBar1 = f.AddStatusBar("StatusBar1", {f.ClientWidth()});
}

void TForm3::ConnectEvents() {
  Button1->OnClick = [this] { Button1Click(); };
  Button2->OnClick = [this] { Button2Click(); };
}

void TForm3::FormShow() {
  AddressCopy = 0;
  TLiveForm::FormShow();
  Edit1->SetText("0");
}

void TForm3::Button1Click() {
  RunExchange([this] { WriteValue(); });
}

void TForm3::Button2Click() {
  form_->Close();
}

void TForm3::WriteValue() {
  // The link is tested before the field: without a link even a bad value
  // gives the not-initialised message.
  if (!LinkReady()) return;
  std::int32_t value = -1;
  if (!TryStrToInt(Edit1->Text(), value) || value < 0 || value > kMaxValue) {
    SetStatus(" Chyba zadané hodnoty (0-65535).");
    return;
  }
  SetStatus(" Probíhá komunikace");
  const std::uint8_t status = WriteAnalogOutput(Link(), static_cast<std::uint16_t>(value));
  SetStatus(status == 0 ? " Hodnota zapsána" : qm90live::StatusText(Data->InterfaceKind, status));
}
