#include "emulator/sim/Events.h"

namespace qm90sim {

namespace {

constexpr std::uint8_t kInputNegationRegister = 33;

std::string Line(const char* kind, std::uint8_t identity, unsigned long long value) {
  return std::string("event ") + kind + " " + std::to_string(identity) + " " +
         std::to_string(value);
}

}  // namespace

const std::array<std::uint8_t, 7>& ConfigRegisters() {
  static constexpr std::array<std::uint8_t, 7> kNumbers = {32, 33, 34, 35, 36, 62, 63};
  return kNumbers;
}

ModuleView ViewOf(const qm90::Module& module) {
  ModuleView view;
  view.address = module.ActiveAddress();
  view.baud = module.ActiveBaudIndex();
  for (std::size_t i = 0; i < view.registers.size(); ++i) {
    module.Register(ConfigRegisters()[i], view.registers[i]);
  }
  std::uint8_t negation = 0;
  module.Register(kInputNegationRegister, negation);
  view.inputs = static_cast<std::uint8_t>(module.Inputs() ^ negation);
  view.outputs = module.Outputs();
  view.aout = module.AnalogOutput();
  view.status = module.Status();
  return view;
}

void ChangeEvents(std::uint8_t identity, const ModuleView& before, const ModuleView& now,
                  bool whole, std::vector<std::string>& lines) {
  if (whole) lines.push_back("event module " + std::to_string(identity));
  if (whole || before.address != now.address || before.baud != now.baud) {
    lines.push_back("event address " + std::to_string(identity) + " " +
                    std::to_string(now.address) + " " + std::to_string(now.baud));
  }
  if (whole || before.inputs != now.inputs) lines.push_back(Line("inputs", identity, now.inputs));
  if (whole || before.outputs != now.outputs) {
    lines.push_back(Line("outputs", identity, now.outputs));
  }
  if (whole || before.aout != now.aout) lines.push_back(Line("aout", identity, now.aout));
  if (whole || before.status != now.status) lines.push_back(Line("status", identity, now.status));
  for (std::size_t i = 0; i < now.registers.size(); ++i) {
    if (!whole && before.registers[i] == now.registers[i]) continue;
    lines.push_back("event register " + std::to_string(identity) + " " +
                    std::to_string(ConfigRegisters()[i]) + " " + std::to_string(now.registers[i]));
  }
}

std::string ExchangeEvent(long long unix_ms, bool udp, const qm90::Request& request,
                          const char* result, const qm90::Answer* answer) {
  std::string line = "event exchange " + std::to_string(unix_ms) + (udp ? " udp " : " pty ") +
                     std::to_string(request.address) + " " + std::to_string(request.command) + " " +
                     std::to_string(request.subcode);
  for (std::uint8_t byte : request.d) line += " " + std::to_string(byte);
  line += std::string(" ") + result + " " + std::to_string(answer ? answer->status : 0);
  for (int i = 0; i < 5; ++i) line += " " + std::to_string(answer ? answer->d[i] : 0);
  return line;
}

}  // namespace qm90sim
