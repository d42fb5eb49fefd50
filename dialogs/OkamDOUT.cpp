#include "dialogs/OkamDOUT.h"

#include <string>
#include <vector>

#include "link/Commands.h"

TForm9::TForm9(qm90ui::TForm* owner)
    : TLiveForm(Dialog("TForm9", "Zápis na digitální výstupy", 233, 271, owner)) {
  BuildControls();
  ConnectEvents();
}

void TForm9::BuildControls() {
  qm90ui::TForm& f = *form_;
  for (int i = 0; i < 8; ++i)
    check_boxes_[static_cast<std::size_t>(i)] =
        f.AddCheckBox(nullptr, "CheckBox" + std::to_string(i + 1), {88, 32 + 16 * i, 65, 17},
                      "DOUT" + std::to_string(i));
  Button1 = f.AddButton(nullptr, "Button1", {32, 200, 75, 25}, "Zapsat");
  Button2 = f.AddButton(nullptr, "Button2", {128, 200, 75, 25}, "Cancel");
  std::vector<qm90ui::TControl*> order(check_boxes_.begin(), check_boxes_.end());
  order.insert(order.end(), {Button1, Button2});
  f.SetTabOrder(order);
  StatusBar1 = f.AddStatusBar("StatusBar1", {f.ClientWidth()});
}

void TForm9::ConnectEvents() {
  Button1->OnClick = [this] { Button1Click(); };
  Button2->OnClick = [this] { Button2Click(); };
}

void TForm9::Button1Click() {
  RunExchange([this] { WriteOutputs(); });
}

void TForm9::Button2Click() {
  form_->Close();
}

std::uint8_t TForm9::OutputByte() const {
  std::uint8_t value = 0;
  for (int i = 0; i < 8; ++i) {
    if (check_boxes_[static_cast<std::size_t>(i)]->Checked())
      value = static_cast<std::uint8_t>(value | (1U << i));
  }
  return value;
}

void TForm9::WriteOutputs() {
  if (!LinkReady()) return;
  const std::uint8_t status = ::WriteOutputs(Link(), OutputByte());
  SetStatus(status == 0 ? " Data zapsána" : qm90live::StatusText(Data->InterfaceKind, status));
}
