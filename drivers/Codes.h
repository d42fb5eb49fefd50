// Result codes of the QBL31x libraries and their Czech texts.
#pragma once

#include <array>
#include <cstdint>

#include "base/ReservedCodes.h"

namespace qm90drivers {

enum Code : std::int32_t {
  kOk = 0,
  kPortOpenFailed = 1,    // COM port / device cannot be opened
  kInvalidParameter = 2,  // argument out of its range, null pointer
  kTimeout = 3,           // module does not answer
  kDamagedAnswer = 4,     // bytes came, but no answer with a valid CRC
  kCommandRefused = 5,    // module: unknown command or sub-code
  kRegisterRefused = 6,   // module: unknown register
  kValueRefused = 7,      // module: value not accepted
  kInvalidHandle = 8,     // handle 0, closed or of another library
  // 9 and 10 are the program's own (base/ReservedCodes.h): never returned
  // here; the libraries only give their texts.
  kUnsupportedBaud = 11,
  kInvalidIpAddress = 12,
  kUdpPortRange = 13,
  kUdpTimeoutRange = 14,
  kIsaBaseRange = 15,
  kSocketError = 16,
  kPortWriteFailed = 17,
  kPortReadFailed = 18,
  kTooManyLinks = 19,
  kEepromSaveFailed = 20,
  kPortSetupFailed = 21,
  kInternalError = 22,
  kStateDamaged = 23,  // QBL311..313: stored configuration incomplete, damaged or not a file
};

// Every code a library returns.
inline constexpr std::array<Code, 22> kCodes = {kOk,
                                                kPortOpenFailed,
                                                kInvalidParameter,
                                                kTimeout,
                                                kDamagedAnswer,
                                                kCommandRefused,
                                                kRegisterRefused,
                                                kValueRefused,
                                                kInvalidHandle,
                                                kUnsupportedBaud,
                                                kInvalidIpAddress,
                                                kUdpPortRange,
                                                kUdpTimeoutRange,
                                                kIsaBaseRange,
                                                kSocketError,
                                                kPortWriteFailed,
                                                kPortReadFailed,
                                                kTooManyLinks,
                                                kEepromSaveFailed,
                                                kPortSetupFailed,
                                                kInternalError,
                                                kStateDamaged};

constexpr bool NoCodeIsReserved() {
  for (const Code code : kCodes)
    if (qm90codes::IsReserved(code)) return false;
  return true;
}
static_assert(NoCodeIsReserved(), "a library code collides with one the program keeps");

// UTF-8 text of a code; codes without a text of their own get a common one.
const char* CodeText(std::int32_t code);

// Writes a UTF-8 text as Windows-1250 codes into 100 slots, starting at slot 0,
// one character per slot, the rest zero. Characters without a code become '?'.
void TextToSlots(const char* utf8, std::int32_t* slots);

}  // namespace qm90drivers
