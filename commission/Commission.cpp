#include "commission/Commission.h"

#include "base/Baud.h"
#include "base/ModuleCommands.h"

namespace qm90commission {

namespace {

struct RegisterValue {
  std::uint8_t reg;
  std::uint8_t value;
};

// The I/O registers first, the address and the rate last: they apply only at
// the next power-up.
std::vector<RegisterValue> TargetRegisters(const PlanRow& row) {
  return {{qm90cmd::kRegDoutInit, row.dout_init},
          {qm90cmd::kRegDinNegation, row.din_negation},
          {qm90cmd::kRegDoutNegation, row.dout_negation},
          {qm90cmd::kRegAoutLow, static_cast<std::uint8_t>(row.aout_init & 0xFF)},
          {qm90cmd::kRegAoutHigh, static_cast<std::uint8_t>(row.aout_init >> 8)},
          {qm90cmd::kRegBaudIndex, static_cast<std::uint8_t>(base::BaudIndexOf(row.baud))},
          {qm90cmd::kRegAddress, row.address}};
}

std::string Setting(std::uint8_t address, std::int32_t baud) {
  return "address " + std::to_string(address) + ", " + std::to_string(baud) + " Bd";
}

class ModuleRun {
 public:
  ModuleRun(CommissionLine& line, Technician& tech, const CommissionOptions& options,
            const PlanRow& row, JournalEntry& entry)
      : line_(line), tech_(tech), options_(options), row_(row), entry_(entry) {}

  // False when the run as a whole must stop (no answer, interrupted).
  bool Go() {
    entry_.tag = row_.tag;
    const bool ok = Steps();
    line_.Disconnect();
    entry_.ok = ok && !stop_;
    entry_.finished = tech_.Now();
    return !stop_;
  }

 private:
  bool Fail(const std::string& message) {
    entry_.message = message;
    return false;
  }

  bool Steps() {
    tech_.Say(row_.tag + ": connect the module (it answers at " +
              Setting(row_.now_address, row_.now_baud) + ").");
    if (!options_.unattended && !tech_.Confirm("Is " + row_.tag + " connected?")) {
      stop_ = true;
      return Fail(tech_.Interrupted() ? "interrupted" : "stopped before this module");
    }
    bool at_target = false;
    if (!Find(at_target)) return false;
    if (!WriteConfiguration()) return false;
    if (row_.ChangesLink() && !at_target && !PowerCycleAndIdentify()) return false;
    if (options_.checkout && !Checkout()) return false;
    entry_.message = "configured" + std::string(row_.ChangesLink() ? ", power-cycled" : "") +
                     ", answers at " + Setting(row_.address, row_.baud);
    return true;
  }

  bool Find(bool& at_target) {
    std::string message;
    if (line_.Connect(row_.now_address, row_.now_baud, entry_.module_name, message)) return true;
    std::string second;
    if (row_.ChangesLink() && line_.Connect(row_.address, row_.baud, entry_.module_name, second)) {
      at_target = true;
      return true;
    }
    return Fail("not found at " + Setting(row_.now_address, row_.now_baud) +
                (row_.ChangesLink() ? " nor at " + Setting(row_.address, row_.baud) : "") + ": " +
                message);
  }

  bool WriteConfiguration() {
    for (const RegisterValue& target : TargetRegisters(row_)) {
      if (tech_.Interrupted()) {
        stop_ = true;
        return Fail("interrupted while writing the configuration");
      }
      std::uint8_t held = 0;
      const std::uint8_t status = line_.WriteRegister(target.reg, target.value, held);
      if (status != 0)
        return Fail("writing register " + std::to_string(target.reg) + " failed (status " +
                    std::to_string(status) + ", read back " + std::to_string(held) + ")");
    }
    return true;
  }

  bool PowerCycleAndIdentify() {
    line_.Disconnect();
    std::string message;
    if (!line_.PowerCycle(row_.now_address, message)) {
      if (options_.unattended)
        return Fail(
            "the new address or rate needs a power-cycle, which nobody can make in an "
            "unattended run");
      if (!tech_.Confirm("Switch " + row_.tag + " off and on again. Done?")) {
        stop_ = true;
        return Fail(tech_.Interrupted() ? "interrupted" : "stopped before the power-cycle");
      }
    }
    if (!line_.Connect(row_.address, row_.baud, entry_.module_name, message))
      return Fail("does not answer at its new setting " + Setting(row_.address, row_.baud) + ": " +
                  message);
    return true;
  }

  bool Checkout() {
    CheckoutRecord record;
    record.header.operator_name = options_.operator_name;
    record.header.witness = options_.witness;
    record.header.tag = row_.tag;
    record.header.location = row_.location;
    record.header.module_name = entry_.module_name;
    record.header.interface = line_.Interface();
    record.header.address = row_.address;
    record.header.baud = row_.baud;
    record.header.version = options_.version;
    record.header.mode = options_.checkout_options.loopback ? "loopback" : "manual";
    RunCheckout(line_.Module(), tech_, options_.checkout_options, record);
    const Summary summary = Summarize(record);
    entry_.checkout = std::to_string(summary.passed) + " passed, " +
                      std::to_string(summary.failed) + " failed, " +
                      std::to_string(summary.skipped) + " skipped";
    std::string error;
    const auto files = WriteReportFiles(
        options_.report_base + "-" + row_.tag + "-checkout", CheckoutHtml(record),
        CheckoutCsv(record, options_.separator),
        [&record](const std::vector<ReportFile>& written) { return CheckoutJson(record, written); },
        error);
    if (files.empty()) return Fail("checkout report: " + error);
    entry_.checkout_report = files.back().path;
    entry_.checkout_sha256 = files.back().sha256;
    if (record.ending == Ending::kInterrupted) stop_ = true;
    if (CheckoutExitStatus(record) != 0)
      return Fail("checkout " + std::string(EndingWord(record.ending)) + ": " + entry_.checkout);
    return true;
  }

  CommissionLine& line_;
  Technician& tech_;
  const CommissionOptions& options_;
  const PlanRow& row_;
  JournalEntry& entry_;
  bool stop_ = false;
};

std::string StateOf(const ModuleOutcome& m) {
  return ModuleStateWord(m.state);
}

std::vector<std::string> ModuleColumns() {
  return {"tag",     "location", "address",         "baud",           "state", "module", "finished",
          "message", "checkout", "checkout_report", "checkout_sha256"};
}

std::vector<std::string> ModuleFields(const ModuleOutcome& m) {
  return {m.row.tag,
          m.row.location,
          std::to_string(m.row.address),
          std::to_string(m.row.baud),
          StateOf(m),
          m.entry.module_name,
          m.entry.finished,
          m.entry.message,
          m.entry.checkout,
          m.entry.checkout_report,
          m.entry.checkout_sha256};
}

}  // namespace

const char* ModuleStateWord(ModuleState state) {
  switch (state) {
    case ModuleState::kDone:
      return "done";
    case ModuleState::kFailed:
      return "failed";
    case ModuleState::kNotDone:
      break;
  }
  return "not done";
}

void RunCommission(CommissionLine& line, Technician& technician, const CommissionOptions& options,
                   const std::vector<PlanRow>& rows,
                   const std::map<std::string, JournalEntry>& done,
                   const std::function<bool(const JournalEntry&)>& journal,
                   CommissionRecord& record) {
  record.started = technician.Now();
  record.interface = line.Interface();
  bool stopped = false;
  for (const PlanRow& row : rows) {
    ModuleOutcome outcome{row, ModuleState::kNotDone, {}};
    const auto before = done.find(row.tag);
    if (before != done.end()) {
      outcome.entry = before->second;
      outcome.state = before->second.ok ? ModuleState::kDone : ModuleState::kFailed;
    }
    if (!stopped && outcome.state != ModuleState::kDone) {
      if (technician.Interrupted()) {
        stopped = true;
      } else {
        JournalEntry entry;
        stopped = !ModuleRun(line, technician, options, row, entry).Go();
        if (!stopped || entry.ok) {
          outcome.entry = entry;
          outcome.state = entry.ok ? ModuleState::kDone : ModuleState::kFailed;
          if (!journal(entry)) stopped = true;
        }
        technician.Say(row.tag + ": " + ModuleStateWord(outcome.state) + " (" + entry.message +
                       ")");
      }
    }
    record.modules.push_back(outcome);
  }
  record.interrupted = technician.Interrupted();
  record.finished = technician.Now();
}

int CommissionExitStatus(const CommissionRecord& record) {
  if (record.interrupted) return 130;
  for (const ModuleOutcome& m : record.modules)
    if (m.state != ModuleState::kDone) return 1;
  return 0;
}

std::string CommissionCsv(const CommissionRecord& record, char separator) {
  std::string csv = CsvLine(ModuleColumns(), separator);
  for (const ModuleOutcome& m : record.modules) csv += CsvLine(ModuleFields(m), separator);
  return csv;
}

std::string CommissionHtml(const CommissionRecord& record) {
  const std::string title = "Commissioning " + record.plan_path;
  std::string html = HtmlPageStart(title) + "<h1>" + HtmlEscape(title) + "</h1>\n";
  if (record.interrupted) html += "<div class=\"banner\">Run interrupted</div>\n";
  html += "<table class=\"header\">\n";
  const std::pair<const char*, std::string> header[] = {
      {"Started", record.started},          {"Finished", record.finished},
      {"Operator", record.operator_name},   {"Witness", record.witness},
      {"Interface", record.interface},      {"Plan", record.plan_path},
      {"Plan SHA-256", record.plan_sha256}, {"Program", "qm90 " + record.version}};
  for (const auto& [name, value] : header)
    html += "<tr><th>" + HtmlEscape(name) + "</th><td>" + HtmlEscape(value) + "</td></tr>\n";
  html +=
      "</table>\n<table>\n<tr><th>Tag</th><th>Location</th><th>Address</th><th>Rate</th>"
      "<th>State</th><th>Module</th><th>Finished</th><th>Outcome</th><th>Checkout</th></tr>\n";
  int done = 0;
  for (const ModuleOutcome& m : record.modules) {
    const std::string state = StateOf(m);
    const char* css = m.state == ModuleState::kDone     ? "pass"
                      : m.state == ModuleState::kFailed ? "fail"
                                                        : "skip";
    if (m.state == ModuleState::kDone) ++done;
    html += "<tr><td>" + HtmlEscape(m.row.tag) + "</td><td>" + HtmlEscape(m.row.location) +
            "</td><td>" + std::to_string(m.row.address) + "</td><td>" + std::to_string(m.row.baud) +
            "</td><td class=\"" + css + "\">" + state + "</td><td>" +
            HtmlEscape(m.entry.module_name) + "</td><td>" + HtmlEscape(m.entry.finished) +
            "</td><td>" + HtmlEscape(m.entry.message) + "</td><td>" + HtmlEscape(m.entry.checkout) +
            (m.entry.checkout_report.empty() ? "" : "<br>" + HtmlEscape(m.entry.checkout_report)) +
            "</td></tr>\n";
  }
  html += "</table>\n<p><b>Summary:</b> " + std::to_string(done) + " of " +
          std::to_string(record.modules.size()) + " modules done.</p>\n";
  return html + HtmlSignatureBlock() + HtmlPageEnd();
}

std::string CommissionJson(const CommissionRecord& record, const std::vector<ReportFile>& files) {
  std::string modules;
  const std::vector<std::string> columns = ModuleColumns();
  for (const ModuleOutcome& m : record.modules) {
    const std::vector<std::string> fields = ModuleFields(m);
    std::string object;
    for (std::size_t i = 0; i < columns.size(); ++i)
      object +=
          std::string(i ? "," : "") + JsonQuote(columns[i]) + ":" +
          (columns[i] == "address" || columns[i] == "baud" ? fields[i] : JsonQuote(fields[i]));
    modules += std::string(modules.empty() ? "" : ",") + "{" + object + "}";
  }
  std::string report_files;
  for (const ReportFile& file : files)
    report_files += std::string(report_files.empty() ? "" : ",") +
                    "{\"path\":" + JsonQuote(file.path) + ",\"sha256\":" + JsonQuote(file.sha256) +
                    "}";
  return "{\"plan\":" + JsonQuote(record.plan_path) +
         ",\"plan_sha256\":" + JsonQuote(record.plan_sha256) +
         ",\"interface\":" + JsonQuote(record.interface) +
         ",\"started\":" + JsonQuote(record.started) +
         ",\"finished\":" + JsonQuote(record.finished) +
         ",\"operator\":" + JsonQuote(record.operator_name) +
         ",\"witness\":" + JsonQuote(record.witness) + ",\"version\":" + JsonQuote(record.version) +
         ",\"interrupted\":" + (record.interrupted ? "true" : "false") + ",\"modules\":[" +
         modules + "],\"exit\":" + std::to_string(CommissionExitStatus(record)) +
         ",\"report_files\":[" + report_files + "]}\n";
}

}  // namespace qm90commission
