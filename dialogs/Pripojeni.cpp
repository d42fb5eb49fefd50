#include "dialogs/Pripojeni.h"

#include <cstdio>
#include <string>

#include "base/Baud.h"
#include "link/IntText.h"
#include "link/InterfaceKinds.h"
#include "link/OpenLink.h"

namespace {

constexpr int kClientWidth = 592;
constexpr int kClientHeight = 373;
constexpr int kLabelWidth = 170;
constexpr int kLabelHeight = 14;
constexpr std::int32_t kDefaultComPort = 1;
constexpr std::uint16_t kDefaultIsaBase = 768;

const std::string kConnecting = "Probíhá inicializace připojení";
const std::string kOpenFailed = "Chyba inicializace připojení - ";
const std::string kConnected = "Připojení úspěšně inicializováno. Připojen modul   ";

bool IsPortNumber(std::int32_t value) {
  return value >= 0 && value <= 65535;
}

}  // namespace

TForm2::TForm2(qm90ui::TForm* owner)
    : TFormWindow(Dialog("TForm2", "Připojení modulu", kClientWidth, kClientHeight, owner)) {
  CreateControls();
  SetTabOrder();
  ConnectHandlers();
}

void TForm2::CreateControls() {
  qm90ui::TForm& f = *form_;
  Label5 =
      f.AddLabel(nullptr, "Label5", {32, 40, kLabelWidth, kLabelHeight}, "Komunikační rozhraní");
  ComboBox2 = f.AddComboList(nullptr, "ComboBox2", {208, 32, 169, 21});
  for (const TInterfaceKind& row : kInterfaceKinds) ComboBox2->AddItem(row.caption);
  Label3 = f.AddLabel(nullptr, "Label3", {32, 64, kLabelWidth, kLabelHeight}, "");
  Edit2 = f.AddEdit(nullptr, "Edit2", {208, 56, 169, 21});
  Label6 = f.AddLabel(nullptr, "Label6", {32, 88, kLabelWidth, kLabelHeight}, "");
  Edit3 = f.AddEdit(nullptr, "Edit3", {208, 80, 169, 21});
  Label7 = f.AddLabel(nullptr, "Label7", {32, 112, kLabelWidth, kLabelHeight}, "");
  Edit4 = f.AddEdit(nullptr, "Edit4", {208, 104, 169, 21});
  Label1 = f.AddLabel(nullptr, "Label1", {32, 160, kLabelWidth, kLabelHeight},
                      "Adresa připojeného modulu");
  Edit1 = f.AddEdit(nullptr, "Edit1", {208, 152, 169, 21});
  Label2 =
      f.AddLabel(nullptr, "Label2", {32, 184, kLabelWidth, kLabelHeight}, "Komunikační rychlost");
  ComboBox1 = f.AddComboList(nullptr, "ComboBox1", {208, 176, 169, 21});
  for (std::uint8_t index = 0; index <= base::kHighestBaudIndex; ++index)
    ComboBox1->AddItem(std::to_string(BaudFromIndex(index)) + " Bd");
  Label4 = f.AddLabel(nullptr, "Label4", {32, 232, kLabelWidth, kLabelHeight}, "Status připojení");
  Panel1 = f.AddPanel(nullptr, "Panel1", {32, 248, 521, 22});
  Button1 = f.AddButton(nullptr, "Button1", {32, 304, 129, 25}, "Inicializace připojení");
  Button2 = f.AddButton(nullptr, "Button2", {480, 304, 75, 25}, "Cancel");
  // Each field is known by its caption (screen readers, tools that drive the window).
  Label5->NameField(ComboBox2);
  Label3->NameField(Edit2);
  Label6->NameField(Edit3);
  Label7->NameField(Edit4);
  Label1->NameField(Edit1);
  Label2->NameField(ComboBox1);
}

void TForm2::SetTabOrder() {
  form_->SetTabOrder({Edit1, Edit2, ComboBox1, Panel1, Button1, Button2, ComboBox2, Edit3, Edit4});
}

void TForm2::ConnectHandlers() {
  ComboBox2->OnChange = [this] { ComboBox2Change(); };
  Button1->OnClick = [this] { Button1Click(); };
  Button2->OnClick = [this] { Button2Click(); };
  form_->OnShow = [this] {
    FormShow();
    // The tab order starts with the module address: digits typed at once land there.
    Edit1->SetFocus();
  };
}

std::string TForm2::IsaText(std::uint16_t base) {
  char text[16];
  std::snprintf(text, sizeof text, "%03Xh", static_cast<unsigned>(base));
  return text;
}

void TForm2::SetStatus(const std::string& text) {
  Panel1->SetText(text);
}

void TForm2::FormShow() {
  if (!Data) return;
  Edit1->SetText(std::to_string(Data->ModuleAddress));
  ComboBox1->SetItemIndex(IndexFromBaud(Data->BaudRate));
  // Only the low three bits name a kind; the reduced value goes back into the
  // record so that the record and the list agree.
  Data->InterfaceKind &= 0x07;
  ComboBox2->SetItemIndex(IsInterfaceKind(Data->InterfaceKind) ? Data->InterfaceKind : -1);
  ShowKindRow(Data->InterfaceKind);
  SetStatus(Data->ConnectionStatus);
}

void TForm2::ComboBox2Change() {
  ShowKindRow(ComboBox2->ItemIndex());
}

// Hides the three parameter rows, then shows and fills those of the kind.
void TForm2::ShowKindRow(int kind) {
  for (qm90ui::TControl* c :
       {static_cast<qm90ui::TControl*>(Label3), static_cast<qm90ui::TControl*>(Label6),
        static_cast<qm90ui::TControl*>(Label7), static_cast<qm90ui::TControl*>(Edit2),
        static_cast<qm90ui::TControl*>(Edit3), static_cast<qm90ui::TControl*>(Edit4)})
    c->SetVisible(false);
  if (!Data) return;
  auto show_row = [](qm90ui::TLabel* label, qm90ui::TEdit* edit, const std::string& caption,
                     const std::string& value) {
    label->SetText(caption);
    edit->SetText(value);
    label->SetVisible(true);
    edit->SetVisible(true);
  };
  switch (kind) {
    case kKindSerial:
      show_row(Label3, Edit2, "Číslo portu COMx", std::to_string(Data->ComPort));
      break;
    case kKindIsa:
      show_row(Label3, Edit2, "Bázová adresa QB-311", IsaText(Data->IsaBaseAddress));
      break;
    case kKindLan:
      show_row(Label3, Edit2, "IP adresa", Data->IpAddress);
      show_row(Label6, Edit3, "UDP port",
               std::to_string(static_cast<std::uint32_t>(Data->UdpPort)));
      show_row(Label7, Edit4, "UDP timeout",
               std::to_string(static_cast<std::uint32_t>(Data->UdpTimeout)));
      break;
    default:
      break;
  }
}

// The window's own steps (texts, fields, their order) around OpenLink, which
// opens, configures and identifies.
void TForm2::Button1Click() {
  if (!Data) return;
  CloseLink(*Data);
  SetStatus(kConnecting);
  TLinkRequest request;
  request.address = ReadAddressField();
  request.baud_index = static_cast<std::uint8_t>(ComboBox1->ItemIndex());
  request.kind = static_cast<std::uint8_t>(ComboBox2->ItemIndex());
  Data->InterfaceKind = request.kind;
  Data->InitBlock.fill(0);
  if (!ReadKindFields(request.kind, request.com_port)) return;
  const TOpenResult result = OpenLink(*Data, request);
  switch (result.failed) {
    case TOpenStep::kNone:
      SetStatus(kConnected + result.name);
      break;
    case TOpenStep::kOpen:
    case TOpenStep::kSetConfig:
      SetStatus(kOpenFailed + result.text);
      break;
    case TOpenStep::kIdentify:
      SetStatus(result.text);
      break;
  }
}

std::uint8_t TForm2::ReadAddressField() {
  const auto address = static_cast<std::uint8_t>(StrToIntDef(Edit1->Text(), 0));
  Edit1->SetText(std::to_string(address));
  return address;
}

bool TForm2::ReadKindFields(std::uint8_t kind, std::uint16_t& com_port) {
  if (!IsInterfaceKind(kind)) {
    SetStatus("Neznámý typ rozhraní");
    return false;
  }
  switch (kind) {
    case kKindSerial: {
      const std::int32_t n = StrToIntDef(Edit2->Text(), kDefaultComPort);
      com_port = static_cast<std::uint16_t>(n);
      Edit2->SetText(std::to_string(com_port));
      Data->ComPort = static_cast<std::uint8_t>(n);
      return true;
    }
    case kKindIsa: {
      const std::string text = Edit2->Text();
      std::int32_t base = kDefaultIsaBase;
      if (text.size() != 4 || !TryStrToInt("$" + text.substr(0, 3), base)) base = kDefaultIsaBase;
      Data->IsaBaseAddress = static_cast<std::uint16_t>(base);
      Edit2->SetText(IsaText(Data->IsaBaseAddress));
      return true;
    }
    case kKindLan:
      return ReadLanFields();
    default:  // a kind without parameters (the PCI card, the USB converter)
      return true;
  }
}

bool TForm2::ReadLanFields() {
  if (Edit2->Text().empty()) {
    SetStatus("Neplatná IP adresa");
    return false;
  }
  Data->IpAddress = Edit2->Text();
  std::int32_t port = 0;
  if (!TryStrToInt(Edit3->Text(), port) || !IsPortNumber(port)) {
    SetStatus("Neplatný UDP port");
    return false;
  }
  Data->UdpPort = port;
  std::int32_t timeout = 0;
  if (!TryStrToInt(Edit4->Text(), timeout) || !IsPortNumber(timeout)) {
    SetStatus("Neplatný UDP timeout");
    return false;
  }
  Data->UdpTimeout = timeout;
  return true;
}

void TForm2::Button2Click() {
  form_->Close();
}
