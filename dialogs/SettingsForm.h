// SettingsForm: what the three module settings windows have in common. Each
// keeps a working copy of the module's configuration; "Zapsat" writes the
// window's values to the module, "Přečíst" reads them from the module into the
// window, "Ok" stores the window's values in the run's record, "Cancel" leaves
// the record as it is. The registers, the field checks and the controls belong
// to each window.
#pragma once

#include <string>

#include "dialogs/ConfigTransfer.h"
#include "dialogs/FormWindow.h"
#include "link/Dekl.h"

class TSettingsForm : public TFormWindow {
 public:
  // The run's record; not owned. Set by the main window before showing.
  TData* Data = nullptr;

  // Module -> config, config -> module, window -> config (sets the status text,
  // a single blank when the fields are valid), config -> window.
  virtual void PrectiData(TModuleConfig& config) = 0;
  virtual void ZapisData(TModuleConfig config) = 0;
  virtual void PrectiOkno(TModuleConfig& config) = 0;
  virtual void ZapisOkno(TModuleConfig config) = 0;

  void FormShow();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();

 protected:
  TSettingsForm(const qm90ui::TFormSpec& spec);

  // Called once the window has made its four buttons and its status bar.
  void AttachButtons();
  void SetStatus(const std::string& text);
  std::string Status() const;
  // A transfer plan that shows its progress in the status bar and pauses with
  // PauseForEvents.
  TTransferPlan StatusPlan(TPause pause, TMismatch mismatch);

  qm90ui::TButton* Button1 = nullptr;  // "Zapsat"
  qm90ui::TButton* Button2 = nullptr;  // "Přečíst"
  qm90ui::TButton* Button3 = nullptr;  // "Ok"
  qm90ui::TButton* Button4 = nullptr;  // "Cancel"
  qm90ui::TStatusBar* StatusBar1 = nullptr;

 private:
  TModuleConfig work_{};
  qm90cfg::TTransferGuard guard_;
};
