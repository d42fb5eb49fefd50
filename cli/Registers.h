// The module's seven configuration registers as qm90 names them. How each is
// transferred is the session layer's table (link/RegisterTransfer.h).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/ModuleCommands.h"

namespace qm90cli {

using qm90cmd::kRegAddress;
using qm90cmd::kRegAoutHigh;
using qm90cmd::kRegAoutLow;
using qm90cmd::kRegBaudIndex;
using qm90cmd::kRegDinNegation;
using qm90cmd::kRegDoutInit;
using qm90cmd::kRegDoutNegation;

struct RegisterInfo {
  std::uint8_t number;
  const char* name;         // in files, JSON and messages
  const char* description;  // one line, for the file's comments
  std::uint8_t maximum;     // highest value the module takes
  bool bits;                // a bit per channel
  char channel;             // 'I' DINk, 'O' DOUTk, 0 none
};

// Writing order: the I/O registers, the analog output, then the address and
// the rate, which apply only at the next power-up and are written last.
inline constexpr std::array<RegisterInfo, 7> kRegisters{{
    {kRegDoutInit, "dout-init", "initial state of the digital outputs, bit k = DOUTk", 255, true,
     'O'},
    {kRegDinNegation, "din-negation", "negation of the digital inputs, bit k = DINk", 255, true,
     'I'},
    {kRegDoutNegation, "dout-negation", "negation of the digital outputs, bit k = DOUTk", 255, true,
     'O'},
    {kRegAoutLow, "aout-init-low", "initial value of the analog output, low byte", 255, false, 0},
    {kRegAoutHigh, "aout-init-high", "initial value of the analog output, high byte", 255, false,
     0},
    {kRegAddress, "address", "module address 0..255, applies at the next power-up", 255, false, 0},
    {kRegBaudIndex, "baud-index",
     "baud-rate index 0..8 = 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 Bd, "
     "applies at the next power-up",
     8, false, 0},
}};

static_assert(kRegisters.size() == qm90cmd::kRegisters.size(), "every register has a row");

const RegisterInfo* FindRegister(std::uint8_t number);

// The register values of one module, indexed like kRegisters.
using RegisterValues = std::array<std::uint8_t, kRegisters.size()>;

std::uint8_t& ValueOf(RegisterValues& values, std::uint8_t number);
std::uint8_t ValueOf(const RegisterValues& values, std::uint8_t number);
std::uint16_t AoutInitOf(const RegisterValues& values);

// True for the registers that only apply at the module's next power-up.
inline bool IsCommunicationRegister(std::uint8_t number) {
  return number == kRegAddress || number == kRegBaudIndex;
}

// "0xA5": a byte of bits as written in files and messages.
std::string HexByte(std::uint8_t value);
// "1 0 1 0 0 1 0 1": channel 0 first.
std::string BitList(std::uint8_t value);

// One KEY=VALUE of `config set` applied to the module's values. Keys:
// address, baud (a rate in Bd), aout-init (0..65535), din-negation,
// dout-negation, dout-init (a byte), a channel of a byte
// ("dout-init.DOUT3=1", "din-negation.DIN3=1", and "DIN3=1" for the one
// byte of input bits). Integers follow the program's integer text rule.
// Returns an empty text on success, else the reason.
std::string ApplySetting(std::string_view assignment, RegisterValues& values);

}  // namespace qm90cli
