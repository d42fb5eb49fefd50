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

namespace {

bool ParseInRange(std::string_view text, int minimum, int maximum, std::int32_t& number) {
  std::int32_t parsed = 0;
  if (!TryStrToInt(text, parsed)) return false;
  if (parsed < minimum || parsed > maximum) return false;
  number = parsed;
  return true;
}

void Pause() {
  QCoreApplication::processEvents();
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

struct TAnswer {
  std::uint8_t status = 0;
  std::uint8_t d3 = 0;
};

TAnswer Transact(const TModuleLink& link, std::uint8_t command, std::uint8_t reg,
                 std::uint8_t d3_d4) {
  std::uint8_t d0 = 0, d1 = reg, d2 = reg, d3 = d3_d4, d4 = d3_d4;
  TAnswer answer;
  TSlotBuffer answer_slots{};
  ModuleTransact(link.kind, link.handle, link.address, command, 0, d0, d1, d2, d3, d4,
                 answer.status, answer_slots);
  answer.d3 = d3;
  return answer;
}

}  // namespace

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

bool LinkIsOpen(const TData* data) {
  return data && data->LinkOpen && data->LinkHandle != 0;
}

TModuleLink LinkOf(const TData& data) {
  return TModuleLink{data.InterfaceKind, data.LinkHandle, data.ModuleAddress};
}

std::uint8_t WriteConfigRegister(std::uint8_t kind, std::int32_t handle, std::uint8_t address,
                                 std::uint8_t reg, std::uint8_t value, std::string& message,
                                 TReadBack read_back) {
  const TModuleLink link{kind, handle, address};
  message.clear();
  const TAnswer written = Transact(link, kCmdWriteRegister, reg, value);
  if (written.status != 0) {
    message = ErrorText(kind, written.status);
    return written.status;
  }
  if (read_back.pause_before) Pause();
  const TAnswer read = Transact(link, kCmdReadRegister, reg, read_back.echoes_value ? value : 0);
  if (read.status != 0) {
    message = ErrorText(kind, read.status);
    return read.status;
  }
  if (read.d3 != value) {
    message = kWriteMismatch;
    return kStatusReadBackMismatch;
  }
  return 0;
}

bool ReadRegisters(const TModuleLink& link, std::span<const TRegisterStep> steps,
                   const TTransferPlan& plan,
                   const std::function<void(std::uint8_t reg, std::uint8_t value)>& store) {
  plan.show(ReadProgress(0));
  bool first = true;
  for (const TRegisterStep& step : steps) {
    if (plan.pause == TPause::kBeforeEachRequestAfterFirst && !first) Pause();
    first = false;
    const TAnswer answer = Transact(link, kCmdReadRegister, step.reg, 0);
    if (answer.status != 0) {
      plan.show(QStringLiteral(" ") + QString::fromStdString(ErrorText(link.kind, answer.status)));
      return false;
    }
    store(step.reg, answer.d3);
    plan.show(ReadProgress(step.percent));
    if (plan.pause == TPause::kAfterEachSuccess) Pause();
  }
  plan.show(kReadDone);
  return true;
}

bool WriteRegisters(const TModuleLink& link, std::span<const TRegisterStep> steps,
                    const TTransferPlan& plan) {
  plan.show(WriteProgress(0));
  bool first = true;
  for (const TRegisterStep& step : steps) {
    if (plan.pause == TPause::kBeforeEachRequestAfterFirst && !first) Pause();
    first = false;
    std::string message;
    const TReadBack read_back{plan.pause != TPause::kNone, plan.readback_echoes_value};
    if (WriteConfigRegister(link.kind, link.handle, link.address, step.reg, step.value, message,
                            read_back) != 0) {
      plan.show(QStringLiteral(" ") + QString::fromStdString(message));
      return false;
    }
    plan.show(WriteProgress(step.percent));
    if (plan.pause == TPause::kAfterEachSuccess) Pause();
  }
  plan.show(kWriteDone);
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
