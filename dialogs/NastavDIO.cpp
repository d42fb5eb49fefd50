#include "dialogs/NastavDIO.h"

#include <string>
#include <vector>

using namespace qm90cfg;
using namespace qm90cmd;

namespace {

std::uint8_t ByteOfBoxes(const std::array<qm90ui::TCheckBox*, 8>& boxes) {
  std::uint8_t byte = 0;
  for (int k = 0; k < 8; ++k)
    if (boxes[k]->Checked()) byte |= static_cast<std::uint8_t>(1u << k);
  return byte;
}

void SetBoxes(const std::array<qm90ui::TCheckBox*, 8>& boxes, std::uint8_t byte) {
  for (int k = 0; k < 8; ++k) boxes[k]->SetChecked((byte >> k) & 1u);
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

TForm14::TForm14(qm90ui::TForm* owner)
    : TSettingsForm(Dialog("TForm14", "Nastavení digitálních vstupů/výstupů", 451, 273, owner)) {
  BuildControls();
}

qm90ui::TGroupBox* TForm14::BuildGroup(const char* name, int left, const char* caption,
                                       const char* channel_prefix, int first_box_number,
                                       int box_width, TBoxRow& boxes) {
  qm90ui::TGroupBox* group = form_->AddGroupBox(nullptr, name, {left, 16, 129, 153}, caption);
  for (int k = 0; k < 8; ++k) {
    const std::string box_name = "CheckBox" + std::to_string(first_box_number + k);
    boxes[k] = form_->AddCheckBox(group, box_name, {8, 16 + 16 * k, box_width, 17},
                                  channel_prefix + std::to_string(k));
  }
  return group;
}

void TForm14::BuildControls() {
  qm90ui::TForm& f = *form_;
  GroupBox1 = BuildGroup("GroupBox1", 16, " Negace DIN ", "DIN", 1, 57, din_negation_);
  GroupBox2 = BuildGroup("GroupBox2", 160, "Negace DOUT ", "DOUT", 33, 65, dout_negation_);
  GroupBox3 = BuildGroup("GroupBox3", 304, " Počáteční stav DOUT ", "DOUT", 65, 65, dout_init_);
  Button1 = f.AddButton(nullptr, "Button1", {32, 208, 75, 25}, "Zapsat");
  Button2 = f.AddButton(nullptr, "Button2", {112, 208, 75, 25}, "Přečíst");
  Button3 = f.AddButton(nullptr, "Button3", {264, 208, 75, 25}, "Ok");
  Button4 = f.AddButton(nullptr, "Button4", {344, 208, 75, 25}, "Cancel");
  StatusBar1 = f.AddStatusBar("StatusBar1", {50});
  std::vector<qm90ui::TControl*> order;
  for (const TBoxRow* row : {&din_negation_, &dout_negation_, &dout_init_})
    order.insert(order.end(), row->begin(), row->end());
  order.insert(order.end(), {Button1, Button2, Button3, Button4});
  f.SetTabOrder(order);
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
