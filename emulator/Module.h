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

// The status bits that have a name (and that the emulator lets one set).
struct StatusBitName {
  int bit;
  const char* name;
};
inline constexpr StatusBitName kStatusBitNames[] = {{1, "FN"}, {4, "PWR"}, {6, "ERR24"}};

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

  void SetInputs(std::uint8_t terminals);  // levels driven onto the input terminals
  std::uint8_t InputTerminals() const;     // levels the input terminals read (wiring, stuck)
  std::uint8_t Inputs() const;             // as reported (after negation, register 33)
  std::uint8_t Outputs() const;            // levels at the output terminals (after register 34)

  // Wiring and channel faults at the terminals. Loopback: DOUTk wired to DINk.
  // A stuck channel k reads (input) or stays (output) at its level whatever
  // drives it; the negation registers act on the inside of the terminals.
  enum class Stuck { kNone, kLow, kHigh };
  void SetLoopback(bool wired) { loopback_ = wired; }
  bool Loopback() const { return loopback_; }
  void SetStuckInput(int channel, Stuck stuck);
  void SetStuckOutput(int channel, Stuck stuck);
  std::uint8_t StuckInputs(Stuck level) const;  // mask of the channels stuck at level
  std::uint8_t StuckOutputs(Stuck level) const;
  // A second module that answers at this one's address (a collision).
  void SetTwin(bool present) { twin_ = present; }
  bool Twin() const { return twin_; }
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
  bool loopback_ = false;
  bool twin_ = false;
  std::uint8_t din_low_ = 0, din_high_ = 0;  // channels stuck at 0 / 1
  std::uint8_t dout_low_ = 0, dout_high_ = 0;
};

}  // namespace qm90
