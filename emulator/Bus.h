// Several emulated modules sharing one line, their EEPROM state file and the
// fault injection of the simulator. No transport here either.
#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "emulator/Module.h"
#include "protocol/Frame.h"

namespace qm90 {

class Bus {
 public:
  // A module is known by its factory address (its identity in the state
  // file); its active address may change at a later power-up. False when a
  // module with that identity is already on the bus.
  bool AddModule(std::uint8_t factory_address);

  // The module whose active address is the request's and whose active baud
  // index is the line's answers; false when none does.
  bool Handle(const Request& request, std::uint8_t line_baud_index, Answer& answer);

  // The module that hears a request to this address at this baud index, or nullptr.
  Module* FindListening(std::uint8_t address, std::uint8_t line_baud_index);
  // The module answering at this address now, or nullptr.
  Module* FindActive(std::uint8_t address);
  // The module of this factory address (its identity), or nullptr.
  Module* FindIdentity(std::uint8_t identity);
  std::size_t Size() const { return modules_.size(); }
  Module& At(std::size_t index) { return modules_[index].module; }
  const Module& At(std::size_t index) const { return modules_[index].module; }
  std::uint8_t IdentityAt(std::size_t index) const { return modules_[index].identity; }

  // State file text: one line "IDENTITY: 32=.. 33=.. ..." per module. Lines of
  // modules not on this bus are kept as they were, so that nothing is lost.
  std::string SaveState() const;
  // Loads the EEPROM of every module named and powers all modules up; on
  // malformed text returns false with a reason and changes nothing.
  bool LoadState(const std::string& text, std::string& error);

 private:
  struct Slot {
    std::uint8_t identity;
    Module module;
  };
  std::vector<Slot> modules_;
  std::map<unsigned, std::string> foreign_lines_;
};

// Whole-file helpers for the state file. ReadTextFile sets missing when the
// file does not exist (not an error: factory state); anything that is not a
// regular file is refused without being opened in a way that could block.
bool ReadTextFile(const std::string& path, std::string& text, bool& missing, std::string& error);
// Writes to a temporary file of its own beside path (created exclusively,
// never through a link), then renames it over path; false with a reason when
// the file could not be stored (the old one then stands).
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error);

// Seeded fault decisions, so that a run with the same seed repeats.
class FaultInjector {
 public:
  explicit FaultInjector(std::uint32_t seed = 1) : random_(seed) {}
  // Percentages are clamped to 0..100, the delay to 0..60000 ms.
  void Set(int drop_percent, int corrupt_percent, int delay_ms);
  int DropPercent() const { return drop_; }
  int CorruptPercent() const { return corrupt_; }
  int DelayMs() const { return delay_; }

  bool ShouldDrop() { return Roll(drop_); }
  bool ShouldCorrupt() { return Roll(corrupt_); }
  // Flips bits of one byte in bytes[first, bytes.size()), never to the same value.
  void Corrupt(std::vector<std::uint8_t>& bytes, std::size_t first);

 private:
  bool Roll(int percent);
  std::mt19937 random_;
  int drop_ = 0;
  int corrupt_ = 0;
  int delay_ = 0;
};

}  // namespace qm90
