// Register transfers, the one way every front end reads configuration
// registers and writes them with a read-back check. How each register is
// transferred (the read-back request, the pause) is the table below; what a
// front end chooses (the registers and their order, progress numbers, where it
// pauses, how a mismatch is counted) is the plan. link/ reports what happened;
// the texts a front end shows for it are its own.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "base/ModuleCommands.h"
#include "link/Commands.h"

// How one configuration register is transferred.
struct TRegisterPolicy {
  std::uint8_t reg = 0;
  bool echo_read_back = false;  // the read-back request repeats the value in d3 and d4
  bool pause = true;            // the front end pauses between this register's requests
};

inline constexpr std::array<TRegisterPolicy, 7> kRegisterPolicies{{
    {qm90cmd::kRegDoutInit, false, true},
    {qm90cmd::kRegDinNegation, false, true},
    {qm90cmd::kRegDoutNegation, false, true},
    {qm90cmd::kRegAoutLow, true, false},
    {qm90cmd::kRegAoutHigh, true, false},
    {qm90cmd::kRegAddress, false, true},
    {qm90cmd::kRegBaudIndex, false, true},
}};

// The register's row; a register without one is written plainly, with pauses.
TRegisterPolicy RegisterPolicy(std::uint8_t reg);

// Where a transfer pauses (the caller's pause, e.g. let the window process its
// events, then sleep 1 ms), for the registers whose policy pauses. A writing
// transfer that pauses at all also pauses between a write and its read-back.
enum class TPause {
  kNone,
  kBeforeEachRequestAfterFirst,
  kAfterEachSuccess,  // after each write, and after each register's read (or read-back) is done
};

// How a read-back that differs from the value written is counted.
enum class TMismatch {
  kText,     // the result's status stays 0
  kStatus9,  // status 9 (kStatusReadBackMismatch)
};

enum class TTransferDirection { kRead, kWrite };

struct TRegisterStep {
  std::uint8_t reg = 0;
  int percent = 0;         // progress reported once this register is done
  std::uint8_t value = 0;  // what a write puts there
};

enum class TTransferOutcome { kDone, kExchangeFailed, kMismatch };

struct TTransferResult {
  TTransferOutcome outcome = TTransferOutcome::kDone;
  std::uint8_t status = 0;  // failing exchange's status; 9 or 0 for a mismatch (see TMismatch)
  std::uint8_t reg = 0;     // register of the stop
  std::uint8_t held = 0;    // a mismatch: what the module holds instead
  bool ok() const { return outcome == TTransferOutcome::kDone; }
};

struct TTransferPlan {
  TPause pause = TPause::kNone;
  TMismatch mismatch = TMismatch::kText;
  // Progress: 0 at the start, then each step's percent; may be empty.
  std::function<void(TTransferDirection, int percent)> progress;
  // Called once with the result before the transfer returns; may be empty.
  std::function<void(TTransferDirection, const TTransferResult&)> finished;
  std::function<void()> pause_now;  // the pause; may be empty
};

// Reads the registers in order; after each good answer calls store(reg, d3).
// Stops at the first failing request.
TTransferResult ReadRegisters(
    const TModuleLink& link, std::span<const TRegisterStep> steps, const TTransferPlan& plan,
    const std::function<void(std::uint8_t reg, std::uint8_t value)>& store);

// Writes the registers in order, each followed by its read-back and compare.
// Stops at the first failure; registers already written stay written.
TTransferResult WriteRegisters(const TModuleLink& link, std::span<const TRegisterStep> steps,
                               const TTransferPlan& plan);
