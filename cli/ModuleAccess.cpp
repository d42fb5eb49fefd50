#include "cli/ModuleAccess.h"

#include <thread>

#include "base/Cp1250.h"
#include "cli/Registers.h"
#include "link/Dekl.h"
#include "link/QBLxxx.h"

namespace qm90cli {

namespace {

constexpr std::uint8_t kCmdReadInputs = 0;
constexpr std::uint8_t kCmdWrite = 1;
constexpr std::uint8_t kSubDigital = 64;
constexpr std::uint8_t kSubAnalog = 0;
constexpr std::uint8_t kCmdReadStatus = 100;
constexpr std::uint8_t kCmdClearStatus = 101;
constexpr std::uint8_t kCmdReadRegister = 102;
constexpr std::uint8_t kCmdWriteRegister = 103;
constexpr std::uint8_t kCmdIdentify = 200;
constexpr std::int32_t kSetConfigMode = 2;

void PauseFor(const RegisterInfo* info) {
  if (info && info->pause) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace

std::int32_t ModuleAccess::OpenLine(const LinkParams& params, std::string& message) {
  Close();
  params_ = params;
  name_.clear();
  TInitBlock block{};
  switch (params.kind) {
    case 0:
      block[0] = params.com_port;
      break;
    case 1:
      block[0] = params.isa_base;
      break;
    case 4:
      ip_text_ = params.ip;
      block[0] = reinterpret_cast<std::intptr_t>(ip_text_.c_str());
      block[1] = params.udp_port;
      block[2] = params.udp_timeout;
      break;
    default:
      break;
  }
  std::int32_t handle = 0;
  const std::int32_t code = DrvOpen(params.kind, &handle, &block);
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
  if (bound_) {
    std::int32_t handle = handle_;
    DrvClose(params_.kind, &handle);
  }
  handle_ = 0;
  bound_ = false;
  open_ = false;
}

std::uint8_t ModuleAccess::Transact(std::uint8_t address, std::uint8_t command,
                                    std::uint8_t subcode, std::array<std::uint8_t, 5>& d) {
  ExchangeRecord record;
  record.when = std::chrono::system_clock::now();
  record.address = address;
  record.command = command;
  record.subcode = subcode;
  record.sent = d;
  // A call that sends nothing must not pass for an answer.
  std::uint8_t status = kStatusUnknownCode;
  if (!open_) {
    d.fill(0);
    return status;
  }
  TSlotBuffer answer{};
  const auto start = std::chrono::steady_clock::now();
  ModuleTransact(params_.kind, handle_, address, command, subcode, d[0], d[1], d[2], d[3], d[4],
                 status, answer);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  if (trace_) {
    record.status = status;
    record.received = d;
    record.microseconds = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
    trace_(record);
  }
  return status;
}

std::uint8_t ModuleAccess::Identify(std::uint8_t address, std::string& name) {
  std::string parts[3];
  std::uint8_t d0 = 0;
  for (std::uint8_t subcode = 0; subcode < 3; ++subcode) {
    std::array<std::uint8_t, 5> d{d0, 0, 0, 0, 0};
    const std::uint8_t status = Transact(address, kCmdIdentify, subcode, d);
    if (status != 0) return status;
    d0 = d[0];
    for (int i = 1; i <= 4; ++i) parts[subcode] += static_cast<char>(d[i]);
  }
  name = Cp1250ToUtf8(parts[0] + parts[1] + " v." + parts[2]);
  return 0;
}

std::uint8_t ModuleAccess::ReadRegister(std::uint8_t reg, std::uint8_t& value) {
  std::array<std::uint8_t, 5> d{0, reg, reg, 0, 0};
  const std::uint8_t status = Transact(params_.address, kCmdReadRegister, 0, d);
  if (status == 0) value = d[3];
  PauseFor(FindRegister(reg));
  return status;
}

std::uint8_t ModuleAccess::WriteRegister(std::uint8_t reg, std::uint8_t value,
                                         std::uint8_t& read_back) {
  const RegisterInfo* info = FindRegister(reg);
  std::array<std::uint8_t, 5> d{0, reg, reg, value, value};
  std::uint8_t status = Transact(params_.address, kCmdWriteRegister, 0, d);
  if (status != 0) return status;
  PauseFor(info);
  const std::uint8_t echoed = info && info->echo_read_back ? value : 0;
  d = {0, reg, reg, echoed, echoed};
  status = Transact(params_.address, kCmdReadRegister, 0, d);
  if (status != 0) return status;
  PauseFor(info);
  read_back = d[3];
  return read_back == value ? 0 : kStatusReadBackMismatch;
}

std::uint8_t ModuleAccess::ReadInputs(std::uint8_t& inputs) {
  std::array<std::uint8_t, 5> d{};
  const std::uint8_t status = Transact(params_.address, kCmdReadInputs, kSubDigital, d);
  if (status == 0) inputs = d[1];
  return status;
}

std::uint8_t ModuleAccess::ReadStatus(std::uint32_t& value) {
  std::array<std::uint8_t, 5> d{};
  const std::uint8_t status = Transact(params_.address, kCmdReadStatus, 0, d);
  if (status == 0)
    value = static_cast<std::uint32_t>(d[1]) | (static_cast<std::uint32_t>(d[2]) << 8) |
            (static_cast<std::uint32_t>(d[3]) << 16) | (static_cast<std::uint32_t>(d[4]) << 24);
  return status;
}

std::uint8_t ModuleAccess::ClearStatus() {
  std::array<std::uint8_t, 5> d{};
  return Transact(params_.address, kCmdClearStatus, 0, d);
}

std::uint8_t ModuleAccess::WriteOutputs(std::uint8_t outputs) {
  std::array<std::uint8_t, 5> d{0, outputs, 0, 0, 0};
  return Transact(params_.address, kCmdWrite, kSubDigital, d);
}

std::uint8_t ModuleAccess::WriteAout(std::uint16_t value) {
  std::array<std::uint8_t, 5> d{0, static_cast<std::uint8_t>(value & 0xFF),
                                static_cast<std::uint8_t>(value >> 8), 0, 0};
  return Transact(params_.address, kCmdWrite, kSubAnalog, d);
}

std::string ModuleAccess::Text(std::int32_t code) const {
  return ErrorText(params_.kind, code);
}

}  // namespace qm90cli
