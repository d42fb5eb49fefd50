#include "dialogs/Pripojeni.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStringList>

#include "base/Baud.h"
#include "link/IntText.h"
#include "link/InterfaceKinds.h"
#include "link/OpenLink.h"
#include "widgets/Widgets.h"

namespace {

constexpr int kClientWidth = 592;
constexpr int kClientHeight = 373;
constexpr int kLabelWidth = 170;
constexpr int kLabelHeight = 14;
constexpr std::int32_t kDefaultComPort = 1;
constexpr std::uint16_t kDefaultIsaBase = 768;

const QString kConnecting = QStringLiteral("Probíhá inicializace připojení");
const QString kOpenFailed = QStringLiteral("Chyba inicializace připojení - ");
const QString kConnected = QStringLiteral("Připojení úspěšně inicializováno. Připojen modul   ");

QString Text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

bool IsPortNumber(std::int32_t value) {
  return value >= 0 && value <= 65535;
}

}  // namespace

TForm2::TForm2(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("TForm2"));
  setWindowTitle(QStringLiteral("Připojení modulu"));
  CreateControls();
  SetTabOrder();
  ConnectHandlers();
  qm90ui::SetupFixedDialog(this, kClientWidth, kClientHeight);
}

void TForm2::CreateControls() {
  using qm90ui::Place;
  Label5 = Place<QLabel>(this, "Label5", 32, 40, kLabelWidth, kLabelHeight,
                         QStringLiteral("Komunikační rozhraní"));
  ComboBox2 = Place<QComboBox>(this, "ComboBox2", 208, 32, 169, 21);
  for (const TInterfaceKind& row : kInterfaceKinds)
    ComboBox2->addItem(QString::fromUtf8(row.caption));
  Label3 = Place<QLabel>(this, "Label3", 32, 64, kLabelWidth, kLabelHeight);
  Edit2 = Place<QLineEdit>(this, "Edit2", 208, 56, 169, 21);
  Label6 = Place<QLabel>(this, "Label6", 32, 88, kLabelWidth, kLabelHeight);
  Edit3 = Place<QLineEdit>(this, "Edit3", 208, 80, 169, 21);
  Label7 = Place<QLabel>(this, "Label7", 32, 112, kLabelWidth, kLabelHeight);
  Edit4 = Place<QLineEdit>(this, "Edit4", 208, 104, 169, 21);
  Label1 = Place<QLabel>(this, "Label1", 32, 160, kLabelWidth, kLabelHeight,
                         QStringLiteral("Adresa připojeného modulu"));
  Edit1 = Place<QLineEdit>(this, "Edit1", 208, 152, 169, 21);
  Label2 = Place<QLabel>(this, "Label2", 32, 184, kLabelWidth, kLabelHeight,
                         QStringLiteral("Komunikační rychlost"));
  ComboBox1 = Place<QComboBox>(this, "ComboBox1", 208, 176, 169, 21);
  for (std::uint8_t index = 0; index <= base::kHighestBaudIndex; ++index)
    ComboBox1->addItem(QStringLiteral("%1 Bd").arg(BaudFromIndex(index)));
  Label4 = Place<QLabel>(this, "Label4", 32, 232, kLabelWidth, kLabelHeight,
                         QStringLiteral("Status připojení"));
  Panel1 = Place<qm90ui::TSunkenPanel>(this, "Panel1", 32, 248, 521, 22);
  Button1 = Place<QPushButton>(this, "Button1", 32, 304, 129, 25,
                               QStringLiteral("Inicializace připojení"));
  Button2 = Place<QPushButton>(this, "Button2", 480, 304, 75, 25, QStringLiteral("Cancel"));
  // Enter in a field must not start a connection nor close the window.
  Button1->setAutoDefault(false);
  Button2->setAutoDefault(false);
  for (QLabel* label : {Label5, Label3, Label6, Label7, Label1, Label2, Label4})
    label->setTextFormat(Qt::PlainText);
  // Each field is known by its caption (screen readers, tools that drive the window).
  Label5->setBuddy(ComboBox2);
  Label3->setBuddy(Edit2);
  Label6->setBuddy(Edit3);
  Label7->setBuddy(Edit4);
  Label1->setBuddy(Edit1);
  Label2->setBuddy(ComboBox1);
}

void TForm2::SetTabOrder() {
  QWidget* order[] = {Edit1, Edit2, ComboBox1, Panel1, Button1, Button2, ComboBox2, Edit3, Edit4};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void TForm2::ConnectHandlers() {
  connect(ComboBox2, &QComboBox::activated, this, &TForm2::ComboBox2Change);
  connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
}

void TForm2::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  FormShow();
  // The tab order starts with the module address: digits typed at once land there.
  Edit1->setFocus(Qt::TabFocusReason);
}

QString TForm2::IsaText(std::uint16_t base) {
  return QStringLiteral("%1").arg(base, 3, 16, QLatin1Char('0')).toUpper() + QLatin1Char('h');
}

void TForm2::SetStatus(const QString& text) {
  qm90ui::SetTextNow(Panel1, text);
}

void TForm2::FormShow() {
  if (!Data) return;
  Edit1->setText(QString::number(Data->ModuleAddress));
  ComboBox1->setCurrentIndex(IndexFromBaud(Data->BaudRate));
  // Only the low three bits name a kind; the reduced value goes back into the
  // record so that the record and the list agree.
  Data->InterfaceKind &= 0x07;
  ComboBox2->setCurrentIndex(IsInterfaceKind(Data->InterfaceKind) ? Data->InterfaceKind : -1);
  ShowKindRow(Data->InterfaceKind);
  SetStatus(Text(Data->ConnectionStatus));
}

void TForm2::ComboBox2Change() {
  ShowKindRow(ComboBox2->currentIndex());
}

// Hides the three parameter rows, then shows and fills those of the kind.
void TForm2::ShowKindRow(int kind) {
  for (QWidget* w : std::initializer_list<QWidget*>{Label3, Label6, Label7, Edit2, Edit3, Edit4})
    w->hide();
  if (!Data) return;
  auto show_row = [](QLabel* label, QLineEdit* edit, const QString& caption, const QString& value) {
    label->setText(caption);
    edit->setText(value);
    label->show();
    edit->show();
  };
  switch (kind) {
    case kKindSerial:
      show_row(Label3, Edit2, QStringLiteral("Číslo portu COMx"), QString::number(Data->ComPort));
      break;
    case kKindIsa:
      show_row(Label3, Edit2, QStringLiteral("Bázová adresa QB-311"),
               IsaText(Data->IsaBaseAddress));
      break;
    case kKindLan:
      show_row(Label3, Edit2, QStringLiteral("IP adresa"), Text(Data->IpAddress));
      show_row(Label6, Edit3, QStringLiteral("UDP port"),
               QString::number(static_cast<std::uint32_t>(Data->UdpPort)));
      show_row(Label7, Edit4, QStringLiteral("UDP timeout"),
               QString::number(static_cast<std::uint32_t>(Data->UdpTimeout)));
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
  request.baud_index = static_cast<std::uint8_t>(ComboBox1->currentIndex());
  request.kind = static_cast<std::uint8_t>(ComboBox2->currentIndex());
  Data->InterfaceKind = request.kind;
  Data->InitBlock.fill(0);
  if (!ReadKindFields(request.kind, request.com_port)) return;
  const TOpenResult result = OpenLink(*Data, request);
  switch (result.failed) {
    case TOpenStep::kNone:
      SetStatus(kConnected + Text(result.name));
      break;
    case TOpenStep::kOpen:
    case TOpenStep::kSetConfig:
      SetStatus(kOpenFailed + Text(result.text));
      break;
    case TOpenStep::kIdentify:
      SetStatus(Text(result.text));
      break;
  }
}

std::uint8_t TForm2::ReadAddressField() {
  const auto address = static_cast<std::uint8_t>(StrToIntDef(Edit1->text().toStdString(), 0));
  Edit1->setText(QString::number(address));
  return address;
}

bool TForm2::ReadKindFields(std::uint8_t kind, std::uint16_t& com_port) {
  if (!IsInterfaceKind(kind)) {
    SetStatus(QStringLiteral("Neznámý typ rozhraní"));
    return false;
  }
  switch (kind) {
    case kKindSerial: {
      const std::int32_t n = StrToIntDef(Edit2->text().toStdString(), kDefaultComPort);
      com_port = static_cast<std::uint16_t>(n);
      Edit2->setText(QString::number(com_port));
      Data->ComPort = static_cast<std::uint8_t>(n);
      return true;
    }
    case kKindIsa: {
      const QString text = Edit2->text();
      std::int32_t base = kDefaultIsaBase;
      if (text.size() != 4 || !TryStrToInt("$" + text.left(3).toStdString(), base))
        base = kDefaultIsaBase;
      Data->IsaBaseAddress = static_cast<std::uint16_t>(base);
      Edit2->setText(IsaText(Data->IsaBaseAddress));
      return true;
    }
    case kKindLan:
      return ReadLanFields();
    default:  // a kind without parameters (the PCI card, the USB converter)
      return true;
  }
}

bool TForm2::ReadLanFields() {
  if (Edit2->text().isEmpty()) {
    SetStatus(QStringLiteral("Neplatná IP adresa"));
    return false;
  }
  Data->IpAddress = Edit2->text().toStdString();
  std::int32_t port = 0;
  if (!TryStrToInt(Edit3->text().toStdString(), port) || !IsPortNumber(port)) {
    SetStatus(QStringLiteral("Neplatný UDP port"));
    return false;
  }
  Data->UdpPort = port;
  std::int32_t timeout = 0;
  if (!TryStrToInt(Edit4->text().toStdString(), timeout) || !IsPortNumber(timeout)) {
    SetStatus(QStringLiteral("Neplatný UDP timeout"));
    return false;
  }
  Data->UdpTimeout = timeout;
  return true;
}

void TForm2::Button2Click() {
  reject();
}
