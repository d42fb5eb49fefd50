#include "dialogs/NastavAOUT.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <array>

#include "widgets/Widgets.h"

using namespace qm90cfg;

TForm4::TForm4(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("TForm4"));
  setWindowTitle(QStringLiteral("Nastavení analogového výstupu"));
  qm90ui::SetupFixedDialog(this, 369, 186);
  BuildControls();
  ConnectControls();
}

void TForm4::BuildControls() {
  using qm90ui::Place;
  Label1 = Place<QLabel>(this, "Label1", 112, 40, 148, 13,
                         QStringLiteral("Inicializační hodnota  (0-65535)"));
  Edit1 = Place<QLineEdit>(this, "Edit1", 112, 56, 153, 21);
  Button1 = Place<QPushButton>(this, "Button1", 24, 112, 75, 25, QStringLiteral("Zapsat"));
  Button2 = Place<QPushButton>(this, "Button2", 104, 112, 75, 25, QStringLiteral("Přečíst"));
  Button3 = Place<QPushButton>(this, "Button3", 192, 112, 75, 25, QStringLiteral("Ok"));
  Button4 = Place<QPushButton>(this, "Button4", 272, 112, 75, 25, QStringLiteral("Cancel"));
  // Enter in the value field must not start a write.
  for (QPushButton* button : {Button1, Button2, Button3, Button4}) button->setAutoDefault(false);
  FitLabelWidth(Label1);
  StatusBar1 = new qm90ui::TStatusBar(this, {50});
  SetTabChain({Edit1, Button1, Button2, Button3, Button4});
  guard_.Attach(this, {Button1, Button2, Button3, Button4});
}

void TForm4::ConnectControls() {
  connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm4::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TForm4::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TForm4::Button4Click);
}

void TForm4::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TForm4::FormShow() {
  work_ = Data ? Data->Config : DefaultModuleConfig();
  ZapisOkno(work_);
  SetStatus(kNoMessage);
}

void TForm4::SetStatus(const QString& text) {
  StatusBar1->SetPanelText(0, text);
}

QString TForm4::Status() const {
  return StatusBar1->PanelText(0);
}

// Back to back: no pauses, and the read-back repeats the value in d3 and d4.
TTransferPlan TForm4::Plan() {
  return TTransferPlan{TPause::kNone, true, [this](const QString& text) { SetStatus(text); }};
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
      {{kRegAoutLow, 50, static_cast<std::uint8_t>(config.AoutInit % 256)},
       {kRegAoutHigh, 100, static_cast<std::uint8_t>(config.AoutInit / 256)}}};
  WriteRegisters(LinkOf(*Data), steps, Plan());
}

void TForm4::PrectiOkno(TModuleConfig& config) {
  std::uint16_t value = 0;
  if (!ParseWordInRange(Edit1->text().toStdString(), 0, 65535, value)) {
    SetStatus(QStringLiteral(" Inicializační hodnota musí být v rozsahu 0-65535."));
    return;
  }
  config.AoutInit = value;
  SetStatus(kNoMessage);
}

void TForm4::ZapisOkno(TModuleConfig config) {
  Edit1->setText(QString::number(config.AoutInit));
}

void TForm4::Button1Click() {
  guard_.Run([this] {
    if (!LinkIsOpen(Data)) {
      SetStatus(kLinkNotOpen);
      return;
    }
    PrectiOkno(work_);
    if (Status().size() <= 1) ZapisData(work_);
  });
}

void TForm4::Button2Click() {
  guard_.Run([this] {
    if (!LinkIsOpen(Data)) {
      SetStatus(kLinkNotOpen);
      return;
    }
    PrectiData(work_);
    ZapisOkno(work_);
  });
}

void TForm4::Button3Click() {
  if (guard_.Running()) return;
  PrectiOkno(work_);
  const bool stored = Status().size() == 1 && Data;
  if (stored) Data->Config = work_;
  done(stored ? Accepted : Rejected);
}

void TForm4::Button4Click() {
  reject();
}

void TForm4::reject() {
  if (guard_.HoldClose()) return;
  QDialog::reject();
}
