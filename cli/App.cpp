#include "cli/App.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ostream>
#include <string_view>

#include "cli/CheckoutCommands.h"
#include "cli/CliCommands.h"
#include "cli/Console.h"
#include "cli/Json.h"
#include "cli/LineCommands.h"
#include "link/QBLxxx.h"

namespace qm90cli {

namespace {

constexpr const char* kIntegers =
    "Integers are decimal, or hexadecimal after \"0x\" (0xFF); \"$FF\" is taken too, but a\n"
    "shell reads \"$\" as the start of a variable unless it is quoted.";

// An option given with an empty value ("--address ''", an unset variable in
// a script) is refused instead of standing for "not given".
const CLI::Validator kNotEmpty(
    [](std::string& value) {
      return value.empty() ? std::string("an empty value") : std::string();
    },
    "", "NOT EMPTY");

// An integer of the program's text rule within minimum..maximum.
CLI::Validator IntegerIn(std::int64_t minimum, std::int64_t maximum) {
  return CLI::Validator(
      [minimum, maximum](std::string& value) {
        std::int64_t parsed = 0;
        if (ParseInteger(value, minimum, maximum, parsed)) return std::string();
        return "takes " + std::to_string(minimum) + ".." + std::to_string(maximum) + ", not \"" +
               value + "\"";
      },
      "", "INTEGER");
}

// Edit distance of two words, for the "did you mean" of a mistyped name.
std::size_t Distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// "; did you mean 'x'?" for the nearest candidate, when one is near enough.
std::string Suggestion(const std::string& word, const std::vector<std::string>& candidates) {
  std::string best;
  std::size_t best_distance = 3;  // farther than two edits is no likely typo
  for (const std::string& candidate : candidates) {
    const std::size_t distance = Distance(word, candidate);
    if (distance < best_distance) {
      best_distance = distance;
      best = candidate;
    }
  }
  return best.empty() ? "" : "; did you mean '" + best + "'?";
}

std::vector<std::string> SubcommandNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
    names.push_back(sub->get_name());
  return names;
}

std::vector<std::string> OptionNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::App* level = &app; level; level = level->get_parent())
    for (const CLI::Option* option : level->get_options())
      for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
  return names;
}

// What is wrong with the words CLI11 left over: an unknown option or
// command, with the nearest known name. Empty when nothing was left over.
std::string LeftOverProblem(CLI::App& app) {
  CLI::App* level = &app;
  for (CLI::App* chosen = &app; chosen;) {
    level = chosen;
    const auto subs = chosen->get_subcommands();
    chosen = subs.empty() ? nullptr : subs.front();
  }
  const std::vector<std::string> left = app.remaining(true);
  if (left.empty()) {
    if (!level->get_subcommands([](const CLI::App*) { return true; }).empty())
      return std::string(level == &app ? "a command is required" : "a subcommand is required") +
             ": " + CLI::detail::join(SubcommandNames(*level), ", ");
    return "";
  }
  const std::string& word = left.front();
  if (word.rfind("-", 0) == 0) {
    const std::string name = word.substr(0, word.find('='));
    return "unknown option '" + name + "'" + Suggestion(name, OptionNames(*level));
  }
  if (!level->get_subcommands([](const CLI::App*) { return true; }).empty())
    return "unknown command '" + word + "'" + Suggestion(word, SubcommandNames(*level));
  return "unexpected argument '" + word + "'";
}

bool WantsJson(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string_view(argv[i]) == "--json") return true;
  return false;
}

int UsageError(std::ostream& out, std::ostream& err, bool json, const std::string& message) {
  err << "qm90: " << message << "\nRun with --help for more information.\n";
  if (json) out << JsonObject().Add("error", message).Add("exit", kExitUsage).Text() << "\n";
  return kExitUsage;
}

// After the command: the output could not be written. A reader that went
// away ends the program quietly as a closed pipe does; any other failure is
// one line on stderr and exit 1.
int OutputFailure(std::ostream& err, int error) {
  if (error == EPIPE) return kExitBrokenPipe;
  err << "qm90: cannot write the output: " << std::strerror(error) << "\n";
  return kExitFailure;
}

std::string Example(const std::string& lines) {
  return "\nExample:\n" + lines + "\n\n" + kIntegers;
}

void AddConnectionOptions(CLI::App& app, ConnectionOptions& c) {
  const char* group = "Connection (default: the link in the W_qm90.ini that W_QM90 keeps)";
  app.add_option("--settings", c.settings_file,
                 "Take the link from this settings file (never written)")
      ->check(kNotEmpty)
      ->type_name("FILE")
      ->group(group);
  app.add_option("--interface", c.interface, "Interface: com, isa, pci, usb or lan")
      ->check(CLI::IsMember({"com", "isa", "pci", "usb", "lan"}))
      ->type_name("KIND")
      ->group(group);
  app.add_option("--port", c.port, "COM port number (com)")
      ->check(IntegerIn(1, 65535))
      ->type_name("N")
      ->group(group);
  app.add_option("--base", c.base, "I/O base address of the ISA card, e.g. 300h (isa)")
      ->check(kNotEmpty)
      ->type_name("HEX")
      ->group(group);
  app.add_option("--ip", c.ip, "IP address of the LAN converter (lan)")
      ->check(kNotEmpty)
      ->type_name("A.B.C.D")
      ->group(group);
  app.add_option("--udp-port", c.udp_port, "UDP port of the LAN converter (lan)")
      ->check(IntegerIn(0, 65535))
      ->type_name("N")
      ->group(group);
  app.add_option("--timeout", c.timeout, "UDP time-out in ms (lan)")
      ->check(IntegerIn(0, 65535))
      ->type_name("MS")
      ->group(group);
  app.add_option("--address", c.address, "Module address 0..255")
      ->check(IntegerIn(0, 255))
      ->type_name("N")
      ->group(group);
  app.add_option("--baud", c.baud,
                 "Baud rate: 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200")
      ->check(kNotEmpty)
      ->type_name("RATE")
      ->group(group);
}

void AddWatchOptions(CLI::App& command, WatchOptions& w, const char* period) {
  command.add_flag("--watch", w.watch, "Keep reading until Ctrl-C (or --count)");
  command
      .add_option("--interval", w.interval, std::string("Period in ms (default ") + period + ")")
      ->check(IntegerIn(1, 3600000))
      ->type_name("MS");
  command.add_option("--count", w.count, "Read this many times, then end")
      ->check(IntegerIn(1, 0x7FFFFFFF))
      ->type_name("N");
  command.add_option("--csv", w.csv, "Append each reading with its time stamp to this CSV file")
      ->check(kNotEmpty)
      ->type_name("FILE");
}

}  // namespace

int Run(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  Context ctx{out, err, {}};
  CLI::App app{"qm90: finds, configures and tests QM-90 modules through the driver libraries"};
  app.set_version_flag("--version", "qm90 " QM90_VERSION);
  // Left-over words are reported by LeftOverProblem, with the nearest name.
  app.require_subcommand(0, 1);
  app.allow_extras();
  app.add_flag("-q,--quiet", ctx.quiet, "Print results only: no progress, no notes");
  app.add_flag("-v,--verbose", ctx.verbose, "Say on stderr what is being tried");
  app.add_flag("--trace", ctx.trace,
               "Print every exchange on stderr: time, address, command, sub-code, d0..d4 sent, "
               "status, d0..d4 received, microseconds");
  app.add_flag("--json", ctx.json, "Print results as JSON (one object per line)");
  app.add_flag("--driver-host", ctx.driver_host,
               "Run the driver library in qm90-drvhost, a process of its own, so that a library "
               "that crashes or hangs cannot take qm90 down (a library of the other word size "
               "always runs there)");
  AddConnectionOptions(app, ctx.connection);
  app.footer(
      Example("  qm90 scan --interface lan --ip 127.0.0.1 --udp-port 47090\n"
              "  qm90 --address 5 config show\n"
              "Exit status: 0 success, 1 the module or the link reported a failure, 2 usage,\n"
              "3 the link could not be opened, 130 ended by Ctrl-C (after the exchange under\n"
              "way and with the link closed)."));

  // The command runs after the whole line is parsed, options after it included.
  std::function<int()> chosen;
  auto command = [&app](const char* name, const char* description) {
    CLI::App* sub = app.add_subcommand(name, description);
    sub->fallthrough();
    sub->allow_extras();
    return sub;
  };

  CLI::App* identify =
      command("identify", "Show the module's name, address, baud rate and interface");
  identify->footer(Example("  qm90 identify --interface com --port 3 --address 1 --baud 9600"));
  identify->callback([&] { chosen = [&] { return Identify(ctx); }; });

  ScanOptions scan_options;
  CLI::App* scan = command("scan", "Find the modules on a line whose address and rate are unknown");
  scan->add_option("--addresses", scan_options.addresses, "Addresses to try (default 0-255)")
      ->check(kNotEmpty)
      ->type_name("LIST");
  scan->add_option("--baud", scan_options.bauds,
                   "Rates to try, in this order (default all nine, the configured one first, "
                   "then 9600, 19200, 115200, 57600, 38400, 4800, 2400, 1200, 600)")
      ->delimiter(',')
      ->type_name("RATE");
  scan->add_flag("--first", scan_options.first, "Stop at the first module found");
  scan->add_option("--timing", scan_options.timing,
                   "Allowance in ms the driver adds to each answer wait (default 1; an address "
                   "where an answer came late is asked again with the rate's own, 13 at 9600 Bd)")
      ->check(IntegerIn(1, 1000))
      ->type_name("MS");
  scan->footer(Example("  qm90 scan --interface com --port 3 --baud 9600,19200 --addresses 1-100"));
  scan->callback([&] { chosen = [&] { return Scan(ctx, scan_options); }; });

  FindOptions find_options;
  CLI::App* find = command("find", "Find a lost module: the likely settings first, then the rest");
  find->add_option("--addresses", find_options.addresses, "Addresses to sweep (default 0-255)")
      ->type_name("LIST");
  find->add_option("--baud", find_options.bauds,
                   "Rates to try (default all nine, the likeliest first)")
      ->delimiter(',')
      ->type_name("RATE");
  find->add_flag("--all", find_options.all, "Go on after the first module found");
  find->add_option("--timing", find_options.timing,
                   "Allowance in ms the driver adds to each answer wait (default 1)")
      ->type_name("MS");
  find->footer(Example("  qm90 find --interface com --port 3"));
  find->callback([&] { chosen = [&] { return Find(ctx, find_options); }; });

  BackupOptions backup_options;
  CLI::App* backup =
      command("backup", "Save every module of the line into a folder: a file each, and a manifest");
  backup->add_option("DIR", backup_options.folder, "Folder to save in (created if missing)")
      ->required();
  backup
      ->add_option("--addresses", backup_options.addresses,
                   "Save these addresses at the configured rate instead of scanning")
      ->type_name("LIST");
  backup->add_option("--baud", backup_options.bauds, "Rates to scan (default all nine)")
      ->delimiter(',')
      ->type_name("RATE");
  backup->footer(
      Example("  qm90 backup line-a --baud 9600\n"
              "A folder that exists is taken only when neither the manifest nor a module's file\n"
              "of this backup stands in it; nothing in it is ever replaced."));
  backup->callback([&] { chosen = [&] { return Backup(ctx, backup_options); }; });

  RestoreOptions restore_options;
  CLI::App* restore =
      command("restore", "Write a line's backup back: only what differs, each read back");
  restore->add_option("DIR", restore_options.folder, "Folder of a backup")->required();
  restore->add_flag("--dry-run", restore_options.dry_run, "Only show the differences");
  restore->add_flag("--force", restore_options.force,
                    "Also restore a module whose identification differs from the backup's");
  restore->footer(Example("  qm90 restore line-a --dry-run"));
  restore->callback([&] { chosen = [&] { return Restore(ctx, restore_options); }; });

  CLI::App* ports = command("ports", "List the serial ports the serial driver can open");
  ports->footer(Example("  qm90 ports"));
  ports->callback([&] { chosen = [&] { return Ports(ctx); }; });

  CLI::App* config = command("config", "Show, change, save and load the module's configuration");
  config->require_subcommand(0, 1);
  config->allow_extras();
  config->footer(Example("  qm90 config show"));
  auto config_command = [config](const char* name, const char* description) {
    CLI::App* sub = config->add_subcommand(name, description);
    sub->fallthrough();
    sub->allow_extras();
    return sub;
  };

  CLI::App* show = config_command("show", "Read the seven configuration registers and decode them");
  show->footer(Example("  qm90 --json config show"));
  show->callback([&] { chosen = [&] { return ConfigShow(ctx); }; });

  std::vector<std::string> assignments;
  CLI::App* set = config_command(
      "set",
      "Write registers, each read back. Keys: address, baud (Bd), aout-init (0..65535), "
      "din-negation, dout-negation, dout-init (a byte), and channels as DIN3=1 or "
      "dout-init.DOUT3=1");
  set->add_option("KEY=VALUE", assignments, "Settings to write")->required();
  set->footer(
      Example("  qm90 config set din-negation=0 dout-init.DOUT7=1 aout-init=0x8000\n"
              "A new address or rate applies at the module's next power-up."));
  set->callback([&] { chosen = [&] { return ConfigSet(ctx, assignments); }; });

  std::string save_file;
  bool save_force = false;
  CLI::App* save = config_command("save", "Save the configuration to a text file");
  save->add_option("FILE", save_file, "File to write")->required();
  save->add_flag("--force", save_force, "Replace the file if it exists");
  save->footer(Example("  qm90 --address 1 config save cabinet-a.qm90"));
  save->callback([&] { chosen = [&] { return ConfigSave(ctx, save_file, save_force); }; });

  ConfigLoadOptions load_options;
  CLI::App* load = config_command(
      "load",
      "Write a saved configuration: shows the differences, writes what differs, each read back");
  load->add_option("FILE", load_options.file, "File saved by config save")->required();
  load->add_flag("--dry-run", load_options.dry_run, "Only show the differences");
  load->add_flag("--force", load_options.force, "Write every register, also those that agree");
  load->add_flag("--with-address", load_options.with_address,
                 "Take the address and the rate from the file too (written last; they apply at "
                 "the next power-up)");
  load->footer(Example("  qm90 --address 2 config load cabinet-a.qm90 --dry-run"));
  load->callback([&] { chosen = [&] { return ConfigLoad(ctx, load_options); }; });

  WatchOptions inputs_options;
  CLI::App* inputs = command("inputs", "Read the digital inputs DIN0..DIN7");
  AddWatchOptions(*inputs, inputs_options, "100");
  inputs->footer(Example("  qm90 inputs --watch --interval 250 --csv inputs.csv"));
  inputs->callback([&] { chosen = [&] { return Inputs(ctx, inputs_options); }; });

  WatchOptions status_options;
  CLI::App* status = command("status", "Read the 32-bit status register");
  AddWatchOptions(*status, status_options, "500");
  status->add_flag("--clear", status_options.clear, "Clear the register first");
  status->footer(Example("  qm90 status --clear"));
  status->callback([&] { chosen = [&] { return Status(ctx, status_options); }; });

  std::vector<std::string> output_values;
  CLI::App* outputs = command(
      "outputs",
      "Set the digital outputs: a byte, or DOUTk=0|1 (channels not named are switched off)");
  outputs->add_option("VALUE", output_values, "0..255, or DOUT0=1 DOUT5=1 ...")->required();
  outputs->footer(Example("  qm90 outputs 0x81\n  qm90 outputs DOUT0=1 DOUT7=1"));
  outputs->callback([&] { chosen = [&] { return Outputs(ctx, output_values); }; });

  std::string aout_value;
  CLI::App* aout = command("aout", "Set the analog output to a raw value 0..65535");
  aout->add_option("VALUE", aout_value, "0..65535")->required();
  aout->footer(Example("  qm90 aout 32768"));
  aout->callback([&] { chosen = [&] { return Aout(ctx, aout_value); }; });

  AddCheckoutCommands(app, ctx, chosen);

  const bool json = WantsJson(argc, argv);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& success) {
    app.exit(success, out, err);
    return kExitOk;
  } catch (const CLI::ParseError& error) {
    return UsageError(out, err, json, error.what());
  }
  if (const std::string problem = LeftOverProblem(app); !problem.empty())
    return UsageError(out, err, json, problem);
  if (!chosen) return UsageError(out, err, json, "a command is required");
  SetDriverIsolation(ctx.driver_host ? DriverIsolation::kAlways : DriverIsolation::kWhenNeeded);
  const int result = chosen();
  if (ctx.output_error == 0 && !out.flush()) ctx.output_error = errno ? errno : EIO;
  if (ctx.output_error != 0) return OutputFailure(err, ctx.output_error);
  if (console::Interrupted()) return kExitInterrupted;
  return result;
}

}  // namespace qm90cli
