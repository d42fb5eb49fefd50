#include "dialogs/NastavAdr.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>

#include "base/Baud.h"
#include "widgets/Widgets.h"

using namespace qm90cfg;
using namespace qm90cmd;

TForm12::TForm12(QWidget* owner) : TSettingsForm(owner) {
  setObjectName(QStringLiteral("TForm12"));
  setWindowTitle(QStringLiteral("Nastavení komunikační adresy a rychlosti"));
  qm90ui::SetupFixedDialog(this, 393, 200);
  BuildControls();
}

void TForm12::BuildControls() {
  using qm90ui::Place;
  Label1 = Place<QLabel>(this, "Label1", 48, 40, 109, 13, QStringLiteral("Adresa modulu  (0-255)"));
  Edit1 = Place<QLineEdit>(this, "Edit1", 200, 32, 121, 21);
  Label2 = Place<QLabel>(this, "Label2", 48, 64, 101, 13, QStringLiteral("Komunikační rychlost"));
  ComboBox1 = Place<QComboBox>(this, "ComboBox1", 200, 56, 121, 21);
  for (int index = 0; index <= base::kHighestBaudIndex; ++index)
    ComboBox1->addItem(
        QStringLiteral("%1 Bd").arg(BaudFromIndex(static_cast<std::uint8_t>(index))));
  Button1 = Place<QPushButton>(this, "Button1", 32, 128, 75, 25, QStringLiteral("Zapsat"));
  Button2 = Place<QPushButton>(this, "Button2", 112, 128, 75, 25, QStringLiteral("Přečíst"));
  Button3 = Place<QPushButton>(this, "Button3", 200, 128, 75, 25, QStringLiteral("Ok"));
  Button4 = Place<QPushButton>(this, "Button4", 280, 128, 75, 25, QStringLiteral("Cancel"));
  FitLabelWidth(Label1);
  FitLabelWidth(Label2);
  Label1->setBuddy(Edit1);
  Label2->setBuddy(ComboBox1);
  StatusBar1 = new qm90ui::TStatusBar(this, {250});
  SetTabChain({Edit1, ComboBox1, Button1, Button2, Button3, Button4});
  AttachButtons();
}

TTransferPlan TForm12::Plan() {
  return StatusPlan(TPause::kBeforeEachRequestAfterFirst, false, TMismatch::kText);
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
  if (!ParseByteInRange(Edit1->text().toStdString(), 0, 255, address)) {
    SetStatus(QStringLiteral(" Adresa modulu musí být v rozsahu 0-255."));
    return;
  }
  config.Address = address;
  const int index = ComboBox1->currentIndex();
  if (!base::IsBaudIndex(index)) {
    SetStatus(QStringLiteral(" Komunikační rychlost musí být v rozsahu 600Bd-115200Bd."));
    return;
  }
  config.BaudIndex = static_cast<std::uint8_t>(index);
  SetStatus(kNoMessage);
}

void TForm12::ZapisOkno(TModuleConfig config) {
  Edit1->setText(QString::number(config.Address));
  ComboBox1->setCurrentIndex(base::IsBaudIndex(config.BaudIndex) ? config.BaudIndex : -1);
}
