#include "emulator/sim/Events.h"

#include "emulator/ControlGrammar.h"

namespace qm90sim {

namespace {

using qm90::Module;

std::string Event(const char* kind, std::vector<std::string> values) {
  return qm90emulator::FormatEvent({kind, std::move(values)});
}

std::string Number(unsigned long long value) {
  return std::to_string(value);
}

}  // namespace

ModuleView ViewOf(const qm90::Module& module) {
  ModuleView view;
  view.address = module.ActiveAddress();
  view.baud = module.ActiveBaudIndex();
  for (std::size_t i = 0; i < view.registers.size(); ++i) {
    module.Register(ConfigRegisters()[i], view.registers[i]);
  }
  view.inputs = module.InputTerminals();
  view.outputs = module.Outputs();
  view.aout = module.AnalogOutput();
  view.status = module.Status();
  view.loopback = module.Loopback();
  view.twin = module.Twin();
  view.din_low = module.StuckInputs(Module::Stuck::kLow);
  view.din_high = module.StuckInputs(Module::Stuck::kHigh);
  view.dout_low = module.StuckOutputs(Module::Stuck::kLow);
  view.dout_high = module.StuckOutputs(Module::Stuck::kHigh);
  return view;
}

void ChangeEvents(std::uint8_t identity, const ModuleView& before, const ModuleView& now,
                  bool whole, std::vector<std::string>& lines) {
  const std::string id = Number(identity);
  if (whole) lines.push_back(Event("module", {id}));
  if (whole || before.address != now.address || before.baud != now.baud) {
    lines.push_back(Event("address", {id, Number(now.address), Number(now.baud)}));
  }
  if (whole || before.inputs != now.inputs)
    lines.push_back(Event("inputs", {id, Number(now.inputs)}));
  if (whole || before.outputs != now.outputs) {
    lines.push_back(Event("outputs", {id, Number(now.outputs)}));
  }
  if (whole || before.aout != now.aout) lines.push_back(Event("aout", {id, Number(now.aout)}));
  if (whole || before.status != now.status)
    lines.push_back(Event("status", {id, Number(now.status)}));
  for (std::size_t i = 0; i < now.registers.size(); ++i) {
    if (!whole && before.registers[i] == now.registers[i]) continue;
    lines.push_back(
        Event("register", {id, Number(ConfigRegisters()[i]), Number(now.registers[i])}));
  }
  if (whole || before.loopback != now.loopback) {
    lines.push_back(Event("wiring", {id, now.loopback ? "loopback" : "none"}));
  }
  if (whole || before.din_low != now.din_low || before.din_high != now.din_high) {
    lines.push_back(Event("stuck", {id, "din", Number(now.din_low), Number(now.din_high)}));
  }
  if (whole || before.dout_low != now.dout_low || before.dout_high != now.dout_high) {
    lines.push_back(Event("stuck", {id, "dout", Number(now.dout_low), Number(now.dout_high)}));
  }
  if (whole || before.twin != now.twin)
    lines.push_back(Event("twin", {id, now.twin ? "on" : "off"}));
}

std::string FaultsEvent(int drop, int corrupt, int delay) {
  return Event("faults", {Number(drop), Number(corrupt), Number(delay)});
}

std::string SerialEvent(bool present) {
  return Event("serial", {present ? "present" : "unplugged"});
}

std::string ExchangeEvent(long long unix_ms, bool udp, const qm90::Request& request,
                          const char* result, const qm90::Answer* answer) {
  std::vector<std::string> values = {std::to_string(unix_ms), udp ? "udp" : "pty",
                                     Number(request.address), Number(request.command),
                                     Number(request.subcode)};
  for (std::uint8_t byte : request.d) values.push_back(Number(byte));
  values.push_back(result);
  values.push_back(Number(answer ? answer->status : 0));
  for (int i = 0; i < 5; ++i) values.push_back(Number(answer ? answer->d[i] : 0));
  return Event("exchange", std::move(values));
}

}  // namespace qm90sim
