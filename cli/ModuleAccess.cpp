#include "cli/ModuleAccess.h"

#include <thread>
#include <vector>

#include "base/Text.h"
#include "link/Dekl.h"
#include "link/OpenLink.h"
#include "link/QBLxxx.h"
#include "link/RegisterTransfer.h"

namespace qm90cli {

namespace {

// qm90 pauses 1 ms after each transfer step of the registers whose policy
// pauses, and between their write and read-back, as the settings windows do.
TTransferPlan CommandLinePlan() {
  TTransferPlan plan;
  plan.pause = TPause::kAfterEachSuccess;
  plan.mismatch = TMismatch::kStatus9;
  plan.pause_now = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
  return plan;
}

const char* StepName(TOpenStep step) {
  switch (step) {
    case TOpenStep::kOpen:
      return "the library's Init failed";
    case TOpenStep::kSetConfig:
      return "the library's SetConfig failed";
    case TOpenStep::kIdentify:
      return "the module did not answer the identification";
    case TOpenStep::kNone:
      break;
  }
  return "failed";
}

}  // namespace

ModuleAccess::ModuleAccess() {
  SetDataDefaults(&data_);
  observer_ = [this](const TExchangeRecord& exchange) {
    if (!trace_) return;
    ExchangeRecord record;
    record.when =
        std::chrono::system_clock::now() - std::chrono::microseconds(exchange.microseconds);
    record.address = exchange.address;
    record.command = exchange.command;
    record.subcode = exchange.subcode;
    record.sent = exchange.sent;
    record.status = exchange.status;
    record.received = exchange.received;
    record.microseconds = exchange.microseconds;
    record.answers = exchange.answers;
    trace_(record);
  };
}

std::int32_t ModuleAccess::OpenWith(const LinkParams& params, bool identify, std::string& message) {
  Close();
  params_ = params;
  name_.clear();
  data_.IsaBaseAddress = params.isa_base;
  data_.IpAddress = params.ip;
  data_.UdpPort = params.udp_port;
  data_.UdpTimeout = params.udp_timeout;
  TLinkRequest request;
  request.kind = params.kind;
  request.address = params.address;
  request.baud_index = IndexFromBaud(params.baud);
  request.com_port = params.com_port;
  request.timing = params.timing;
  request.identify = identify;
  request.observer = &observer_;
  TOpenResult result = OpenLink(data_, request);
  if (result.ok() && data_.LinkHandle == 0) {
    // A library that reports success without a handle has opened nothing.
    result.failed = TOpenStep::kOpen;
    result.code = kStatusUnknownCode;
    result.text = ErrorText(params.kind, result.code);
  }
  if (!result.ok()) {
    message =
        std::string(StepName(result.failed)) + " (code " + std::to_string(result.code) +
        "): " + (result.text.empty() ? "the library gave no text" : base::VisibleText(result.text));
    Close();
    // DrvClose also unloads a library whose Init failed.
    if (DrvLibraryLoaded()) {
      std::int32_t handle = 0;
      DrvClose(params.kind, &handle);
    }
    return result.code;
  }
  params_.baud = data_.BaudRate;
  name_ = result.name;
  return 0;
}

std::int32_t ModuleAccess::OpenLine(const LinkParams& params, std::string& message) {
  return OpenWith(params, false, message);
}

std::int32_t ModuleAccess::Open(const LinkParams& params, std::string& message) {
  return OpenWith(params, true, message);
}

std::int32_t ModuleAccess::SetRate(std::int32_t baud, std::int32_t timing, std::string& message) {
  const std::int32_t code = SetLinkRate(data_, IndexFromBaud(baud), timing);
  if (code != 0) {
    message = Text(code);
    return code;
  }
  params_.baud = data_.BaudRate;
  params_.timing = timing;
  return 0;
}

void ModuleAccess::Close() {
  CloseLink(data_);
  data_.LinkHandle = 0;
}

TModuleLink ModuleAccess::Link(std::uint8_t address) const {
  // A closed link carries handle 0, so nothing is sent and nothing passes for an answer.
  const bool open = IsOpen();
  return TModuleLink{params_.kind, open ? data_.LinkHandle : 0, address,
                     open ? &observer_ : nullptr, listen_ms_};
}

std::uint8_t ModuleAccess::Identify(std::uint8_t address, std::string& name) {
  return ::Identify(Link(address), name);
}

std::uint8_t ModuleAccess::ReadRegister(std::uint8_t reg, std::uint8_t& value) {
  const std::uint8_t regs[] = {reg};
  std::uint8_t failed_reg = 0;
  return ReadRegisters(
      regs, [&value](std::uint8_t, std::uint8_t read) { value = read; }, failed_reg);
}

std::uint8_t ModuleAccess::ReadRegisters(
    std::span<const std::uint8_t> regs,
    const std::function<void(std::uint8_t, std::uint8_t)>& store, std::uint8_t& failed_reg) {
  std::vector<TRegisterStep> steps;
  for (const std::uint8_t reg : regs) steps.push_back({reg, 0, 0});
  const TTransferResult result =
      ::ReadRegisters(Link(params_.address), steps, CommandLinePlan(), store);
  failed_reg = result.reg;
  return result.status;
}

std::uint8_t ModuleAccess::WriteRegister(std::uint8_t reg, std::uint8_t value,
                                         std::uint8_t& read_back) {
  const TRegisterStep step{reg, 100, value};
  const TTransferResult result =
      ::WriteRegisters(Link(params_.address), std::span(&step, 1), CommandLinePlan());
  read_back = result.held;
  return result.status;
}
std::uint8_t ModuleAccess::ReadInputs(std::uint8_t& inputs) {
  return ::ReadInputs(Link(params_.address), inputs);
}

std::uint8_t ModuleAccess::ReadStatus(std::uint32_t& value) {
  std::array<std::uint8_t, 4> bytes{};
  const std::uint8_t status = ReadStatusRegister(Link(params_.address), bytes);
  if (status == 0)
    value = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
            (static_cast<std::uint32_t>(bytes[2]) << 16) |
            (static_cast<std::uint32_t>(bytes[3]) << 24);
  return status;
}

std::uint8_t ModuleAccess::ClearStatus() {
  return ClearStatusRegister(Link(params_.address));
}

std::uint8_t ModuleAccess::WriteOutputs(std::uint8_t outputs) {
  return ::WriteOutputs(Link(params_.address), outputs);
}

std::uint8_t ModuleAccess::WriteAout(std::uint16_t value) {
  return WriteAnalogOutput(Link(params_.address), value);
}

bool ModuleAccess::Emulated() const {
  return IsOpen() && DrvIsEmulation(params_.kind);
}

bool ModuleAccess::LinkLost() const {
  return DrvLinkLost();
}

std::string ModuleAccess::Text(std::int32_t code) const {
  const std::string text = ErrorText(params_.kind, code);
  if (text.empty()) return "code " + std::to_string(code) + "; the library gave no text";
  return base::VisibleText(text);
}

}  // namespace qm90cli
