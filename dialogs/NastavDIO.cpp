#include "dialogs/NastavDIO.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>

#include "widgets/Widgets.h"

using namespace qm90cfg;
using namespace qm90cmd;

namespace {

std::uint8_t ByteOfBoxes(const std::array<QCheckBox*, 8>& boxes) {
  std::uint8_t byte = 0;
  for (int k = 0; k < 8; ++k)
    if (boxes[k]->isChecked()) byte |= static_cast<std::uint8_t>(1u << k);
  return byte;
}

void SetBoxes(const std::array<QCheckBox*, 8>& boxes, std::uint8_t byte) {
  for (int k = 0; k < 8; ++k) boxes[k]->setChecked((byte >> k) & 1u);
}

// Only the first byte of a group field carries channels; the rest is kept 0.
void StoreGroup(std::uint8_t (&field)[4], std::uint8_t byte) {
  field[0] = byte;
  field[1] = field[2] = field[3] = 0;
}

// The progress counts twelve steps; the three registers end at steps 1, 5 and 9.
constexpr int ProgressAtStep(int step) {
  return step * 100 / 12;
}

}  // namespace

TForm14::TForm14(QWidget* owner) : TSettingsForm(owner) {
  setObjectName(QStringLiteral("TForm14"));
  setWindowTitle(QStringLiteral("Nastavení digitálních vstupů/výstupů"));
  qm90ui::SetupFixedDialog(this, 451, 273);
  BuildControls();
}

QGroupBox* TForm14::BuildGroup(const char* name, int left, const QString& caption,
                               const char* channel_prefix, int first_box_number, int box_width,
                               TBoxRow& boxes) {
  auto* group = qm90ui::Place<QGroupBox>(this, name, left, 16, 129, 153, caption);
  for (int k = 0; k < 8; ++k) {
    const QByteArray box_name = "CheckBox" + QByteArray::number(first_box_number + k);
    boxes[k] = qm90ui::Place<QCheckBox>(group, box_name.constData(), 8, 16 + 16 * k, box_width, 17,
                                        QStringLiteral("%1%2").arg(channel_prefix).arg(k));
  }
  return group;
}

void TForm14::BuildControls() {
  using qm90ui::Place;
  GroupBox1 =
      BuildGroup("GroupBox1", 16, QStringLiteral(" Negace DIN "), "DIN", 1, 57, din_negation_);
  GroupBox2 =
      BuildGroup("GroupBox2", 160, QStringLiteral("Negace DOUT "), "DOUT", 33, 65, dout_negation_);
  GroupBox3 = BuildGroup("GroupBox3", 304, QStringLiteral(" Počáteční stav DOUT "), "DOUT", 65, 65,
                         dout_init_);
  Button1 = Place<QPushButton>(this, "Button1", 32, 208, 75, 25, QStringLiteral("Zapsat"));
  Button2 = Place<QPushButton>(this, "Button2", 112, 208, 75, 25, QStringLiteral("Přečíst"));
  Button3 = Place<QPushButton>(this, "Button3", 264, 208, 75, 25, QStringLiteral("Ok"));
  Button4 = Place<QPushButton>(this, "Button4", 344, 208, 75, 25, QStringLiteral("Cancel"));
  StatusBar1 = new qm90ui::TStatusBar(this, {50});
  QWidget* previous = nullptr;
  for (const TBoxRow* row : {&din_negation_, &dout_negation_, &dout_init_})
    for (QCheckBox* box : *row) {
      if (previous) QWidget::setTabOrder(previous, box);
      previous = box;
    }
  SetTabChain({previous, Button1, Button2, Button3, Button4});
  AttachButtons();
}

TTransferPlan TForm14::Plan() {
  return StatusPlan(TPause::kAfterEachSuccess, TMismatch::kText);
}

void TForm14::PrectiData(TModuleConfig& config) {
  if (!LinkIsOpen(Data)) return;
  const std::array<TRegisterStep, 3> steps{{{kRegDoutInit, ProgressAtStep(1)},
                                            {kRegDinNegation, ProgressAtStep(5)},
                                            {kRegDoutNegation, ProgressAtStep(9)}}};
  ReadRegisters(LinkOf(*Data), steps, Plan(), [&config](std::uint8_t reg, std::uint8_t value) {
    StoreRegisterInConfig(config, reg, value);
  });
}

void TForm14::ZapisData(TModuleConfig config) {
  if (!LinkIsOpen(Data)) return;
  const std::array<TRegisterStep, 3> steps{
      {{kRegDoutInit, ProgressAtStep(1), RegisterOfConfig(config, kRegDoutInit)},
       {kRegDinNegation, ProgressAtStep(5), RegisterOfConfig(config, kRegDinNegation)},
       {kRegDoutNegation, ProgressAtStep(9), RegisterOfConfig(config, kRegDoutNegation)}}};
  WriteRegisters(LinkOf(*Data), steps, Plan());
}

void TForm14::PrectiOkno(TModuleConfig& config) {
  StoreGroup(config.DinNegation, ByteOfBoxes(din_negation_));
  StoreGroup(config.DoutNegation, ByteOfBoxes(dout_negation_));
  StoreGroup(config.DoutInit, ByteOfBoxes(dout_init_));
  SetStatus(kNoMessage);
}

void TForm14::ZapisOkno(TModuleConfig config) {
  SetBoxes(din_negation_, config.DinNegation[0]);
  SetBoxes(dout_negation_, config.DoutNegation[0]);
  SetBoxes(dout_init_, config.DoutInit[0]);
}
