// What a subscriber of the control channel is told: one line per change of a
// module's observable values, one per request served, one per fault change.
// The lines and their fields are those of emulator/ControlGrammar.h.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/ModuleCommands.h"
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
  bool loopback = false;
  bool twin = false;
  std::uint8_t din_low = 0, din_high = 0, dout_low = 0, dout_high = 0;  // stuck channels
  bool operator==(const ModuleView&) const = default;
};

inline const std::array<std::uint8_t, 7>& ConfigRegisters() {
  return qm90cmd::kRegisters;
}
ModuleView ViewOf(const qm90::Module& module);

// Lines for what differs between before and now; every value when whole.
void ChangeEvents(std::uint8_t identity, const ModuleView& before, const ModuleView& now,
                  bool whole, std::vector<std::string>& lines);

std::string FaultsEvent(int drop, int corrupt, int delay);
std::string SerialEvent(bool present);
std::string ExchangeEvent(long long unix_ms, bool udp, const qm90::Request& request,
                          const char* result, const qm90::Answer* answer);

}  // namespace qm90sim
