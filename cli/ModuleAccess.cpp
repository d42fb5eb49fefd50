#include "cli/ModuleAccess.h"

#include <thread>

#include "cli/Registers.h"
#include "link/Dekl.h"
#include "link/OpenLink.h"
#include "link/QBLxxx.h"

namespace qm90cli {

namespace {

void PauseFor(const RegisterInfo* info) {
  if (info && info->pause) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace

ModuleAccess::ModuleAccess() {
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
    trace_(record);
  };
}

std::int32_t ModuleAccess::OpenLine(const LinkParams& params, std::string& message) {
  Close();
  params_ = params;
  name_.clear();
  data_.IsaBaseAddress = params.isa_base;
  data_.IpAddress = params.ip;
  data_.UdpPort = params.udp_port;
  data_.UdpTimeout = params.udp_timeout;
  FillInitBlock(data_, params.kind, params.com_port);
  std::int32_t handle = 0;
  const std::int32_t code = DrvOpen(params.kind, &handle, &data_.InitBlock);
  bound_ = DrvLibraryLoaded();
  if (code != 0 || handle == 0) {
    const std::int32_t reported = code != 0 ? code : kStatusUnknownCode;
    message = Text(reported);
    Close();
    return reported;
  }
  handle_ = handle;
  open_ = true;
  const std::int32_t configured = Configure(params.baud, message);
  if (configured != 0) Close();
  return configured;
}

std::int32_t ModuleAccess::Open(const LinkParams& params, std::string& message) {
  const std::int32_t code = OpenLine(params, message);
  if (code != 0) return code;
  std::string name;
  const std::uint8_t status = Identify(params.address, name);
  if (status != 0) {
    message = Text(status);
    Close();
    return status;
  }
  name_ = name;
  return 0;
}

std::int32_t ModuleAccess::SetRate(std::int32_t baud, std::string& message) {
  return Configure(baud, message);
}

std::int32_t ModuleAccess::Configure(std::int32_t baud, std::string& message) {
  const std::uint8_t index = IndexFromBaud(baud);
  const std::int32_t timing = params_.timing > 0 ? params_.timing : TimingFromIndex(index);
  const std::int32_t code =
      DrvSetConfig(params_.kind, handle_, BaudFromIndex(index), timing, kSetConfigMode);
  if (code != 0) {
    message = Text(code);
    return code;
  }
  params_.baud = BaudFromIndex(index);
  return 0;
}

void ModuleAccess::Close() {
  // DrvClose also unloads a library whose Init failed.
  if (bound_) {
    std::int32_t handle = handle_;
    DrvClose(params_.kind, &handle);
  }
  handle_ = 0;
  bound_ = false;
  open_ = false;
}

TModuleLink ModuleAccess::Link(std::uint8_t address) const {
  // A closed link carries handle 0, so nothing is sent and nothing passes for an answer.
  return TModuleLink{params_.kind, open_ ? handle_ : 0, address, open_ ? &observer_ : nullptr};
}

std::uint8_t ModuleAccess::Identify(std::uint8_t address, std::string& name) {
  return ::Identify(Link(address), name);
}

std::uint8_t ModuleAccess::ReadRegister(std::uint8_t reg, std::uint8_t& value) {
  const std::uint8_t status = ::ReadRegister(Link(params_.address), reg, value);
  PauseFor(FindRegister(reg));
  return status;
}

std::uint8_t ModuleAccess::WriteRegister(std::uint8_t reg, std::uint8_t value,
                                         std::uint8_t& read_back) {
  const RegisterInfo* info = FindRegister(reg);
  TReadBack how;
  how.echo_value = info && info->echo_read_back;
  how.pause = [info] { PauseFor(info); };
  const TCheckedWrite write = WriteRegisterChecked(Link(params_.address), reg, value, how);
  if (write.status != 0) return write.status;
  PauseFor(info);
  read_back = write.held;
  return write.mismatch ? kStatusReadBackMismatch : 0;
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

bool ModuleAccess::LinkLost() const {
  return DrvLinkLost();
}

std::string ModuleAccess::Text(std::int32_t code) const {
  return ErrorText(params_.kind, code);
}

}  // namespace qm90cli
