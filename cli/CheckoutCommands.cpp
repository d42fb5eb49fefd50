#include "cli/CheckoutCommands.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <ostream>
#include <sstream>
#include <thread>

#include "base/Files.h"
#include "cli/Console.h"
#include "cli/LineCommands.h"
#include "cli/ModuleAccess.h"
#include "cli/Trace.h"
#include "commission/Checkout.h"
#include "commission/Commission.h"
#include "commission/Plan.h"
#include "commission/Report.h"
#include "commission/Sha256.h"
#include "commission/Version.h"

namespace qm90cli {

namespace {

using namespace qm90commission;

constexpr std::size_t kMaxSideFile = 1 << 20;  // a plan or a wiring file

struct CheckoutCli {
  bool yes = false;
  std::string operator_name, witness, tag, location;
  std::string loopback_map;  // file; empty: DOUTk to DINk
  bool loopback = false;
  int settle_ms = 100;
  int input_timeout_s = 10;
  std::string aout_points;     // "0,50%,100%"
  std::string aout_tolerance;  // "1%" of the range, or a value in its unit
  std::string aout_range;      // "LOW:HIGH[:UNIT]"
  bool skip_aout = false;
  std::string report;  // base path of the three files
  std::string separator = ",";
  // commission only
  std::string plan;
  bool checkout = false;
  std::string power_cycle_command;
};

int Fail(Context& ctx, int exit_code, const std::string& message) {
  ctx.err << "qm90: " << message << "\n";
  return exit_code;
}

std::string NowText() {
  return IsoTimestamp(std::chrono::system_clock::now());
}

// "20261210-051203" for file names.
std::string FileStamp() {
  std::string stamp = NowText().substr(0, 19);
  std::string compact;
  for (const char c : stamp)
    if (c != '-' && c != ':') compact += c == 'T' ? '-' : c;
  return compact;
}

bool ParseNumber(const std::string& text, double& value) {
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  double parsed = 0;
  if (!(in >> parsed) || !in.eof()) return false;
  value = parsed;
  return true;
}

// The checkout's options from the command line; an empty text or the usage error.
std::string CheckoutSettings(const CheckoutCli& cli, CheckoutOptions& options) {
  options.loopback = cli.loopback;
  options.settle_ms = cli.settle_ms;
  options.input_timeout_ms = cli.input_timeout_s * 1000;
  if (cli.settle_ms < 0 || cli.settle_ms > 60000) return "--settle: 0..60000 ms";
  if (cli.input_timeout_s < 1 || cli.input_timeout_s > 3600) return "--input-timeout: 1..3600 s";
  if (!cli.loopback_map.empty()) {
    std::string text;
    if (base::ReadRegularFile(cli.loopback_map, kMaxSideFile, text) != base::ReadStatus::kOk)
      return "cannot read the wiring file " + cli.loopback_map;
    const std::string problem = ParseLoopbackMap(text, options.map);
    if (!problem.empty()) return cli.loopback_map + ", " + problem;
  }
  if (!cli.aout_range.empty()) {
    std::istringstream parts(cli.aout_range);
    std::string low, high;
    std::getline(parts, low, ':');
    std::getline(parts, high, ':');
    std::getline(parts, options.scale.unit);
    if (!ParseNumber(low, options.scale.low) || !ParseNumber(high, options.scale.high) ||
        options.scale.low == options.scale.high)
      return "--aout-range: LOW:HIGH or LOW:HIGH:UNIT, e.g. 4:20:mA";
  }
  const double span = std::abs(options.scale.high - options.scale.low);
  options.aout_tolerance = span / 100;
  if (!cli.aout_tolerance.empty()) {
    std::string text = cli.aout_tolerance;
    const bool percent = text.back() == '%';
    if (percent) text.pop_back();
    double value = 0;
    if (!ParseNumber(text, value) || value < 0)
      return "--aout-tolerance: a value in the range's unit, or a percentage of the range (1%)";
    options.aout_tolerance = percent ? span * value / 100 : value;
  }
  if (!cli.aout_points.empty()) {
    options.aout_points.clear();
    std::istringstream parts(cli.aout_points);
    for (std::string point; std::getline(parts, point, ',');) {
      const bool percent = !point.empty() && point.back() == '%';
      if (percent) point.pop_back();
      double value = 0;
      const double full = percent ? 100 : 65535;
      if (!ParseNumber(point, value) || value < 0 || value > full)
        return "--aout-points: raw values 0..65535 or percentages (0,50%,100%)";
      options.aout_points.push_back(
          static_cast<std::uint16_t>(percent ? value * 65535 / 100 + 0.5 : value + 0.5));
    }
    if (options.aout_points.empty()) return "--aout-points: no point given";
  }
  // Nobody can measure the analog output in an unattended loopback run unless asked to.
  options.test_aout = !cli.skip_aout && (!cli.aout_points.empty() || !(cli.yes && cli.loopback));
  if (cli.separator.size() != 1 || cli.separator == "\"" || cli.separator == "\n")
    return "--csv-separator: one character, e.g. ';'";
  return {};
}

class AccessModule : public CheckoutModule {
 public:
  AccessModule(Context& ctx, ModuleAccess& access) : ctx_(ctx), access_(access) {}
  std::uint8_t WriteOutputs(std::uint8_t outputs) override { return access_.WriteOutputs(outputs); }
  std::uint8_t WriteAout(std::uint16_t value) override { return access_.WriteAout(value); }
  std::uint8_t ReadInputs(std::uint8_t& inputs) override { return access_.ReadInputs(inputs); }
  std::uint8_t ReadStatus(std::uint32_t& status) override { return access_.ReadStatus(status); }
  std::uint8_t ReadRegister(std::uint8_t reg, std::uint8_t& value) override {
    return access_.ReadRegister(reg, value);
  }
  std::string Text(std::uint8_t status) const override { return access_.Text(status); }
  bool LinkLost() const override { return access_.LinkLost(); }
  // The watches' wait for a serial port that has gone.
  LinkState Reconnect(bool wait) override {
    switch (RecoverSerialPort(ctx_, access_, wait)) {
      case PortState::kBack:
        return LinkState::kBack;
      case PortState::kGone:
        return LinkState::kGone;
      case PortState::kThere:
        break;
    }
    return LinkState::kThere;
  }

 private:
  Context& ctx_;
  ModuleAccess& access_;
};

// The technician at the console: questions on stdout, answers from stdin.
class ConsoleTechnician : public Technician {
 public:
  ConsoleTechnician(std::ostream& out, std::istream& in) : out_(out), in_(in) {}

  void Say(const std::string& text) override { out_ << text << "\n" << std::flush; }

  bool Confirm(const std::string& question) override {
    for (;;) {
      std::string line;
      if (!Line(question + " [y/n] ", line)) return false;
      if (line == "y" || line == "yes") return true;
      if (line == "n" || line == "no") return false;
    }
  }

  Reply Ask(const std::string& question) override { return Question(question, false); }
  Reply AskValue(const std::string& question) override { return Question(question, true); }

  void Sleep(int milliseconds) override {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!console::Interrupted() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(milliseconds, 20)));
  }
  std::int64_t MonotonicMs() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  bool Interrupted() override { return console::Interrupted(); }
  std::string Now() override { return NowText(); }

 private:
  bool Line(const std::string& prompt, std::string& line) {
    out_ << prompt << std::flush;
    if (console::Interrupted() || !std::getline(in_, line)) {
      out_ << "\n";
      return false;
    }
    const auto first = line.find_first_not_of(" \t\r");
    line = first == std::string::npos ? "" : line.substr(first);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return true;
  }

  Reply Question(const std::string& question, bool value) {
    Reply reply;
    const std::string choices = value
                                    ? " [value, p(ass), f(ail), r(etry), s(kip), c TEXT (comment)] "
                                    : " [p(ass), f(ail), r(etry), s(kip), c TEXT (comment)] ";
    for (;;) {
      std::string line;
      if (!Line(question + choices, line)) {
        reply.kind = Reply::Kind::kAbort;
        return reply;
      }
      double measured = 0;
      if (value && ParseNumber(line, measured)) {
        reply.kind = Reply::Kind::kPass;
        reply.value = measured;
        return reply;
      }
      if (line.rfind("c ", 0) == 0) {
        reply.comment = line.substr(2);
        continue;
      }
      struct Word {
        const char* shortly;
        const char* fully;
        Reply::Kind kind;
      };
      static constexpr Word kWords[] = {{"p", "pass", Reply::Kind::kPass},
                                        {"f", "fail", Reply::Kind::kFail},
                                        {"r", "retry", Reply::Kind::kRetry},
                                        {"s", "skip", Reply::Kind::kSkip}};
      for (const Word& word : kWords)
        if (line == word.shortly || line == word.fully) {
          reply.kind = word.kind;
          return reply;
        }
    }
  }

  std::ostream& out_;
  std::istream& in_;
};

// Opens the link of the options; the exit status on failure.
int Open(Context& ctx, ModuleAccess& access, LinkParams& params) {
  const std::string problem = ResolveLink(ctx.connection, params);
  if (!problem.empty()) return Fail(ctx, kExitUsage, problem);
  if (ctx.trace)
    access.SetTrace([&ctx](const ExchangeRecord& record) { ctx.err << TraceLine(record) << "\n"; });
  std::string message;
  if (access.Open(params, message) != 0)
    return Fail(ctx, kExitNoLink,
                "cannot open the link (" + InterfaceDescription(params) + ", address " +
                    std::to_string(params.address) + "): " + message);
  return kExitOk;
}

void PrintFiles(Context& ctx, const std::vector<ReportFile>& files) {
  for (const ReportFile& file : files)
    ctx.out << "  " << file.path << "  SHA-256 " << file.sha256 << "\n";
}

int RunCheckoutCommand(Context& ctx, const CheckoutCli& cli) {
  CheckoutOptions options;
  const std::string problem = CheckoutSettings(cli, options);
  if (!problem.empty()) return Fail(ctx, kExitUsage, problem);
  ModuleAccess access;
  LinkParams params;
  if (const int status = Open(ctx, access, params); status != kExitOk) return status;
  CheckoutRecord record;
  CheckoutHeader& h = record.header;
  h.operator_name = cli.operator_name;
  h.witness = cli.witness;
  h.tag = cli.tag;
  h.location = cli.location;
  h.module_name = access.ModuleName();
  h.interface = InterfaceDescription(params);
  h.address = params.address;
  h.baud = params.baud;
  h.version = ProgramVersion();
  h.mode = cli.loopback ? "loopback (settle " + std::to_string(cli.settle_ms) + " ms" +
                              (cli.loopback_map.empty() ? "" : ", wiring " + cli.loopback_map) + ")"
                        : "manual";
  ConsoleTechnician technician(ctx.out, std::cin);
  ctx.out << "Module " << h.module_name << " at " << h.interface << ", address " << h.address
          << ", " << h.baud << " Bd.\n"
          << CheckoutPreview(options) << "\n";
  if (!cli.yes && !technician.Confirm("Start the checkout?"))
    return Fail(ctx, kExitFailure, "checkout not started; nothing was moved");
  const std::string base =
      cli.report.empty()
          ? "checkout-" + (cli.tag.empty() ? std::string() : cli.tag + "-") + FileStamp()
          : cli.report;
  AccessModule module(ctx, access);
  RunCheckout(module, technician, options, record);
  const Summary summary = Summarize(record);
  ctx.out << "Summary: " << summary.passed << " passed, " << summary.failed << " failed, "
          << summary.skipped << " skipped; run " << EndingWord(record.ending)
          << (record.ending_text.empty() ? "" : ": " + record.ending_text) << ".\n"
          << "Outputs and analog output " << record.restore_text << ".\n";
  for (const std::string& note : record.link_breaks)
    ctx.out << "Link interrupted: " << note << ".\n";
  std::string error;
  const auto files = WriteReportFiles(
      base, CheckoutHtml(record), CheckoutCsv(record, cli.separator[0]),
      [&record](const std::vector<ReportFile>& written) { return CheckoutJson(record, written); },
      error);
  if (files.empty()) return Fail(ctx, kExitFailure, "the report was not written: " + error);
  ctx.out << "Report:\n";
  PrintFiles(ctx, files);
  return CheckoutExitStatus(record);
}

// The line of a commissioning run: the resolved link, opened anew for each
// address and rate.
class AccessLine : public CommissionLine {
 public:
  AccessLine(Context& ctx, const LinkParams& params, std::string power_cycle_command)
      : ctx_(ctx),
        params_(params),
        command_(std::move(power_cycle_command)),
        module_(ctx, access_) {
    if (ctx_.trace)
      access_.SetTrace(
          [this](const ExchangeRecord& record) { ctx_.err << TraceLine(record) << "\n"; });
  }

  bool Connect(std::uint8_t address, std::int32_t baud, std::string& name,
               std::string& message) override {
    access_.Close();
    LinkParams params = params_;
    params.address = address;
    params.baud = baud;
    if (access_.Open(params, message) != 0) return false;
    name = access_.ModuleName();
    return true;
  }
  void Disconnect() override { access_.Close(); }
  std::uint8_t WriteRegister(std::uint8_t reg, std::uint8_t value,
                             std::uint8_t& read_back) override {
    return access_.WriteRegister(reg, value, read_back);
  }
  CheckoutModule& Module() override { return module_; }
  bool PowerCycle(std::uint8_t address, std::string& message) override {
    if (command_.empty()) return false;
    std::string command = command_;
    for (std::size_t at; (at = command.find("{address}")) != std::string::npos;)
      command.replace(at, 9, std::to_string(address));
    const int status = std::system(command.c_str());
    if (status != 0) message = "the power-cycle command failed (" + std::to_string(status) + ")";
    return status == 0;
  }
  std::string Interface() const override { return InterfaceDescription(params_); }

 private:
  Context& ctx_;
  LinkParams params_;
  std::string command_;
  ModuleAccess access_;
  AccessModule module_;
};

std::string StemOf(const std::string& path) {
  const auto dot = path.rfind('.');
  const auto slash = path.find_last_of("/\\");
  return dot != std::string::npos && (slash == std::string::npos || dot > slash)
             ? path.substr(0, dot)
             : path;
}

int RunCommissionCommand(Context& ctx, const CheckoutCli& cli) {
  CommissionOptions options;
  if (const std::string problem = CheckoutSettings(cli, options.checkout_options); !problem.empty())
    return Fail(ctx, kExitUsage, problem);
  std::string plan_text;
  if (base::ReadRegularFile(cli.plan, kMaxSideFile, plan_text) != base::ReadStatus::kOk)
    return Fail(ctx, kExitUsage, "cannot read the plan " + cli.plan);
  std::vector<PlanRow> rows;
  const std::vector<PlanError> errors = ParsePlan(plan_text, rows);
  if (!errors.empty()) {
    for (const PlanError& error : errors)
      ctx.err << cli.plan << ", " << PlanErrorText(error) << "\n";
    return Fail(ctx, kExitUsage,
                "the plan has " + std::to_string(errors.size()) +
                    " error(s); nothing was sent to any module");
  }
  const std::string plan_sha = Sha256Hex(plan_text);
  const std::string journal_path = JournalPath(cli.plan);
  std::string journal_text;
  std::map<std::string, JournalEntry> done;
  const base::ReadStatus journal_status =
      base::ReadRegularFile(journal_path, kMaxSideFile, journal_text);
  if (journal_status == base::ReadStatus::kOk) {
    std::string error;
    if (!ParseJournal(journal_text, plan_sha, done, error))
      return Fail(
          ctx, kExitUsage,
          journal_path + ": " + error + "; it is left as it is (move it away to begin anew)");
    ctx.out << "Going on from " << journal_path << " (" << done.size() << " module(s) recorded).\n";
  } else if (journal_status != base::ReadStatus::kMissing) {
    return Fail(ctx, kExitUsage, "cannot read the journal " + journal_path);
  } else {
    journal_text = JournalHeader(plan_sha);
  }
  LinkParams params;
  if (const std::string problem = ResolveLink(ctx.connection, params); !problem.empty())
    return Fail(ctx, kExitUsage, problem);
  options.unattended = cli.yes;
  options.checkout = cli.checkout;
  options.separator = cli.separator[0];
  options.operator_name = cli.operator_name;
  options.witness = cli.witness;
  options.version = ProgramVersion();
  options.plan_path = cli.plan;
  const std::string stamp = FileStamp();
  options.report_base = cli.report.empty() ? StemOf(cli.plan) + "-" + stamp : cli.report;
  AccessLine line(ctx, params, cli.power_cycle_command);
  ConsoleTechnician technician(ctx.out, std::cin);
  CommissionRecord record;
  record.plan_path = cli.plan;
  record.plan_sha256 = plan_sha;
  record.operator_name = cli.operator_name;
  record.witness = cli.witness;
  record.version = options.version;
  std::string journal_error;
  const auto journal = [&](const JournalEntry& entry) {
    const std::string next = journal_text + JournalLine(entry);
    if (!base::ReplaceFileAtomically(journal_path, next, base::NewFileAccess::kShared,
                                     &journal_error))
      return false;
    journal_text = next;
    return true;
  };
  RunCommission(line, technician, options, rows, done, journal, record);
  if (!journal_error.empty())
    ctx.err << "qm90: cannot write the journal " << journal_path << ": " << journal_error << "\n";
  std::string error;
  const auto files = WriteReportFiles(
      options.report_base + "-report", CommissionHtml(record),
      CommissionCsv(record, options.separator),
      [&record](const std::vector<ReportFile>& written) { return CommissionJson(record, written); },
      error);
  int done_count = 0;
  for (const ModuleOutcome& m : record.modules) done_count += m.state == ModuleState::kDone;
  ctx.out << done_count << " of " << record.modules.size() << " module(s) done"
          << (record.interrupted ? "; interrupted, run again to go on" : "") << ".\n";
  if (files.empty()) return Fail(ctx, kExitFailure, "the report was not written: " + error);
  ctx.out << "Report:\n";
  PrintFiles(ctx, files);
  return journal_error.empty() ? CommissionExitStatus(record) : kExitFailure;
}

// Returns the --loopback option, whose presence the command's callback reads.
CLI::Option* AddCheckoutOptions(CLI::App& sub, CheckoutCli& o, bool commission) {
  sub.add_flag("--yes", o.yes,
               commission ? "Go on without asking to connect each module (unattended)"
                          : "Start without asking for confirmation");
  sub.add_option("--operator", o.operator_name, "Who tests (in the report)")->type_name("NAME");
  sub.add_option("--witness", o.witness, "Who witnesses (in the report)")->type_name("NAME");
  if (!commission) {
    sub.add_option("--tag", o.tag, "The module's name in the plant")->type_name("TAG");
    sub.add_option("--location", o.location, "Where the module is")->type_name("TEXT");
  }
  CLI::Option* loopback =
      sub.add_option("--loopback", o.loopback_map,
                     "DOUTk is wired to DINk: judge the outputs on the inputs; another wiring in "
                     "FILE (lines \"DOUT0 DIN3\", \"DOUT5 -\" for none)")
          ->expected(0, 1)
          ->type_name("[FILE]");
  sub.add_option("--settle", o.settle_ms, "Wait before reading a loopback input (default 100)")
      ->type_name("MS");
  sub.add_option("--input-timeout", o.input_timeout_s,
                 "How long each input is watched for a change (default 10)")
      ->type_name("S");
  sub.add_option("--aout-points", o.aout_points,
                 "Analog test points, raw 0..65535 or percentages (default 0,50%,100%)")
      ->type_name("LIST");
  sub.add_option("--aout-range", o.aout_range,
                 "What the meter shows at raw 0 and 65535, e.g. 0:10:V (default 0:65535)")
      ->type_name("LOW:HIGH[:UNIT]");
  sub.add_option("--aout-tolerance", o.aout_tolerance,
                 "Allowed deviation of a measured value, in the range's unit or as a percentage "
                 "of the range (default 1%)")
      ->type_name("VALUE");
  sub.add_flag("--skip-aout", o.skip_aout, "Leave the analog output out");
  sub.add_option("--report", o.report,
                 "Base path of the report files (.html, .csv, .json; default from the tag or the "
                 "plan and the time)")
      ->type_name("PATH");
  sub.add_option("--csv-separator", o.separator, "Field separator of the CSV (default ',')")
      ->type_name("CHAR");
  return loopback;
}

}  // namespace

void AddCheckoutCommands(CLI::App& app, Context& ctx, std::function<int()>& chosen) {
  auto checkout_cli = std::make_shared<CheckoutCli>();
  CLI::App* checkout = app.add_subcommand(
      "checkout", "Check the module's I/O channel by channel and write a report to sign");
  checkout->fallthrough();
  CLI::Option* checkout_loopback = AddCheckoutOptions(*checkout, *checkout_cli, false);
  checkout->footer(
      "\nExample:\n  qm90 checkout --loopback --yes --operator \"J. Novak\" --tag K1-IO3\n"
      "  qm90 checkout --operator \"J. Novak\" --witness \"P. Dvorak\" --aout-range 4:20:mA\n"
      "Exit status: 0 every point passed, 1 a point failed or the run stopped, 2 usage,\n"
      "3 no link, 130 Ctrl-C (the report is written and marked interrupted).");
  checkout->final_callback([&ctx, &chosen, checkout_cli, checkout_loopback] {
    checkout_cli->loopback = checkout_loopback->count() > 0;
    chosen = [&ctx, checkout_cli] { return RunCheckoutCommand(ctx, *checkout_cli); };
  });

  auto commission_cli = std::make_shared<CheckoutCli>();
  CLI::App* commission = app.add_subcommand(
      "commission", "Configure the modules of a plan one after another, each with a record");
  commission->fallthrough();
  commission->add_option("PLAN", commission_cli->plan, "The plan (CSV, one row per module)")
      ->required();
  CLI::Option* commission_loopback = AddCheckoutOptions(*commission, *commission_cli, true);
  commission->add_flag("--checkout", commission_cli->checkout, "Run the checkout on each module");
  commission
      ->add_option("--power-cycle-command", commission_cli->power_cycle_command,
                   "Command that power-cycles the module at {address} (otherwise you are asked)")
      ->type_name("CMD");
  commission->footer(
      "\nPlan columns (header row, ',' or ';'): tag, address, baud; optional location,\n"
      "din_negation, dout_negation, dout_init, aout_init, now_address, now_baud (default 1, "
      "9600).\n"
      "A journal PLAN.journal lets an interrupted run go on where it stopped.\n"
      "Example:\n  qm90 commission line-a.csv --checkout --loopback --operator \"J. Novak\"");
  commission->final_callback([&ctx, &chosen, commission_cli, commission_loopback] {
    commission_cli->loopback = commission_loopback->count() > 0;
    chosen = [&ctx, commission_cli] { return RunCommissionCommand(ctx, *commission_cli); };
  });
}

}  // namespace qm90cli
