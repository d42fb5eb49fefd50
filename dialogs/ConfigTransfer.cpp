#include "dialogs/ConfigTransfer.h"

#include <chrono>
#include <thread>

#include "link/IntText.h"
#include "link/QBLxxx.h"
#include "ui/Application.h"
#include "ui/Form.h"

namespace qm90cfg {

std::string ReadProgress(int percent) {
  return " Probíhá čtení konfigurace z modulu (" + std::to_string(percent) + " %)";
}

std::string WriteProgress(int percent) {
  return " Probíhá zápis konfigurace do modulu (" + std::to_string(percent) + " %)";
}

std::string TransferResultText(std::uint8_t kind, TTransferDirection direction,
                               const TTransferResult& result) {
  switch (result.outcome) {
    case TTransferOutcome::kDone:
      return direction == TTransferDirection::kRead ? kReadDone : kWriteDone;
    case TTransferOutcome::kMismatch:
      return kNoMessage + kReadBackMismatchText;
    case TTransferOutcome::kExchangeFailed:
      break;
  }
  return kNoMessage + ErrorText(kind, result.status);
}

namespace {

bool ParseInRange(std::string_view text, int minimum, int maximum, std::int32_t& number) {
  return TryStrToIntInRange(text, minimum, maximum, number);
}

}  // namespace

void PauseForEvents() {
  qm90ui::ProcessMessages();
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

void TTransferGuard::Attach(qm90ui::TForm* dialog) {
  dialog_ = dialog;
}

bool TTransferGuard::Run(const std::function<void()>& transfer) {
  if (running_) return false;
  running_ = true;
  transfer();
  // Clicks and keys that reached the window during the last request are
  // handled while the transfer still counts as running: a transfer or "Ok" is
  // refused and a close is held, as during the earlier requests.
  qm90ui::ProcessMessages();
  running_ = false;
  if (close_pending_ && dialog_) {
    close_pending_ = false;
    dialog_->Close();
  }
  return true;
}

bool TTransferGuard::HoldClose() {
  if (!running_) return false;
  close_pending_ = true;
  return true;
}

}  // namespace qm90cfg
