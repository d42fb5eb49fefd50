#include "dialogs/LiveValues.h"

#include <QPushButton>
#include <QShowEvent>

#include "link/QBLxxx.h"
#include "widgets/Widgets.h"

namespace qm90live {

bool LinkReady(const TData* data, qm90ui::TStatusBar* status_bar) {
  if (!data) return false;
  if (LinkIsOpen(data)) return true;
  status_bar->SetPanelText(0, kNotInitialisedText);
  return false;
}

QString StatusText(std::uint8_t kind, std::uint8_t status) {
  return QStringLiteral(" ") + QString::fromStdString(ErrorText(kind, status));
}

QString BitText(std::uint8_t value, int bit) {
  return (value >> bit) & 1U ? QStringLiteral("1") : QStringLiteral("0");
}

}  // namespace qm90live

TLiveForm::TLiveForm(QWidget* owner) : QDialog(owner) {}

void TLiveForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  // Only a click sends: Return in a field or on a check box presses no button.
  for (QPushButton* button : findChildren<QPushButton*>()) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }
  FormShow();
}

void TLiveForm::FormShow() {
  if (Data) AddressCopy = Data->ModuleAddress;
}

void TLiveForm::done(int result) {
  if (gate_.HoldClose(result)) return;
  QDialog::done(result);
}

TModuleLink TLiveForm::Link() const {
  return TModuleLink{Data->InterfaceKind, Data->LinkHandle, AddressCopy};
}

bool TLiveForm::LinkReady() {
  return qm90live::LinkReady(Data, StatusBar1);
}

void TLiveForm::SetStatus(const QString& text) {
  StatusBar1->SetPanelText(0, text);
}
