// The two register transfers of the settings dialogs: reading a set of
// configuration registers, and writing them each with a read-back check.
// What the dialogs do differently (registers and order, progress numbers,
// pauses, the read-back request, how a mismatch is counted) is data in the
// plan; the pause itself and the showing of texts are the caller's callbacks.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "link/Commands.h"

// Texts of a transfer, with the leading blank every settings dialog shows.
inline constexpr const char* kReadDoneText = " Konfigurace přečtena.";
inline constexpr const char* kWriteDoneText = " Konfigurace zapsána.";
std::string ReadProgressText(int percent);   // " Probíhá čtení konfigurace z modulu (n %)"
std::string WriteProgressText(int percent);  // " Probíhá zápis konfigurace do modulu (n %)"

// When a transfer pauses (the caller's pause: let the window process its
// events, then sleep 1 ms).
enum class TPause {
  kNone,
  kBeforeEachRequestAfterFirst,
  kAfterEachSuccess,  // after each write, and after each register's read (or read-back) is done
};

// How a read-back that differs from the value written is counted.
enum class TMismatch {
  kText,     // shown as " Chyba zápisu dat."; the result's status stays 0
  kStatus9,  // status 9, whose text "Chyba zápisu dat." is shown after " "
};

struct TRegisterStep {
  std::uint8_t reg = 0;
  int percent = 0;         // progress shown once this register is done
  std::uint8_t value = 0;  // what a write puts there
};

struct TTransferPlan {
  TPause pause = TPause::kNone;
  bool readback_echoes_value = false;  // read-back request carries the value in d3, d4
  TMismatch mismatch = TMismatch::kText;
  std::function<void(const std::string&)> show;  // status texts, UTF-8; may be empty
  std::function<void()> pause_now;               // the pause; may be empty
};

enum class TTransferOutcome { kDone, kExchangeFailed, kMismatch };

struct TTransferResult {
  TTransferOutcome outcome = TTransferOutcome::kDone;
  std::uint8_t status = 0;  // failing exchange's status; 9 or 0 for a mismatch (see TMismatch)
  std::uint8_t reg = 0;     // register of the stop
  std::string text;         // last text shown
  bool ok() const { return outcome == TTransferOutcome::kDone; }
};

// Reads the registers in order. Shows the progress from 0 %; after each good
// answer calls store(reg, d3) and shows the step's progress; after the last one
// " Konfigurace přečtena.". Stops at the first failing request with " " and
// its text. Returns what happened.
TTransferResult ReadRegisters(
    const TModuleLink& link, std::span<const TRegisterStep> steps, const TTransferPlan& plan,
    const std::function<void(std::uint8_t reg, std::uint8_t value)>& store);

// Writes the registers in order, each followed by its read-back and compare;
// progress and final text as ReadRegisters. Stops at the first failure;
// registers already written stay written.
TTransferResult WriteRegisters(const TModuleLink& link, std::span<const TRegisterStep> steps,
                               const TTransferPlan& plan);
