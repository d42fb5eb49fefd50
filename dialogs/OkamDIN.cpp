#include "dialogs/OkamDIN.h"

#include <string>

#include "link/Commands.h"

namespace {
constexpr int kPollIntervalMs = 100;
constexpr int kRowTop = 32;
constexpr int kRowStep = 16;
}  // namespace

TForm11::TForm11(qm90ui::TForm* owner)
    : TLiveForm(Dialog("TForm11", "Okamžité hodnoty digitálních vstupů", 291, 282, owner)) {
  BuildControls();
  ConnectEvents();
  Timer1->Start();
}

void TForm11::BuildControls() {
  qm90ui::TForm& f = *form_;
  for (int i = 0; i < 8; ++i) {
    qm90ui::TLabel* caption =
        f.AddLabel(nullptr, "Label" + std::to_string(i + 1), {104, kRowTop + kRowStep * i, 40, 13},
                   "DIN" + std::to_string(i));
    caption->AutoSize();
  }
  Panel1 = f.AddPanel(nullptr, "Panel1", {160, 24, 25, 145});
  for (int i = 0; i < 8; ++i)
    value_labels_[static_cast<std::size_t>(i)] =
        f.AddLabel(Panel1, "Label" + std::to_string(33 + i), {8, 8 + kRowStep * i, 10, 13}, "0");
  Button1 = f.AddButton(nullptr, "Button1", {112, 208, 75, 25}, "Cancel");
  StatusBar1 = f.AddStatusBar("StatusBar1", {f.ClientWidth()});
  Timer1 = f.AddTimer("Timer1", kPollIntervalMs);
}

void TForm11::ConnectEvents() {
  Timer1->OnTimer = [this] { Timer1Timer(); };
  Button1->OnClick = [this] { Button1Click(); };
}

void TForm11::Button1Click() {
  form_->Close();
}

void TForm11::Timer1Timer() {
  // Before the window is shown AddressCopy is not yet the module's address;
  // once it is closed nothing more is sent.
  if (!form_->Visible()) return;
  RunExchange([this] { Poll(); });
}

void TForm11::Poll() {
  if (!LinkReady()) return;
  std::uint8_t inputs = 0;
  const std::uint8_t status = ReadInputs(Link(), inputs);
  const std::string text = qm90live::StatusText(Data->InterfaceKind, status);
  if (status == 0) {
    for (int i = 0; i < 8; ++i)
      value_labels_[static_cast<std::size_t>(i)]->SetText(qm90live::BitText(inputs, i));
  }
  SetStatus(text);
}
