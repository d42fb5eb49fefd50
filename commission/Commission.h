// Commissioning many modules from a plan: for each row find the module,
// write its configuration with read-back, have it power-cycled where its
// address or rate changes, identify it at its new setting, optionally run the
// checkout, and record the outcome in the journal beside the plan.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "commission/Checkout.h"
#include "commission/Plan.h"
#include "commission/Report.h"

namespace qm90commission {

// What commissioning needs of the line.
class CommissionLine {
 public:
  virtual ~CommissionLine() = default;
  // Opens the line at the rate and identifies the module at the address;
  // true with its name, else false with the reason. Closes what was open.
  virtual bool Connect(std::uint8_t address, std::int32_t baud, std::string& name,
                       std::string& message) = 0;
  virtual void Disconnect() = 0;
  // Writes a register of the connected module, reads it back: 0, the failing
  // status, or a mismatch status with read_back holding what the module holds.
  virtual std::uint8_t WriteRegister(std::uint8_t reg, std::uint8_t value,
                                     std::uint8_t& read_back) = 0;
  // The connected module, for the checkout.
  virtual CheckoutModule& Module() = 0;
  // Power-cycles the module answering at `address` without the technician;
  // false when the line cannot (then the technician is asked).
  virtual bool PowerCycle(std::uint8_t address, std::string& message) = 0;
  virtual std::string Interface() const = 0;
};

struct CommissionOptions {
  bool unattended = false;  // --yes
  bool checkout = false;
  CheckoutOptions checkout_options;
  char separator = ',';
  std::string operator_name;
  std::string witness;
  std::string version;
  std::string plan_path;
  std::string report_base;  // checkout reports become report_base + "-" + tag + "-checkout"
};

enum class ModuleState { kDone, kFailed, kNotDone };
const char* ModuleStateWord(ModuleState state);  // "done", "failed", "not done"

struct ModuleOutcome {
  PlanRow row;
  ModuleState state = ModuleState::kNotDone;
  JournalEntry entry;  // when done or failed
};

struct CommissionRecord {
  std::string plan_path;
  std::string plan_sha256;
  std::string interface;
  std::string started;
  std::string finished;
  std::string operator_name;
  std::string witness;
  std::string version;
  std::vector<ModuleOutcome> modules;
  bool interrupted = false;
};

// Commissions the rows the journal does not hold as done, in plan order;
// `journal` is told of each finished module (and may fail: then the run
// stops). Stops at an interruption or when the technician gives no answer.
void RunCommission(CommissionLine& line, Technician& technician, const CommissionOptions& options,
                   const std::vector<PlanRow>& rows,
                   const std::map<std::string, JournalEntry>& done,
                   const std::function<bool(const JournalEntry&)>& journal,
                   CommissionRecord& record);

// 0 when every module is done, 130 when interrupted, else 1.
int CommissionExitStatus(const CommissionRecord& record);

std::string CommissionCsv(const CommissionRecord& record, char separator);
std::string CommissionHtml(const CommissionRecord& record);
std::string CommissionJson(const CommissionRecord& record, const std::vector<ReportFile>& files);

}  // namespace qm90commission
