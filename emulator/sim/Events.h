// What a subscriber of the control channel is told: one line per change of a
// module's observable values, one per request served, one per fault change.
//   event module F                 a module (factory address F) on the line
//   event address F A B            answers at address A, baud index B
//   event inputs F T               levels at the input terminals
//   event outputs F V              levels at the output terminals
//   event aout F V                 analog output
//   event status F V               status register
//   event register F R V           stored configuration register R
//   event faults DROP CORRUPT DELAY
//   event exchange T LINE A C S d0 d1 d2 d3 d4 RESULT ST a0 a1 a2 a3 a4
// T is milliseconds since 1970 (UTC), LINE udp or pty, RESULT ok (answered),
// drop (dropped by the fault injection), none (no module listens), lost (the
// delayed-answer queue was full); ST and a0..a4 are 0 unless answered.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "emulator/Module.h"
#include "protocol/Frame.h"

namespace qm90sim {

struct ModuleView {
  std::uint8_t address = 0;
  std::uint8_t baud = 0;
  std::uint8_t inputs = 0;  // terminals
  std::uint8_t outputs = 0;
  std::uint16_t aout = 0;
  std::uint32_t status = 0;
  std::array<std::uint8_t, 7> registers{};  // in the order of ConfigRegisters()
  bool operator==(const ModuleView&) const = default;
};

const std::array<std::uint8_t, 7>& ConfigRegisters();
ModuleView ViewOf(const qm90::Module& module);

// Lines for what differs between before and now; every value when whole.
void ChangeEvents(std::uint8_t identity, const ModuleView& before, const ModuleView& now,
                  bool whole, std::vector<std::string>& lines);

std::string ExchangeEvent(long long unix_ms, bool udp, const qm90::Request& request,
                          const char* result, const qm90::Answer* answer);

}  // namespace qm90sim
