#include "link/RegisterTransfer.h"

#include "link/QBLxxx.h"

std::string ReadProgressText(int percent) {
  return " Probíhá čtení konfigurace z modulu (" + std::to_string(percent) + " %)";
}

std::string WriteProgressText(int percent) {
  return " Probíhá zápis konfigurace do modulu (" + std::to_string(percent) + " %)";
}

namespace {

class TTransfer {
 public:
  explicit TTransfer(const TTransferPlan& plan) : plan_(plan) {}

  void Show(const std::string& text) {
    result_.text = text;
    if (plan_.show) plan_.show(text);
  }
  void Pause() const {
    if (plan_.pause_now) plan_.pause_now();
  }
  void PauseBeforeStep(bool first) const {
    if (plan_.pause == TPause::kBeforeEachRequestAfterFirst && !first) Pause();
  }
  void PauseAfterStep() const {
    if (plan_.pause == TPause::kAfterEachSuccess) Pause();
  }
  TTransferResult Fail(TTransferOutcome outcome, std::uint8_t status, std::uint8_t reg,
                       const std::string& text) {
    result_.outcome = outcome;
    result_.status = status;
    result_.reg = reg;
    Show(" " + text);
    return result_;
  }
  TTransferResult Done(const char* text) {
    Show(text);
    return result_;
  }

 private:
  const TTransferPlan& plan_;
  TTransferResult result_;
};

}  // namespace

TTransferResult ReadRegisters(
    const TModuleLink& link, std::span<const TRegisterStep> steps, const TTransferPlan& plan,
    const std::function<void(std::uint8_t reg, std::uint8_t value)>& store) {
  TTransfer transfer(plan);
  transfer.Show(ReadProgressText(0));
  bool first = true;
  for (const TRegisterStep& step : steps) {
    transfer.PauseBeforeStep(first);
    first = false;
    std::uint8_t value = 0;
    if (const std::uint8_t status = ReadRegister(link, step.reg, value); status != 0)
      return transfer.Fail(TTransferOutcome::kExchangeFailed, status, step.reg,
                           ErrorText(link.kind, status));
    if (store) store(step.reg, value);
    transfer.Show(ReadProgressText(step.percent));
    transfer.PauseAfterStep();
  }
  return transfer.Done(kReadDoneText);
}

TTransferResult WriteRegisters(const TModuleLink& link, std::span<const TRegisterStep> steps,
                               const TTransferPlan& plan) {
  TTransfer transfer(plan);
  transfer.Show(WriteProgressText(0));
  TReadBack read_back{plan.readback_echoes_value, {}};
  // Both pausing dialogs pause between a write and its read-back.
  if (plan.pause != TPause::kNone) read_back.pause = [&transfer] { transfer.Pause(); };
  bool first = true;
  for (const TRegisterStep& step : steps) {
    transfer.PauseBeforeStep(first);
    first = false;
    const TCheckedWrite written = WriteRegisterChecked(link, step.reg, step.value, read_back);
    if (written.status != 0)
      return transfer.Fail(TTransferOutcome::kExchangeFailed, written.status, step.reg,
                           ErrorText(link.kind, written.status));
    if (written.mismatch) {
      const std::uint8_t counted =
          plan.mismatch == TMismatch::kStatus9 ? kStatusReadBackMismatch : 0;
      return transfer.Fail(TTransferOutcome::kMismatch, counted, step.reg, kReadBackMismatchText);
    }
    transfer.Show(WriteProgressText(step.percent));
    transfer.PauseAfterStep();
  }
  return transfer.Done(kWriteDoneText);
}
