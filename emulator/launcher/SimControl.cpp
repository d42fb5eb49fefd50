#include "emulator/launcher/SimControl.h"

#include <cstdlib>
#include <optional>
#include <sstream>

#include "emulator/ControlGrammar.h"

namespace qm90sim {

bool SimControl::SetInputs(int address, std::uint8_t terminals) {
  return Control("inputs " + std::to_string(address) + " " + std::to_string(terminals)) == "ok";
}

bool SimControl::SetStatusBits(int address, std::uint32_t mask) {
  return Control("status-set " + std::to_string(address) + " " + std::to_string(mask)) == "ok";
}

bool SimControl::PowerCycle(int address) {
  return Control("power " + std::to_string(address)) == "ok";
}

bool SimControl::SetFaults(int drop_percent, int corrupt_percent, int delay_ms) {
  std::ostringstream line;
  line << "faults " << drop_percent << ' ' << corrupt_percent << ' ' << delay_ms;
  return Control(line.str()) == "ok";
}

bool SimControl::SetLoopback(int address, bool wired) {
  return Control("wiring " + std::to_string(address) + (wired ? " loopback" : " none")) == "ok";
}

bool SimControl::SetStuck(int address, bool input, int channel, int level) {
  const std::string what = level < 0 ? "none" : std::to_string(level);
  return Control("stuck " + std::to_string(address) + (input ? " din " : " dout ") +
                 std::to_string(channel) + " " + what) == "ok";
}

bool SimControl::SetTwin(int address, bool present) {
  return Control("twin " + std::to_string(address) + (present ? " on" : " off")) == "ok";
}

long SimControl::Get(int address, const std::string& what) {
  const std::optional<qm90emulator::Reply> reply =
      qm90emulator::ParseReply(Control("get " + std::to_string(address) + " " + what));
  if (!reply || !reply->ok || reply->text.empty()) return -1;
  char* end = nullptr;
  const long value = std::strtol(reply->text.c_str(), &end, 10);
  return (end != nullptr && *end == '\0') ? value : -1;
}

}  // namespace qm90sim
