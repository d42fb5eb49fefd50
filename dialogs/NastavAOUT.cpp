#include "dialogs/NastavAOUT.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>

#include "widgets/Widgets.h"

using namespace qm90cfg;
using namespace qm90cmd;

TForm4::TForm4(QWidget* owner) : TSettingsForm(owner) {
  setObjectName(QStringLiteral("TForm4"));
  setWindowTitle(QStringLiteral("Nastavení analogového výstupu"));
  qm90ui::SetupFixedDialog(this, 369, 186);
  BuildControls();
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
  FitLabelWidth(Label1);
  Label1->setBuddy(Edit1);
  StatusBar1 = new qm90ui::TStatusBar(this, {50});
  SetTabChain({Edit1, Button1, Button2, Button3, Button4});
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
