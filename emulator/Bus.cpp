#include "emulator/Bus.h"

#include <algorithm>
#include <sstream>

#include "base/Files.h"

namespace qm90 {

bool Bus::AddModule(std::uint8_t factory_address) {
  if (std::any_of(modules_.begin(), modules_.end(), [factory_address](const Slot& slot) {
        return slot.identity == factory_address;
      })) {
    return false;
  }
  modules_.push_back(Slot{factory_address, Module(factory_address)});
  return true;
}

bool Bus::Handle(const Request& request, std::uint8_t line_baud_index, Answer& answer) {
  Module* module = FindListening(request.address, line_baud_index);
  return module != nullptr && module->Handle(request, answer);
}

Module* Bus::FindListening(std::uint8_t address, std::uint8_t line_baud_index) {
  for (Slot& slot : modules_) {
    Module& module = slot.module;
    if (module.ActiveAddress() == address && module.ActiveBaudIndex() == line_baud_index) {
      return &module;
    }
  }
  return nullptr;
}

Module* Bus::FindIdentity(std::uint8_t identity) {
  for (Slot& slot : modules_) {
    if (slot.identity == identity) return &slot.module;
  }
  return nullptr;
}

Module* Bus::FindActive(std::uint8_t address) {
  for (Slot& slot : modules_) {
    if (slot.module.ActiveAddress() == address) return &slot.module;
  }
  return nullptr;
}

std::string Bus::SaveState() const {
  std::map<unsigned, std::string> lines = foreign_lines_;
  for (const Slot& slot : modules_) lines[slot.identity] = slot.module.SaveEeprom();
  std::string text;
  for (const auto& [identity, eeprom] : lines) {
    text += std::to_string(identity) + ": " + eeprom + "\n";
  }
  return text;
}

namespace {

bool ParseStateLine(const std::string& line, unsigned& identity, std::string& eeprom) {
  const std::size_t colon = line.find(':');
  if (colon == std::string::npos || colon == 0 || colon > 3) return false;
  identity = 0;
  for (std::size_t i = 0; i < colon; ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
    identity = identity * 10 + static_cast<unsigned>(line[i] - '0');
  }
  eeprom = line.substr(colon + 1);
  return identity <= 255;
}

}  // namespace

bool Bus::LoadState(const std::string& text, std::string& error) {
  std::vector<Slot> loaded = modules_;
  std::map<unsigned, std::string> foreign;
  std::istringstream in(text);
  std::string line;
  int line_number = 0;
  while (std::getline(in, line)) {
    ++line_number;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    unsigned identity = 0;
    std::string eeprom;
    const bool parsed = ParseStateLine(line, identity, eeprom);
    Module probe(static_cast<std::uint8_t>(identity));  // registers not named: its factory values
    if (!parsed || !probe.LoadEeprom(eeprom)) {
      error = "malformed line " + std::to_string(line_number);
      return false;
    }
    auto slot = std::find_if(loaded.begin(), loaded.end(),
                             [identity](const Slot& s) { return s.identity == identity; });
    if (slot == loaded.end()) {
      foreign[identity] = probe.SaveEeprom();
    } else {
      slot->module.LoadEeprom(eeprom);
    }
  }
  modules_ = std::move(loaded);
  foreign_lines_ = std::move(foreign);
  for (Slot& slot : modules_) slot.module.PowerUp();
  return true;
}

bool ReadTextFile(const std::string& path, std::string& text, bool& missing, std::string& error) {
  constexpr std::size_t kMaxStateFile = 64 * 1024;
  const base::ReadStatus status = base::ReadRegularFile(path, kMaxStateFile, text);
  missing = status == base::ReadStatus::kMissing;
  switch (status) {
    case base::ReadStatus::kOk:
      return true;
    case base::ReadStatus::kMissing:
      error = "no such file";
      return false;
    case base::ReadStatus::kNotRegular:
      error = "not a regular file";
      return false;
    case base::ReadStatus::kTooLarge:
      error = "file too large";
      return false;
    default:
      error = "cannot be read";
      return false;
  }
}

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error) {
  return base::ReplaceFileAtomically(path, text, base::NewFileAccess::kOwnerOnly, &error);
}

void FaultInjector::Set(int drop_percent, int corrupt_percent, int delay_ms) {
  drop_ = std::clamp(drop_percent, 0, 100);
  corrupt_ = std::clamp(corrupt_percent, 0, 100);
  delay_ = std::clamp(delay_ms, 0, 60000);
}

bool FaultInjector::Roll(int percent) {
  std::uniform_int_distribution<int> hundred(0, 99);
  return hundred(random_) < percent;
}

void FaultInjector::Corrupt(std::vector<std::uint8_t>& bytes, std::size_t first) {
  if (first >= bytes.size()) return;
  std::uniform_int_distribution<std::size_t> position(first, bytes.size() - 1);
  std::uniform_int_distribution<int> mask(1, 255);
  bytes[position(random_)] ^= static_cast<std::uint8_t>(mask(random_));
}

}  // namespace qm90
