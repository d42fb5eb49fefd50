#include "dialogs/SettingsForm.h"

#include <QPushButton>
#include <QShowEvent>

#include "widgets/Widgets.h"

using namespace qm90cfg;

TSettingsForm::TSettingsForm(QWidget* owner) : QDialog(owner) {}

void TSettingsForm::AttachButtons() {
  // Enter in an edit field must not start a write.
  for (QPushButton* button : {Button1, Button2, Button3, Button4}) button->setAutoDefault(false);
  guard_.Attach(this);
  connect(Button1, &QPushButton::clicked, this, &TSettingsForm::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TSettingsForm::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TSettingsForm::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TSettingsForm::Button4Click);
}

void TSettingsForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TSettingsForm::FormShow() {
  work_ = Data ? Data->Config : DefaultModuleConfig();
  ZapisOkno(work_);
  SetStatus(kNoMessage);
}

void TSettingsForm::SetStatus(const QString& text) {
  StatusBar1->SetPanelText(0, text);
}

QString TSettingsForm::Status() const {
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
  done(stored ? Accepted : Rejected);
}

void TSettingsForm::Button4Click() {
  reject();
}

void TSettingsForm::reject() {
  if (guard_.HoldClose()) return;
  QDialog::reject();
}
