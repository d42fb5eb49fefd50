#include "cli/App.h"

#include <CLI/CLI.hpp>
#include <ostream>

#include "cli/Commands.h"
#include "link/QBLxxx.h"

namespace qm90cli {

namespace {

constexpr const char* kIntegers =
    "Integers are decimal, or hexadecimal after \"$\" or \"0x\" ($FF, 0xFF).";

std::string Example(const std::string& lines) {
  return "\nExample:\n" + lines + "\n\n" + kIntegers;
}

void AddConnectionOptions(CLI::App& app, ConnectionOptions& c) {
  const char* group = "Connection (default: the link in the W_qm90.ini that W_QM90 keeps)";
  app.add_option("--settings", c.settings_file,
                 "Take the link from this settings file (never written)")
      ->type_name("FILE")
      ->group(group);
  app.add_option("--interface", c.interface, "Interface: com, isa, pci, usb or lan")
      ->type_name("KIND")
      ->group(group);
  app.add_option("--port", c.port, "COM port number (com)")->type_name("N")->group(group);
  app.add_option("--base", c.base, "I/O base address of the ISA card, e.g. 300h (isa)")
      ->type_name("HEX")
      ->group(group);
  app.add_option("--ip", c.ip, "IP address of the LAN converter (lan)")
      ->type_name("A.B.C.D")
      ->group(group);
  app.add_option("--udp-port", c.udp_port, "UDP port of the LAN converter (lan)")
      ->type_name("N")
      ->group(group);
  app.add_option("--timeout", c.timeout, "UDP time-out in ms (lan)")->type_name("MS")->group(group);
  app.add_option("--address", c.address, "Module address 0..255")->type_name("N")->group(group);
  app.add_option("--baud", c.baud,
                 "Baud rate: 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200")
      ->type_name("RATE")
      ->group(group);
}

void AddWatchOptions(CLI::App& command, WatchOptions& w, const char* period) {
  command.add_flag("--watch", w.watch, "Keep reading until Ctrl-C (or --count)");
  command
      .add_option("--interval", w.interval, std::string("Period in ms (default ") + period + ")")
      ->type_name("MS");
  command.add_option("--count", w.count, "Read this many times, then end")->type_name("N");
  command.add_option("--csv", w.csv, "Append each reading with its time stamp to this CSV file")
      ->type_name("FILE");
}

}  // namespace

int Run(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  Context ctx{out, err, {}};
  CLI::App app{"qm90: finds, configures and tests QM-90 modules through the driver libraries"};
  app.set_version_flag("--version", "qm90 " QM90_VERSION);
  app.require_subcommand(1);
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
              "3 the link could not be opened."));

  // The command runs after the whole line is parsed, options after it included.
  std::function<int()> chosen;
  auto command = [&app](const char* name, const char* description) {
    CLI::App* sub = app.add_subcommand(name, description);
    sub->fallthrough();
    return sub;
  };

  CLI::App* identify =
      command("identify", "Show the module's name, address, baud rate and interface");
  identify->footer(Example("  qm90 identify --interface com --port 3 --address 1 --baud 9600"));
  identify->callback([&] { chosen = [&] { return Identify(ctx); }; });

  ScanOptions scan_options;
  CLI::App* scan = command("scan", "Find the modules on a line whose address and rate are unknown");
  scan->add_option("--addresses", scan_options.addresses, "Addresses to try (default 0-255)")
      ->type_name("LIST");
  scan->add_option("--baud", scan_options.bauds,
                   "Rates to try, in this order (default all nine, the configured one first, "
                   "then 9600, 19200, 115200, 57600, 38400, 4800, 2400, 1200, 600)")
      ->delimiter(',')
      ->type_name("RATE");
  scan->add_flag("--first", scan_options.first, "Stop at the first module found");
  scan->add_option("--timing", scan_options.timing,
                   "Allowance in ms the driver adds to each answer wait (default the rate's own, "
                   "13 at 9600 Bd); a direct line without a USB adapter can take 1 to 5, which "
                   "makes a silent address cheaper")
      ->type_name("MS");
  scan->footer(Example("  qm90 scan --interface com --port 3 --baud 9600,19200 --addresses 1-100"));
  scan->callback([&] { chosen = [&] { return Scan(ctx, scan_options); }; });

  CLI::App* config = command("config", "Show, change, save and load the module's configuration");
  config->require_subcommand(1);
  config->footer(Example("  qm90 config show"));
  auto config_command = [config](const char* name, const char* description) {
    CLI::App* sub = config->add_subcommand(name, description);
    sub->fallthrough();
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
      Example("  qm90 config set din-negation=0 dout-init.DOUT7=1 aout-init=$8000\n"
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

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error, out, err);
    return code == 0 ? kExitOk : kExitUsage;
  }
  if (!chosen) return kExitUsage;
  SetDriverIsolation(ctx.driver_host ? DriverIsolation::kAlways : DriverIsolation::kWhenNeeded);
  return chosen();
}

}  // namespace qm90cli
