#include "dialogs/LiveValues.h"

#include "link/QBLxxx.h"

namespace qm90live {

bool LinkReady(const TData* data, qm90ui::TStatusBar* status_bar) {
  if (!data) return false;
  if (LinkIsOpen(data)) return true;
  status_bar->SetPanelText(0, kNotInitialisedText);
  return false;
}

std::string StatusText(std::uint8_t kind, std::uint8_t status) {
  return " " + ErrorText(kind, status);
}

std::string BitText(std::uint8_t value, int bit) {
  return (value >> bit) & 1U ? "1" : "0";
}

}  // namespace qm90live

TLiveForm::TLiveForm(const qm90ui::TFormSpec& spec) : TFormWindow(spec) {
  form_->OnShow = [this] { FormShow(); };
  form_->OnCloseQuery = [this] { return !gate_.HoldClose(); };
}

void TLiveForm::FormShow() {
  if (Data) AddressCopy = Data->ModuleAddress;
}

TModuleLink TLiveForm::Link() const {
  return TModuleLink{Data->InterfaceKind, Data->LinkHandle, AddressCopy};
}

bool TLiveForm::LinkReady() {
  return qm90live::LinkReady(Data, StatusBar1);
}

void TLiveForm::SetStatus(const std::string& text) {
  StatusBar1->SetPanelText(0, text);
}
