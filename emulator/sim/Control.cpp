// The control interface of qm90-sim: one command per line, one reply line.
#include <optional>
#include <string>
#include <vector>

#include "emulator/ControlGrammar.h"
#include "emulator/sim/Sim.h"

namespace qm90sim {

namespace {

// Decimal or 0x-hexadecimal, whole token, at most max.
bool ToNumber(const std::string& token, unsigned long long max, unsigned long long& out) {
  if (token.empty() || token.size() > 12) return false;
  const bool hex = token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X');
  const int base = hex ? 16 : 10;
  out = 0;
  for (std::size_t i = hex ? 2 : 0; i < token.size(); ++i) {
    const char c = token[i];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return false;
    out = out * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
  }
  return out <= max;
}

std::string Ok(unsigned long long value) {
  return qm90emulator::Ok(std::to_string(value));
}

std::string Get(qm90::Module& module, const std::vector<std::string>& words) {
  const std::string& what = words[2];
  if (what == "reg") {
    unsigned long long number = 0;
    std::uint8_t value = 0;
    if (words.size() != 4 || !ToNumber(words[3], 255, number))
      return qm90emulator::Error("usage: get ADDR reg N");
    if (!module.Register(static_cast<std::uint8_t>(number), value)) {
      return qm90emulator::Error("no register " + words[3]);
    }
    return Ok(value);
  }
  if (words.size() != 3)
    return qm90emulator::Error("usage: get ADDR outputs|aout|status|inputs|address|baud");
  if (what == "outputs") return Ok(module.Outputs());
  if (what == "aout") return Ok(module.AnalogOutput());
  if (what == "status") return Ok(module.Status());
  if (what == "inputs") return Ok(module.Inputs());
  if (what == "address") return Ok(module.ActiveAddress());
  if (what == "baud") return Ok(module.ActiveBaudIndex());
  return qm90emulator::Error("unknown value '" + what + "'");
}

std::string SetWiring(qm90::Module& module, const std::vector<std::string>& words) {
  if (words.size() != 3 || (words[2] != "loopback" && words[2] != "none")) {
    return qm90emulator::Error("usage: wiring ADDR loopback|none");
  }
  module.SetLoopback(words[2] == "loopback");
  return qm90emulator::Ok();
}

std::string SetStuck(qm90::Module& module, const std::vector<std::string>& words) {
  using Stuck = qm90::Module::Stuck;
  unsigned long long channel = 0;
  const bool side = words.size() == 5 && (words[2] == "din" || words[2] == "dout");
  const std::string level = words.size() == 5 ? words[4] : std::string();
  if (!side || !ToNumber(words[3], 7, channel) ||
      (level != "0" && level != "1" && level != "none")) {
    return qm90emulator::Error("usage: stuck ADDR din|dout K 0|1|none (K 0..7)");
  }
  const Stuck stuck = level == "none" ? Stuck::kNone : level == "0" ? Stuck::kLow : Stuck::kHigh;
  if (words[2] == "din") {
    module.SetStuckInput(static_cast<int>(channel), stuck);
  } else {
    module.SetStuckOutput(static_cast<int>(channel), stuck);
  }
  return qm90emulator::Ok();
}

std::string SetTwin(qm90::Module& module, const std::vector<std::string>& words) {
  if (words.size() != 3 || (words[2] != "on" && words[2] != "off")) {
    return qm90emulator::Error("usage: twin ADDR on|off");
  }
  module.SetTwin(words[2] == "on");
  return qm90emulator::Ok();
}

std::string ModuleCommand(qm90::Module& module, const std::vector<std::string>& words) {
  const std::string& verb = words[0];
  if (verb == "get")
    return words.size() >= 3 ? Get(module, words) : qm90emulator::Error("usage: get ADDR WHAT");
  if (verb == "wiring") return SetWiring(module, words);
  if (verb == "stuck") return SetStuck(module, words);
  if (verb == "twin") return SetTwin(module, words);
  if (verb == "power") {
    if (words.size() != 2) return qm90emulator::Error("usage: power ADDR");
    module.PowerUp();
    return qm90emulator::Ok();
  }
  unsigned long long value = 0;
  if (verb == "inputs") {
    if (words.size() != 3 || !ToNumber(words[2], 255, value)) {
      return qm90emulator::Error("usage: inputs ADDR VALUE (0..255)");
    }
    module.SetInputs(static_cast<std::uint8_t>(value));
    return qm90emulator::Ok();
  }
  if (words.size() != 3 || !ToNumber(words[2], 0xFFFFFFFFull, value)) {
    return qm90emulator::Error("usage: " + verb + " ADDR MASK (32-bit)");
  }
  if (verb == "status-set") module.SetStatusBits(static_cast<std::uint32_t>(value));
  if (verb == "status-clear") module.ClearStatusBits(static_cast<std::uint32_t>(value));
  return qm90emulator::Ok();
}

std::string SetFaults(qm90::FaultInjector& faults, const std::vector<std::string>& words) {
  unsigned long long drop = 0;
  unsigned long long corrupt = 0;
  unsigned long long delay = 0;
  using qm90emulator::kMaxDelayMs, qm90emulator::kMaxPercent;
  if (words.size() != 4 || !ToNumber(words[1], kMaxPercent, drop) ||
      !ToNumber(words[2], kMaxPercent, corrupt) || !ToNumber(words[3], kMaxDelayMs, delay)) {
    return qm90emulator::Error("usage: faults DROP CORRUPT DELAY (0..100 0..100 0..60000)");
  }
  faults.Set(static_cast<int>(drop), static_cast<int>(corrupt), static_cast<int>(delay));
  return qm90emulator::Ok();
}

// "ok F:A:B ..." for every module: factory address (identity), active
// address and active baud index.
std::string ListModules(const qm90::Bus& bus) {
  std::string modules;
  for (std::size_t i = 0; i < bus.Size(); ++i) {
    const qm90::Module& module = bus.At(i);
    if (i > 0) modules += " ";
    modules += std::to_string(bus.IdentityAt(i)) + ":" + std::to_string(module.ActiveAddress()) +
               ":" + std::to_string(module.ActiveBaudIndex());
  }
  return qm90emulator::Ok(modules);
}

// ADDR is the address a module answers at now, or #F for the module of
// factory address F whatever its address is now.
qm90::Module* FindModule(qm90::Bus& bus, const std::string& token) {
  const bool identity = !token.empty() && token[0] == '#';
  unsigned long long number = 0;
  if (!ToNumber(identity ? token.substr(1) : token, 255, number)) return nullptr;
  const auto byte = static_cast<std::uint8_t>(number);
  return identity ? bus.FindIdentity(byte) : bus.FindActive(byte);
}

bool IsModuleVerb(const std::string& verb) {
  return verb == "inputs" || verb == "status-set" || verb == "status-clear" || verb == "get" ||
         verb == "power" || verb == "wiring" || verb == "stuck" || verb == "twin";
}

}  // namespace

std::string ExecuteControl(qm90::Bus& bus, qm90::FaultInjector& faults, const std::string& line,
                           bool& quit) {
  const std::optional<qm90emulator::Command> command = qm90emulator::ParseCommand(line);
  if (!command) return qm90emulator::Error("empty command");
  std::vector<std::string> words{command->verb};
  words.insert(words.end(), command->args.begin(), command->args.end());
  const std::string& verb = words[0];
  if (verb == "quit") {
    quit = true;
    return qm90emulator::Ok();
  }
  if (verb == "faults") return SetFaults(faults, words);
  if (verb == "modules")
    return words.size() == 1 ? ListModules(bus) : qm90emulator::Error("usage: modules");
  if (!IsModuleVerb(verb)) return qm90emulator::Error("unknown command '" + verb + "'");
  if (words.size() < 2)
    return qm90emulator::Error("usage: " + verb + " ADDR ... (ADDR 0..255 or #0..#255)");
  qm90::Module* module = FindModule(bus, words[1]);
  if (module == nullptr) return qm90emulator::Error("no module at address " + words[1]);
  return ModuleCommand(*module, words);
}

}  // namespace qm90sim
