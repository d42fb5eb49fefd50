#include "link/Commands.h"

#include <chrono>

#include "base/DriverEntries.h"
#include "link/QBLxxx.h"

using namespace qm90cmd;

TModuleLink LinkOf(const TData& data) {
  return TModuleLink{data.InterfaceKind, data.LinkHandle, data.ModuleAddress};
}

bool LinkIsOpen(const TData* data) {
  return data && data->LinkOpen && data->LinkHandle != 0;
}

std::uint8_t Exchange(const TModuleLink& link, std::uint8_t command, std::uint8_t subcode,
                      TDataBytes& d) {
  // ModuleTransact leaves the status alone when it sends nothing (handle 0):
  // that must not pass for an answer.
  std::uint8_t status = static_cast<std::uint8_t>(kStatusUnknownCode);
  TSlotBuffer answer{};
  const TDataBytes sent = d;
  const auto start = std::chrono::steady_clock::now();
  ModuleTransact(link.kind, link.handle, link.address, command, subcode, d[0], d[1], d[2], d[3],
                 d[4], status, answer, link.listen_ms);
  if (link.observer && *link.observer) {
    const auto elapsed = std::chrono::steady_clock::now() - start;
    (*link.observer)(
        TExchangeRecord{link.address, command, subcode, sent, status, d,
                        std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count(),
                        status == 0 ? answer[QBL_ANSWER_COUNT_SLOT] : 0});
  }
  return status;
}

std::uint8_t ReadInputs(const TModuleLink& link, std::uint8_t& inputs) {
  TDataBytes d{};
  const std::uint8_t status = Exchange(link, kReadInputs, kSubDigital, d);
  if (status == 0) inputs = d[1];
  return status;
}

std::uint8_t WriteOutputs(const TModuleLink& link, std::uint8_t outputs) {
  TDataBytes d{0, outputs, 0, 0, 0};
  return Exchange(link, kWriteOutputs, kSubDigital, d);
}

std::uint8_t WriteAnalogOutput(const TModuleLink& link, std::uint16_t value) {
  TDataBytes d{0, static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8), 0,
               0};
  return Exchange(link, kWriteOutputs, kSubAnalog, d);
}

std::uint8_t ReadStatusRegister(const TModuleLink& link, std::array<std::uint8_t, 4>& bytes) {
  TDataBytes d{};
  const std::uint8_t status = Exchange(link, kReadStatus, 0, d);
  if (status == 0) bytes = {d[1], d[2], d[3], d[4]};
  return status;
}

std::uint8_t ClearStatusRegister(const TModuleLink& link) {
  TDataBytes d{};
  return Exchange(link, kClearStatus, 0, d);
}

// The module's request form carries the register number in both d1 and d2 and
// a written value in both d3 and d4; the module reads the first copy.
std::uint8_t ReadRegister(const TModuleLink& link, std::uint8_t reg, std::uint8_t& value,
                          std::uint8_t echo) {
  TDataBytes d{0, reg, reg, echo, echo};
  const std::uint8_t status = Exchange(link, kReadRegister, 0, d);
  if (status == 0) value = d[3];
  return status;
}

std::uint8_t WriteRegister(const TModuleLink& link, std::uint8_t reg, std::uint8_t value) {
  TDataBytes d{0, reg, reg, value, value};
  return Exchange(link, kWriteRegister, 0, d);
}

TCheckedWrite WriteRegisterChecked(const TModuleLink& link, std::uint8_t reg, std::uint8_t value,
                                   const TReadBack& read_back) {
  TCheckedWrite result;
  result.status = WriteRegister(link, reg, value);
  if (result.status != 0) return result;
  if (read_back.pause) read_back.pause();
  result.status = ReadRegister(link, reg, result.held, read_back.echo_value ? value : 0);
  result.mismatch = result.status == 0 && result.held != value;
  return result;
}

std::uint8_t RegisterOfConfig(const TModuleConfig& config, std::uint8_t reg) {
  switch (reg) {
    case kRegDoutInit:
      return config.DoutInit[0];
    case kRegDinNegation:
      return config.DinNegation[0];
    case kRegDoutNegation:
      return config.DoutNegation[0];
    case kRegAoutLow:
      return static_cast<std::uint8_t>(config.AoutInit % 256);
    case kRegAoutHigh:
      return static_cast<std::uint8_t>(config.AoutInit / 256);
    case kRegBaudIndex:
      return config.BaudIndex;
    case kRegAddress:
      return config.Address;
    default:
      return 0;
  }
}

void StoreRegisterInConfig(TModuleConfig& config, std::uint8_t reg, std::uint8_t value) {
  switch (reg) {
    case kRegDoutInit:
      config.DoutInit[0] = value;
      break;
    case kRegDinNegation:
      config.DinNegation[0] = value;
      break;
    case kRegDoutNegation:
      config.DoutNegation[0] = value;
      break;
    case kRegAoutLow:
      config.AoutInit = static_cast<std::uint16_t>((config.AoutInit & 0xFF00) | value);
      break;
    case kRegAoutHigh:
      config.AoutInit = static_cast<std::uint16_t>((config.AoutInit & 0x00FF) | (value << 8));
      break;
    case kRegBaudIndex:
      config.BaudIndex = value;
      break;
    case kRegAddress:
      config.Address = value;
      break;
    default:
      break;
  }
}

std::uint8_t IdentifyPart(const TModuleLink& link, std::uint8_t subcode, std::uint8_t& d0,
                          std::array<std::uint8_t, 4>& chars) {
  TDataBytes d{d0, 0, 0, 0, 0};
  const std::uint8_t status = Exchange(link, kIdentify, subcode, d);
  // d0 follows the answer whatever the status: a failed exchange clears it, as
  // it clears every data byte.
  d0 = d[0];
  if (status == 0) chars = {d[1], d[2], d[3], d[4]};
  return status;
}

namespace {

// One identification byte as a character of the module's (Windows-1250) text;
// a zero byte shows as a blank so the name keeps its fifteen characters.
std::string CharOfByte(std::uint8_t byte) {
  if (byte == 0) return " ";
  TSlotBuffer buffer{};
  buffer[0] = byte;
  return BufferToText(buffer);
}

}  // namespace

std::uint8_t Identify(const TModuleLink& link, std::string& name) {
  std::string parts[kIdentifyParts];
  std::uint8_t d0 = 0;
  for (std::uint8_t subcode = 0; subcode < kIdentifyParts; ++subcode) {
    std::array<std::uint8_t, 4> chars{};
    if (const std::uint8_t status = IdentifyPart(link, subcode, d0, chars); status != 0)
      return status;
    for (std::uint8_t byte : chars) parts[subcode] += CharOfByte(byte);
  }
  name = parts[0] + parts[1] + " v." + parts[kIdentifyVersionPart];
  return 0;
}
