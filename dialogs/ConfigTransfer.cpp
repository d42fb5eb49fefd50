#include "dialogs/ConfigTransfer.h"

#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <chrono>
#include <thread>

#include "link/IntText.h"
#include "link/QBLxxx.h"

namespace qm90cfg {

QString ReadProgress(int percent) {
  return QStringLiteral(" Probíhá čtení konfigurace z modulu (%1 %)").arg(percent);
}

QString WriteProgress(int percent) {
  return QStringLiteral(" Probíhá zápis konfigurace do modulu (%1 %)").arg(percent);
}

QString TransferResultText(std::uint8_t kind, TTransferDirection direction,
                           const TTransferResult& result) {
  switch (result.outcome) {
    case TTransferOutcome::kDone:
      return direction == TTransferDirection::kRead ? kReadDone : kWriteDone;
    case TTransferOutcome::kMismatch:
      return kNoMessage + QString::fromUtf8(kReadBackMismatchText);
    case TTransferOutcome::kExchangeFailed:
      break;
  }
  return kNoMessage + QString::fromStdString(ErrorText(kind, result.status));
}

namespace {

bool ParseInRange(std::string_view text, int minimum, int maximum, std::int32_t& number) {
  return TryStrToIntInRange(text, minimum, maximum, number);
}

}  // namespace

void PauseForEvents() {
  QCoreApplication::processEvents();
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool ParseByteInRange(std::string_view text, int minimum, int maximum, std::uint8_t& value) {
  std::int32_t number = 0;
  if (minimum < 0 || maximum > 0xFF || !ParseInRange(text, minimum, maximum, number)) return false;
  value = static_cast<std::uint8_t>(number);
  return true;
}

bool ParseWordInRange(std::string_view text, int minimum, int maximum, std::uint16_t& value) {
  std::int32_t number = 0;
  if (minimum < 0 || maximum > 0xFFFF || !ParseInRange(text, minimum, maximum, number))
    return false;
  value = static_cast<std::uint16_t>(number);
  return true;
}

void TTransferGuard::Attach(QDialog* dialog) {
  dialog_ = dialog;
}

bool TTransferGuard::Run(const std::function<void()>& transfer) {
  if (running_) return false;
  running_ = true;
  transfer();
  // Clicks and keys that reached the window during the last request are
  // handled while the transfer still counts as running: a transfer or "Ok" is
  // refused and a close is held, as during the earlier requests.
  QCoreApplication::processEvents();
  running_ = false;
  if (close_pending_ && dialog_) {
    close_pending_ = false;
    dialog_->reject();
  }
  return true;
}

bool TTransferGuard::HoldClose() {
  if (!running_) return false;
  close_pending_ = true;
  return true;
}

void FitLabelWidth(QLabel* label) {
  const int needed = label->sizeHint().width();
  if (needed > label->width()) label->resize(needed, label->height());
}

void SetTabChain(std::initializer_list<QWidget*> widgets) {
  QWidget* previous = nullptr;
  for (QWidget* widget : widgets) {
    if (previous) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
}

}  // namespace qm90cfg
