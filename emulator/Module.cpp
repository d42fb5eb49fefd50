#include "emulator/Module.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "base/Baud.h"
#include "base/ModuleCommands.h"

namespace qm90 {

namespace {

constexpr std::uint8_t kRegDoutInit = qm90cmd::kRegDoutInit;
constexpr std::uint8_t kRegDinNegation = qm90cmd::kRegDinNegation;
constexpr std::uint8_t kRegDoutNegation = qm90cmd::kRegDoutNegation;
constexpr std::uint8_t kRegAoutLow = qm90cmd::kRegAoutLow;
constexpr std::uint8_t kRegAoutHigh = qm90cmd::kRegAoutHigh;
constexpr std::uint8_t kRegBaud = qm90cmd::kRegBaudIndex;
constexpr std::uint8_t kRegAddress = qm90cmd::kRegAddress;
constexpr const auto& kKnownRegisters = qm90cmd::kRegisters;
constexpr std::uint8_t kMaxBaudIndex = base::kHighestBaudIndex;
constexpr std::size_t kEepromSize = 64;

constexpr std::uint8_t kCmdReadInputs = qm90cmd::kReadInputs;
constexpr std::uint8_t kCmdWriteOutputs = qm90cmd::kWriteOutputs;
constexpr std::uint8_t kCmdReadStatus = qm90cmd::kReadStatus;
constexpr std::uint8_t kCmdClearStatus = qm90cmd::kClearStatus;
constexpr std::uint8_t kCmdReadRegister = qm90cmd::kReadRegister;
constexpr std::uint8_t kCmdWriteRegister = qm90cmd::kWriteRegister;
constexpr std::uint8_t kCmdIdentify = qm90cmd::kIdentify;
constexpr std::uint8_t kSubDigital = qm90cmd::kSubDigital;
constexpr std::uint8_t kSubAnalog = qm90cmd::kSubAnalog;

bool IsKnownRegister(unsigned number) {
  return std::find(std::begin(kKnownRegisters), std::end(kKnownRegisters), number) !=
         std::end(kKnownRegisters);
}

bool IsAcceptedValue(unsigned number, unsigned value) {
  return value <= 255 && (number != kRegBaud || value <= kMaxBaudIndex);
}

}  // namespace

Module::Module(std::uint8_t factory_address, std::uint8_t factory_baud_index)
    : eeprom_(kEepromSize, 0) {
  std::memcpy(type_name, "QM-90   ", sizeof type_name);
  std::memcpy(version, "1.02", sizeof version);
  eeprom_[kRegDinNegation] = 0xFF;
  eeprom_[kRegDoutNegation] = 0xFF;
  eeprom_[kRegBaud] = std::min(factory_baud_index, kMaxBaudIndex);
  eeprom_[kRegAddress] = factory_address;
  PowerUp();
}

void Module::PowerUp() {
  active_address_ = eeprom_[kRegAddress];
  active_baud_ = eeprom_[kRegBaud];
  outputs_ = eeprom_[kRegDoutInit];
  aout_ = static_cast<std::uint16_t>(eeprom_[kRegAoutLow] | (eeprom_[kRegAoutHigh] << 8));
  status_ = kStatusPwr;
}

bool Module::Handle(const Request& request, Answer& answer) {
  if (request.address != active_address_) return false;
  answer = Answer{};
  answer.address = active_address_;
  answer.sequence = request.sequence;
  answer.status = kAnswerOk;
  const std::uint8_t* d = request.d;
  switch (request.command) {
    case kCmdReadInputs:
      if (request.subcode != kSubDigital) break;
      answer.d[1] = Inputs();
      return true;
    case kCmdWriteOutputs:
      if (request.subcode == kSubDigital) {
        outputs_ = d[1];
        return true;
      }
      if (request.subcode == kSubAnalog) {
        aout_ = static_cast<std::uint16_t>(d[1] | (d[2] << 8));
        return true;
      }
      break;
    case kCmdReadStatus:
      if (request.subcode != 0) break;
      for (int i = 0; i < 4; ++i) answer.d[1 + i] = static_cast<std::uint8_t>(status_ >> (8 * i));
      return true;
    case kCmdClearStatus:
      if (request.subcode != 0) break;
      status_ = 0;
      return true;
    case kCmdReadRegister:
      if (request.subcode != 0) break;
      ReadRegister(d[1], answer);
      return true;
    case kCmdWriteRegister:
      if (request.subcode != 0) break;
      WriteRegister(d[1], d[3], answer);
      return true;
    case kCmdIdentify:
      if (request.subcode >= qm90cmd::kIdentifyParts) break;
      Identify(request.subcode, answer);
      return true;
    default:
      break;
  }
  answer.status = kAnswerUnknownCommand;
  return true;
}

void Module::ReadRegister(std::uint8_t number, Answer& answer) const {
  std::uint8_t value = 0;
  if (!Register(number, value)) {
    answer.status = kAnswerUnknownRegister;
    return;
  }
  answer.d[1] = answer.d[2] = number;
  answer.d[3] = answer.d[4] = value;
}

void Module::WriteRegister(std::uint8_t number, std::uint8_t value, Answer& answer) {
  if (!IsKnownRegister(number)) {
    answer.status = kAnswerUnknownRegister;
    return;
  }
  if (!IsAcceptedValue(number, value)) {
    answer.status = kAnswerBadValue;
    return;
  }
  eeprom_[number] = value;
  answer.d[1] = answer.d[2] = number;
  answer.d[3] = answer.d[4] = value;
}

void Module::Identify(std::uint8_t subcode, Answer& answer) const {
  const std::uint8_t* source =
      subcode == qm90cmd::kIdentifyVersionPart ? version : type_name + 4 * subcode;
  std::copy(source, source + 4, answer.d + 1);
  answer.d[0] = static_cast<std::uint8_t>(subcode + 1);
}

std::uint8_t Module::ActiveAddress() const {
  return active_address_;
}
std::uint8_t Module::ActiveBaudIndex() const {
  return active_baud_;
}
void Module::SetInputs(std::uint8_t terminals) {
  inputs_ = terminals;
}

namespace {

std::uint8_t Force(std::uint8_t levels, std::uint8_t low, std::uint8_t high) {
  return static_cast<std::uint8_t>((levels & ~low) | high);
}

void SetStuck(int channel, Module::Stuck stuck, std::uint8_t& low, std::uint8_t& high) {
  if (channel < 0 || channel > 7) return;
  const auto bit = static_cast<std::uint8_t>(1u << channel);
  low = static_cast<std::uint8_t>((low & ~bit) | (stuck == Module::Stuck::kLow ? bit : 0));
  high = static_cast<std::uint8_t>((high & ~bit) | (stuck == Module::Stuck::kHigh ? bit : 0));
}

}  // namespace

std::uint8_t Module::InputTerminals() const {
  return Force(loopback_ ? Outputs() : inputs_, din_low_, din_high_);
}

std::uint8_t Module::Inputs() const {
  return static_cast<std::uint8_t>(InputTerminals() ^ eeprom_[kRegDinNegation]);
}

std::uint8_t Module::Outputs() const {
  return Force(static_cast<std::uint8_t>(outputs_ ^ eeprom_[kRegDoutNegation]), dout_low_,
               dout_high_);
}

void Module::SetStuckInput(int channel, Stuck stuck) {
  SetStuck(channel, stuck, din_low_, din_high_);
}

void Module::SetStuckOutput(int channel, Stuck stuck) {
  SetStuck(channel, stuck, dout_low_, dout_high_);
}

std::uint8_t Module::StuckInputs(Stuck level) const {
  return level == Stuck::kLow ? din_low_ : level == Stuck::kHigh ? din_high_ : 0;
}

std::uint8_t Module::StuckOutputs(Stuck level) const {
  return level == Stuck::kLow ? dout_low_ : level == Stuck::kHigh ? dout_high_ : 0;
}

std::uint16_t Module::AnalogOutput() const {
  return aout_;
}
std::uint32_t Module::Status() const {
  return status_;
}
void Module::SetStatusBits(std::uint32_t mask) {
  status_ |= mask;
}
void Module::ClearStatusBits(std::uint32_t mask) {
  status_ &= ~mask;
}

bool Module::Register(std::uint8_t number, std::uint8_t& value) const {
  if (!IsKnownRegister(number)) return false;
  value = eeprom_[number];
  return true;
}

std::string Module::SaveEeprom() const {
  std::ostringstream out;
  const char* separator = "";
  for (std::uint8_t number : kKnownRegisters) {
    out << separator << unsigned{number} << '=' << unsigned{eeprom_[number]};
    separator = " ";
  }
  return out.str();
}

// Accepts "N=V" pairs separated by blanks; every register must be known and
// its value acceptable, otherwise nothing is changed. Registers not named keep
// their value.
bool Module::LoadEeprom(const std::string& text) {
  std::vector<std::uint8_t> loaded = eeprom_;
  std::istringstream in(text);
  std::string token;
  int count = 0;
  while (in >> token) {
    unsigned number = 0;
    unsigned value = 0;
    char tail = 0;
    if (std::sscanf(token.c_str(), "%3u=%3u%c", &number, &value, &tail) != 2) return false;
    if (!IsKnownRegister(number) || !IsAcceptedValue(number, value)) return false;
    loaded[number] = static_cast<std::uint8_t>(value);
    ++count;
  }
  if (count == 0) return false;
  eeprom_ = std::move(loaded);
  return true;
}

}  // namespace qm90
