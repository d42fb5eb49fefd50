#include "dialogs/SettingsForm.h"

using namespace qm90cfg;

TSettingsForm::TSettingsForm(const qm90ui::TFormSpec& spec) : TFormWindow(spec) {}

void TSettingsForm::AttachButtons() {
  guard_.Attach(form_.get());
  Button1->OnClick = [this] { Button1Click(); };
  Button2->OnClick = [this] { Button2Click(); };
  Button3->OnClick = [this] { Button3Click(); };
  Button4->OnClick = [this] { Button4Click(); };
  form_->OnShow = [this] { FormShow(); };
  // Escape, the close box and "Cancel" wait for a running transfer.
  form_->OnCloseQuery = [this] { return !guard_.HoldClose(); };
}

void TSettingsForm::FormShow() {
  work_ = Data ? Data->Config : DefaultModuleConfig();
  ZapisOkno(work_);
  SetStatus(kNoMessage);
}

void TSettingsForm::SetStatus(const std::string& text) {
  StatusBar1->SetPanelText(0, text);
}

std::string TSettingsForm::Status() const {
  return StatusBar1->PanelText(0);
}

TTransferPlan TSettingsForm::StatusPlan(TPause pause, TMismatch mismatch) {
  const std::uint8_t kind = Data ? Data->InterfaceKind : 0;
  return TTransferPlan{pause, mismatch,
                       [this](TTransferDirection direction, int percent) {
                         SetStatus(direction == TTransferDirection::kRead ? ReadProgress(percent)
                                                                          : WriteProgress(percent));
                       },
                       [this, kind](TTransferDirection direction, const TTransferResult& result) {
                         SetStatus(TransferResultText(kind, direction, result));
                       },
                       PauseForEvents};
}

void TSettingsForm::Button1Click() {
  guard_.Run([this] {
    if (!LinkIsOpen(Data)) {
      SetStatus(kLinkNotOpen);
      return;
    }
    PrectiOkno(work_);
    if (Status().size() <= 1) ZapisData(work_);
  });
}

void TSettingsForm::Button2Click() {
  guard_.Run([this] {
    if (!LinkIsOpen(Data)) {
      SetStatus(kLinkNotOpen);
      return;
    }
    PrectiData(work_);
    ZapisOkno(work_);
  });
}

void TSettingsForm::Button3Click() {
  if (guard_.Running()) return;
  PrectiOkno(work_);
  const bool stored = Status().size() == 1 && Data;
  if (stored) Data->Config = work_;
  form_->EndModal(stored ? qm90ui::TModalResult::kOk : qm90ui::TModalResult::kCancel);
}

void TSettingsForm::Button4Click() {
  form_->Close();
}
