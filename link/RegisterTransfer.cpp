#include "link/RegisterTransfer.h"

#include "link/QBLxxx.h"

TRegisterPolicy RegisterPolicy(std::uint8_t reg) {
  for (const TRegisterPolicy& row : kRegisterPolicies)
    if (row.reg == reg) return row;
  return TRegisterPolicy{reg, false, true};
}

namespace {

class TTransfer {
 public:
  TTransfer(const TTransferPlan& plan, TTransferDirection direction)
      : plan_(plan), direction_(direction) {}

  void Progress(int percent) const {
    if (plan_.progress) plan_.progress(direction_, percent);
  }
  void Pause(std::uint8_t reg) const {
    if (plan_.pause_now && RegisterPolicy(reg).pause) plan_.pause_now();
  }
  void PauseBeforeStep(bool first, std::uint8_t reg) const {
    if (plan_.pause == TPause::kBeforeEachRequestAfterFirst && !first) Pause(reg);
  }
  void PauseAfterStep(std::uint8_t reg) const {
    if (plan_.pause == TPause::kAfterEachSuccess) Pause(reg);
  }
  TTransferResult Fail(TTransferOutcome outcome, std::uint8_t status, std::uint8_t reg,
                       std::uint8_t held = 0) {
    result_.outcome = outcome;
    result_.status = status;
    result_.reg = reg;
    result_.held = held;
    return Done();
  }
  TTransferResult Done() {
    if (plan_.finished) plan_.finished(direction_, result_);
    return result_;
  }

 private:
  const TTransferPlan& plan_;
  TTransferDirection direction_;
  TTransferResult result_;
};

}  // namespace

TTransferResult ReadRegisters(
    const TModuleLink& link, std::span<const TRegisterStep> steps, const TTransferPlan& plan,
    const std::function<void(std::uint8_t reg, std::uint8_t value)>& store) {
  TTransfer transfer(plan, TTransferDirection::kRead);
  transfer.Progress(0);
  bool first = true;
  for (const TRegisterStep& step : steps) {
    transfer.PauseBeforeStep(first, step.reg);
    first = false;
    std::uint8_t value = 0;
    if (const std::uint8_t status = ReadRegister(link, step.reg, value); status != 0)
      return transfer.Fail(TTransferOutcome::kExchangeFailed, status, step.reg);
    if (store) store(step.reg, value);
    transfer.Progress(step.percent);
    transfer.PauseAfterStep(step.reg);
  }
  return transfer.Done();
}

TTransferResult WriteRegisters(const TModuleLink& link, std::span<const TRegisterStep> steps,
                               const TTransferPlan& plan) {
  TTransfer transfer(plan, TTransferDirection::kWrite);
  transfer.Progress(0);
  bool first = true;
  for (const TRegisterStep& step : steps) {
    transfer.PauseBeforeStep(first, step.reg);
    first = false;
    TReadBack read_back{RegisterPolicy(step.reg).echo_read_back, {}};
    // A transfer that pauses at all pauses between a write and its read-back.
    if (plan.pause != TPause::kNone)
      read_back.pause = [&transfer, &step] { transfer.Pause(step.reg); };
    const TCheckedWrite written = WriteRegisterChecked(link, step.reg, step.value, read_back);
    if (written.status != 0)
      return transfer.Fail(TTransferOutcome::kExchangeFailed, written.status, step.reg);
    if (written.mismatch) {
      const std::uint8_t counted =
          plan.mismatch == TMismatch::kStatus9 ? kStatusReadBackMismatch : 0;
      return transfer.Fail(TTransferOutcome::kMismatch, counted, step.reg, written.held);
    }
    transfer.Progress(step.percent);
    transfer.PauseAfterStep(step.reg);
  }
  return transfer.Done();
}
