// The test program's side of the scripted driver: the one State the loaded
// libraries find by name, and the fake module's answers.
#include "tests/scripted/ScriptedDriver.h"

#ifdef _WIN32
#define QM90_HOST_EXPORT extern "C" __declspec(dllexport)
#else
#define QM90_HOST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

QM90_HOST_EXPORT scripted::State* qm90_scripted_state() {
  // Deliberately never destroyed: libraries unloaded at process exit still
  // count themselves into it.
  static scripted::State* state = new scripted::State();
  return state;
}

namespace scripted {
namespace {

Answer Characters(const std::string& text, std::size_t first, std::uint8_t d0) {
  std::uint8_t c[4] = {};
  for (std::size_t i = 0; i < 4 && first + i < text.size(); ++i)
    c[i] = static_cast<std::uint8_t>(text[first + i]);
  return Ok(d0, c[0], c[1], c[2], c[3]);
}

Answer Identification(const FakeModule& module, const Request& r) {
  // d0 of the answer: the next sub-code, which the caller sends back.
  const auto next = static_cast<std::uint8_t>(r.subcode + 1);
  switch (r.subcode) {
    case 0:
      return Characters(module.type, 0, next);
    case 1:
      return Characters(module.type, 4, next);
    case 2:
      return Characters(module.version, 0, next);
    default:
      return Fail(module.unknown_command_status);
  }
}

Answer ReadRegister(const FakeModule& module, std::uint8_t reg) {
  auto it = module.registers.find(reg);
  return Ok(0, 0, 0, it == module.registers.end() ? 0 : it->second, 0);
}

Answer StatusRegister(const FakeModule& module) {
  const std::uint32_t s = module.status;
  return Ok(0, s & 0xFF, (s >> 8) & 0xFF, (s >> 16) & 0xFF, (s >> 24) & 0xFF);
}

bool Addressed(const FakeModule& module, const Request& r) {
  if (module.wrong_address_status == 0) return true;
  auto it = module.registers.find(63);
  return it != module.registers.end() && it->second == r.address;
}

}  // namespace

Answer ModuleAnswer(FakeModule& module, const Request& r) {
  if (!Addressed(module, r)) return Fail(module.wrong_address_status);
  switch (r.command) {
    case 0:
      if (r.subcode == 64) return Ok(0, module.inputs);
      break;
    case 1:
      if (r.subcode == 64) {
        module.outputs = r.d1;
        return Ok();
      }
      if (r.subcode == 0) {
        module.aout = static_cast<std::uint16_t>(r.d1 | (r.d2 << 8));
        return Ok();
      }
      break;
    case 100:
      return StatusRegister(module);
    case 101:
      module.status = 0;
      ++module.status_clears;
      return Ok();
    case 102:
      return ReadRegister(module, r.d1);
    case 103:
      module.registers[r.d1] = r.d3;
      return Ok();
    case 200:
      return Identification(module, r);
  }
  return Fail(module.unknown_command_status);
}

}  // namespace scripted
