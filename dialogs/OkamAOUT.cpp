#include "dialogs/OkamAOUT.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "link/Commands.h"
#include "link/IntText.h"
#include "widgets/Widgets.h"

namespace {
constexpr std::int32_t kMaxValue = 65535;
}  // namespace

TForm3::TForm3(QWidget* owner) : TLiveForm(owner) {
  setObjectName(QStringLiteral("TForm3"));
  setWindowTitle(QStringLiteral("Analogový výstup"));
  qm90ui::SetupFixedDialog(this, 279, 160);
  BuildControls();
  ConnectEvents();
}

void TForm3::BuildControls() {
  using qm90ui::Place;
  Label1 = Place<QLabel>(this, "Label1", 24, 32, 120, 13, QStringLiteral("AOUT výstup (0-65535)"));
  Label1->adjustSize();
  Edit1 = Place<QLineEdit>(this, "Edit1", 160, 24, 89, 21);
  Label1->setBuddy(Edit1);
  Button1 = Place<QPushButton>(this, "Button1", 24, 88, 73, 25, QStringLiteral("Zápis"));
  Button2 = Place<QPushButton>(this, "Button2", 176, 88, 75, 25, QStringLiteral("Cancel"));
  setTabOrder(Button1, Button2);
  setTabOrder(Button2, Edit1);
  StatusBar1 = new qm90ui::TStatusBar(this, {width()});
}

void TForm3::ConnectEvents() {
  connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm3::Button2Click);
}

void TForm3::FormShow() {
  AddressCopy = 0;
  TLiveForm::FormShow();
  Edit1->setText(QStringLiteral("0"));
}

void TForm3::Button1Click() {
  RunExchange([this] { WriteValue(); });
}

void TForm3::Button2Click() {
  reject();
}

void TForm3::WriteValue() {
  // The link is tested before the field: without a link even a bad value
  // gives the not-initialised message.
  if (!LinkReady()) return;
  std::int32_t value = -1;
  if (!TryStrToInt(Edit1->text().toStdString(), value) || value < 0 || value > kMaxValue) {
    SetStatus(QStringLiteral(" Chyba zadané hodnoty (0-65535)."));
    return;
  }
  SetStatus(QStringLiteral(" Probíhá komunikace"));
  const std::uint8_t status = WriteAnalogOutput(Link(), static_cast<std::uint16_t>(value));
  SetStatus(status == 0 ? QStringLiteral(" Hodnota zapsána")
                        : qm90live::StatusText(Data->InterfaceKind, status));
}
