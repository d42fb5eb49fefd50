// The module's command set and configuration registers: the one place where
// their numbers stand. The program, the driver libraries and the emulator all
// name them from here.
#pragma once

#include <array>
#include <cstdint>

namespace qm90cmd {

// Command codes (byte 1 of a request).
inline constexpr std::uint8_t kReadInputs = 0;       // d1 of the answer: DIN0..DIN7
inline constexpr std::uint8_t kWriteOutputs = 1;     // sub-code says digital or analog
inline constexpr std::uint8_t kReadStatus = 100;     // d1..d4: the 32-bit status register
inline constexpr std::uint8_t kClearStatus = 101;    // status only
inline constexpr std::uint8_t kReadRegister = 102;   // d1 = d2 = register; answer d3 = value
inline constexpr std::uint8_t kWriteRegister = 103;  // d1 = d2 = register; d3 = d4 = value
inline constexpr std::uint8_t kIdentify = 200;       // sub-codes 0, 1, 2: four characters each

// Sub-codes of kReadInputs and kWriteOutputs.
inline constexpr std::uint8_t kSubDigital = 64;  // d1: the eight digital channels
inline constexpr std::uint8_t kSubAnalog = 0;    // d1: low, d2: high byte of AOUT

// Identification: sub-codes 0 and 1 give the type designation, 2 the version.
inline constexpr std::uint8_t kIdentifyParts = 3;
inline constexpr std::uint8_t kIdentifyVersionPart = 2;

// Configuration registers (one byte each), read with kReadRegister and written
// with kWriteRegister.
inline constexpr std::uint8_t kRegDoutInit = 32;      // initial state of DOUT0..DOUT7
inline constexpr std::uint8_t kRegDinNegation = 33;   // negation of DIN0..DIN7
inline constexpr std::uint8_t kRegDoutNegation = 34;  // negation of DOUT0..DOUT7
inline constexpr std::uint8_t kRegAoutLow = 35;       // initial analog output, low byte
inline constexpr std::uint8_t kRegAoutHigh = 36;      // initial analog output, high byte
inline constexpr std::uint8_t kRegBaudIndex = 62;     // baud-rate list index 0..8
inline constexpr std::uint8_t kRegAddress = 63;       // module address 0..255

inline constexpr std::array<std::uint8_t, 7> kRegisters = {
    kRegDoutInit, kRegDinNegation, kRegDoutNegation, kRegAoutLow,
    kRegAoutHigh, kRegBaudIndex,   kRegAddress};

constexpr bool IsRegister(unsigned number) {
  for (std::uint8_t reg : kRegisters)
    if (reg == number) return true;
  return false;
}

// Bits of the 32-bit status register a checkout judges: a healthy module has
// PWR set and ERR24 clear.
inline constexpr int kStatusBitPwr = 4;
inline constexpr int kStatusBitErr24 = 6;

}  // namespace qm90cmd
