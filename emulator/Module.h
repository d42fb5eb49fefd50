// Behaviour of one QM-90 module, free of any transport: requests in, answers out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/StatusBits.h"
#include "protocol/Frame.h"

namespace qm90 {

// Status register bits (byte d1 of the status read is bits 0..7).
inline constexpr std::uint32_t kStatusFn = qm90status::kFn;
inline constexpr std::uint32_t kStatusPwr = qm90status::kPwr;
inline constexpr std::uint32_t kStatusErr24 = qm90status::kErr24;

class Module {
 public:
  // factory_address/baud: the EEPROM contents of a new module (1, index 4).
  explicit Module(std::uint8_t factory_address = 1, std::uint8_t factory_baud_index = 4);

  // Power-up: address and baud index, initial outputs and analog output from
  // their configuration registers; status register = PWR.
  void PowerUp();

  // Answers a request addressed to this module; false (no answer at all) when
  // the request names another address.
  bool Handle(const Request& request, Answer& answer);

  std::uint8_t ActiveAddress() const;    // address in force since power-up
  std::uint8_t ActiveBaudIndex() const;  // baud index in force since power-up

  void SetInputs(std::uint8_t terminals);  // levels at the input terminals
  std::uint8_t Inputs() const;             // as reported (after negation, register 33)
  std::uint8_t Outputs() const;            // levels at the output terminals (after register 34)
  std::uint16_t AnalogOutput() const;
  std::uint32_t Status() const;
  void SetStatusBits(std::uint32_t mask);
  void ClearStatusBits(std::uint32_t mask);
  // A configuration register (qm90cmd::kRegisters); false for any other number.
  bool Register(std::uint8_t number, std::uint8_t& value) const;

  // The EEPROM: configuration registers as text "32=0 33=255 ..." for a state file.
  std::string SaveEeprom() const;
  bool LoadEeprom(const std::string& text);  // false on malformed text (EEPROM unchanged)

  std::uint8_t type_name[8];  // "QM-90   " by default
  std::uint8_t version[4];    // "1.02" by default
 private:
  struct Impl;
  void ReadRegister(std::uint8_t number, Answer& answer) const;
  void WriteRegister(std::uint8_t number, std::uint8_t value, Answer& answer);
  void Identify(std::uint8_t subcode, Answer& answer) const;
  std::vector<std::uint8_t> eeprom_;  // index = register number
  std::uint8_t active_address_ = 1;
  std::uint8_t active_baud_ = 4;
  std::uint8_t inputs_ = 0;
  std::uint8_t outputs_ = 0;  // as commanded (before negation)
  std::uint16_t aout_ = 0;
  std::uint32_t status_ = 0;
};

}  // namespace qm90
