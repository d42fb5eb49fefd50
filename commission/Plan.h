// A commissioning plan: one CSV row per module, with what the module is to be
// given and where it answers now; and the journal beside it that records each
// module once it is finished, so that an interrupted run can go on.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qm90commission {

struct PlanRow {
  int line = 0;  // in the plan file, from 1
  std::string tag;
  std::string location;
  std::uint8_t address = 0;  // to give the module
  std::int32_t baud = 9600;
  std::uint8_t din_negation = 0;
  std::uint8_t dout_negation = 0;
  std::uint8_t dout_init = 0;
  std::uint16_t aout_init = 0;
  std::uint8_t now_address = 1;  // where it answers now: the factory setting unless given
  std::int32_t now_baud = 9600;
  bool ChangesLink() const { return address != now_address || baud != now_baud; }
};

struct PlanError {
  int line = 0;
  int column = 0;  // 0: the whole line
  std::string text;
};
std::string PlanErrorText(const PlanError& error);  // "line 3, column 4: ..."

// The column names, as the plan's header row gives them (any order; tag,
// address and baud must be there).
inline constexpr const char* kPlanColumns[] = {
    "tag",           "location",  "address",   "baud",        "din_negation",
    "dout_negation", "dout_init", "aout_init", "now_address", "now_baud"};

// Reads and checks the whole plan: the separator (',' or ';') is the header
// row's; integers follow the program's integer text rule. Every error is
// listed; rows are set only when there is none.
std::vector<PlanError> ParsePlan(const std::string& text, std::vector<PlanRow>& rows);

// What the journal records of a finished module.
struct JournalEntry {
  std::string tag;
  bool ok = false;
  std::string finished;  // time stamp
  std::string module_name;
  std::string message;          // what happened, or why it failed
  std::string checkout;         // "24 passed, 0 failed, 0 skipped", empty without checkout
  std::string checkout_report;  // path of its JSON report
  std::string checkout_sha256;
};

// The journal's file name beside the plan: PLAN + ".journal".
std::string JournalPath(const std::string& plan_path);

// The journal's text: a first line naming the plan's SHA-256, then one line
// per entry (tab-separated; tabs and line breaks in fields become blanks).
std::string JournalHeader(const std::string& plan_sha256);
std::string JournalLine(const JournalEntry& entry);
// Reads a journal; the last entry of a tag wins. False with `error` when the
// text is not a journal or belongs to another plan.
bool ParseJournal(const std::string& text, const std::string& plan_sha256,
                  std::map<std::string, JournalEntry>& entries, std::string& error);

}  // namespace qm90commission
