// NastavDIO: window TForm14, the module's input negation, output negation and
// output initial state (registers 33, 34, 32), one check box per channel.
#pragma once

#include <array>
#include <cstdint>

#include "dialogs/ConfigTransfer.h"
#include "dialogs/SettingsForm.h"
#include "link/Dekl.h"

class TForm14 : public TSettingsForm {
 public:
  explicit TForm14(qm90ui::TForm* owner);

  void PrectiData(TModuleConfig& config) override;
  void ZapisData(TModuleConfig config) override;
  void PrectiOkno(TModuleConfig& config) override;
  void ZapisOkno(TModuleConfig config) override;

 private:
  using TBoxRow = std::array<qm90ui::TCheckBox*, 8>;  // box k = channel k = bit k

  qm90ui::TGroupBox* GroupBox1 = nullptr;  // input negation (CheckBox1..8)
  qm90ui::TGroupBox* GroupBox2 = nullptr;  // output negation (CheckBox33..40)
  qm90ui::TGroupBox* GroupBox3 = nullptr;  // output initial state (CheckBox65..72)
  TBoxRow din_negation_{};
  TBoxRow dout_negation_{};
  TBoxRow dout_init_{};

  void BuildControls();
  qm90ui::TGroupBox* BuildGroup(const char* name, int left, const char* caption,
                                const char* channel_prefix, int first_box_number, int box_width,
                                TBoxRow& boxes);
  TTransferPlan Plan();
};
