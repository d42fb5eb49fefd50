#include "dialogs/LiveValues.h"

#include "link/QBLxxx.h"
#include "widgets/Widgets.h"

namespace qm90live {

bool LinkReady(const TData* data, qm90ui::TStatusBar* status_bar) {
  if (!data) return false;
  if (data->LinkOpen && data->LinkHandle != 0) return true;
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
