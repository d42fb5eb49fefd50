#include "dialogs/StatReg.h"

#include <string>

#include "link/Commands.h"

namespace {
constexpr int kPollIntervalMs = 500;
constexpr int kRowTop = 32;
constexpr int kRowStep = 16;
constexpr std::array<int, 4> kCaptionLeft = {24, 136, 224, 320};
constexpr std::array<int, 4> kPanelLeft = {72, 160, 248, 344};

// Row captions of the first column; the other columns show "---" throughout.
const char* RowCaption(int column, int bit) {
  static const std::array<const char*, 8> kFirstColumn = {"---", "FN",  "PRF",   "---",
                                                          "PWR", "RST", "ERR24", "---"};
  return column == 0 ? kFirstColumn[static_cast<std::size_t>(bit)] : "---";
}
}  // namespace

TForm15::TForm15(qm90ui::TForm* owner)
    : TLiveForm(Dialog("TForm15", "Status registr", 400, 276, owner)) {
  BuildControls();
  ConnectEvents();
  Timer1->Start();
}

void TForm15::BuildControls() {
  qm90ui::TForm& f = *form_;
  for (int column = 0; column < 4; ++column) {
    const auto c = static_cast<std::size_t>(column);
    for (int bit = 0; bit < 8; ++bit) {
      qm90ui::TLabel* caption =
          f.AddLabel(nullptr, "Label" + std::to_string(1 + 8 * column + bit),
                     {kCaptionLeft[c], kRowTop + kRowStep * bit, 40, 13}, RowCaption(column, bit));
      caption->AutoSize();
    }
    panels_[c] =
        f.AddPanel(nullptr, "Panel" + std::to_string(column + 1), {kPanelLeft[c], 24, 25, 145});
    for (int bit = 0; bit < 8; ++bit) {
      const int index = 8 * column + bit;
      value_labels_[static_cast<std::size_t>(index)] = f.AddLabel(
          panels_[c], "Label" + std::to_string(33 + index), {8, 8 + kRowStep * bit, 10, 13}, "0");
    }
  }
  Button2 = f.AddButton(nullptr, "Button2", {24, 208, 75, 25}, "Vynulovat");
  Button1 = f.AddButton(nullptr, "Button1", {296, 208, 75, 25}, "Cancel");
  // "Cancel" comes first: a key pressed right after opening must not clear the register.
  f.SetTabOrder({Button1, Button2});
  Button1->SetFocus();
  StatusBar1 = f.AddStatusBar("StatusBar1", {f.ClientWidth()});
  Timer1 = f.AddTimer("Timer1", kPollIntervalMs);
}

void TForm15::ConnectEvents() {
  Timer1->OnTimer = [this] { Timer1Timer(); };
  Button1->OnClick = [this] { Button1Click(); };
  Button2->OnClick = [this] { Button2Click(); };
}

void TForm15::Button1Click() {
  form_->Close();
}

void TForm15::Button2Click() {
  RunExchange([this] { ClearRegister(); });
}

void TForm15::Timer1Timer() {
  // Before the window is shown AddressCopy is not yet the module's address;
  // once it is closed nothing more is sent.
  if (!form_->Visible()) return;
  RunExchange([this] { Poll(); });
}

void TForm15::Poll() {
  if (!LinkReady()) return;
  std::array<std::uint8_t, 4> bytes{};  // d1..d4
  const std::uint8_t status = ReadStatusRegister(Link(), bytes);
  const std::string text = qm90live::StatusText(Data->InterfaceKind, status);
  if (status == 0) {
    for (std::size_t index = 0; index < value_labels_.size(); ++index)
      value_labels_[index]->SetText(
          qm90live::BitText(bytes[index / 8], static_cast<int>(index % 8)));
  }
  SetStatus(text);
}

void TForm15::ClearRegister() {
  if (!LinkReady()) return;
  const std::uint8_t status = ClearStatusRegister(Link());
  // A successful clear leaves the status line to the next poll.
  if (status != 0) SetStatus(qm90live::StatusText(Data->InterfaceKind, status));
}
