// qm90-sim: a stand-in QM-90 module (or several on one line) for tests and
// for trying the program without hardware.
#include <qm90/Version.h>
#include <CLI/CLI.hpp>
#include <iostream>
#include <string>

#include "base/ModuleCommands.h"
#include "emulator/ControlGrammar.h"
#include "emulator/sim/Sim.h"

namespace {

constexpr const char* kControlHelpTop = R"(
Ready line (stdout, once it answers):
  qm90-sim ready udp=127.0.0.1:<port> pty=<pty path> com=COMn control=127.0.0.1:<port>
  (only the parts served; a script takes a value by its key: tools/sim-ready.sh)
Control commands (stdin, or a TCP connection to the --control port; one per
line; reply "ok", "ok ..." or "error REASON"; ADDR is the address a module
answers at now, or #F for the module of factory address F):
  inputs ADDR VALUE          levels at the input terminals (0..255)
  status-set ADDR MASK       set status register bits (bit 1 FN, 4 PWR, 6 ERR24)
  status-clear ADDR MASK     clear status register bits
  get ADDR outputs           output terminals (after output negation)
  get ADDR inputs            inputs as the module reports them (after negation)
  get ADDR aout|status|address|baud
  get ADDR reg N             configuration register )";
constexpr const char* kControlHelpBottom = R"(
  power ADDR                 power-cycle: address/baud from their registers now
  wiring ADDR loopback|none  loopback: DOUTk drives DINk at the terminals (k 0..7)
  stuck ADDR din K 0|1|none  input terminal DINK reads 0 / 1 whatever drives it
  stuck ADDR dout K 0|1|none output terminal DOUTK stays at 0 / 1 (none clears)
  twin ADDR on|off           a second module answers at ADDR: on the serial line
                             the answers collide (garbled), over UDP two arrive
  unplug | replug            the serial port disappears (pty closed, COMn link
                             removed) and comes back under the same name
  faults DROP CORRUPT DELAY  change fault injection (percent, percent, ms)
  modules                    ok F:A:B ... (factory address, address, baud index)
  stats                      ok requests=N answered=N fault-drops=N queue-drops=N
                             send-failures=N output-drops=N queued=N
  subscribe | unsubscribe    event lines on this connection (see docs/protocol.md):
                             every value first, then each change and exchange
  quit                       stop
Requests that arrived before a control line are handled before its reply is
written; UDP answers (unless dropped or delayed) are sent by then, serial
answers follow at the line's rate. At most 1000 answers wait for their time;
more are dropped and counted. Output nobody reads never stops serving: what
does not fit a bounded buffer is dropped and counted, except replies: while a
controller's replies wait unread, its further lines wait too. Control input is
read at a bounded rate. End of input on stdin ends control only; SIGINT/SIGTERM
stop the simulator.)";

// The register numbers come from the module's command table.
std::string ControlHelp() {
  std::string help = kControlHelpTop;
  const char* separator = "";
  for (std::uint8_t reg : qm90cmd::kRegisters) {
    help += separator + std::to_string(reg);
    separator = ", ";
  }
  return help + kControlHelpBottom;
}

}  // namespace

int main(int argc, char** argv) {
  qm90sim::SimOptions options;
  CLI::App app{"qm90-sim: emulated QM-90 modules on a local UDP port and/or a serial pty"};
  app.footer(ControlHelp());
  app.set_version_flag("--version", std::string("qm90-sim ") + qm90::kVersion);
  app.add_option("--udp", options.udp,
                 "Serve UDP on HOST:PORT; HOST must be a loopback address 127.x.x.x or "
                 "localhost, "
                 "port 0 lets the system choose (see the ready line)");
  app.add_option("--serial", options.serial,
                 "Serve a serial line COMn: opens a pseudo-terminal and publishes it as "
                 "$XDG_RUNTIME_DIR/qm90/COMn (absolute paths only; else /tmp/qm90-<uid>/COMn)");
  app.add_option("--control", options.control,
                 "Also take control commands on TCP HOST:PORT (loopback only, port 0 lets "
                 "the system choose; see the ready line)");
  app.add_option("--address", options.addresses,
                 "Factory address of one module on the line (0..255); repeat for several "
                 "modules; default one module at 1, 9600 Bd")
      ->take_all();
  app.add_option("--state", options.state_file,
                 "EEPROM state file: loaded at start (missing = factory registers), "
                 "rewritten atomically on every register write, before the answer; a write "
                 "that cannot be stored is refused (status 4)");
  app.add_option("--drop", options.drop_percent, "Drop this percentage of answers")
      ->check(CLI::Range(0, qm90emulator::kMaxPercent));
  app.add_option("--corrupt", options.corrupt_percent,
                 "Damage this percentage of answers (one byte, the CRC then fails)")
      ->check(CLI::Range(0, qm90emulator::kMaxPercent));
  app.add_option("--delay", options.delay_ms, "Send every answer this many ms late")
      ->check(CLI::Range(0, qm90emulator::kMaxDelayMs));
  app.add_option("--turnaround", options.turnaround_ms,
                 "Milliseconds from a request's last byte on the serial line to the first "
                 "byte of its answer")
      ->check(CLI::Range(0, qm90emulator::kMaxTurnaroundMs));
  app.add_option("--seed", options.seed, "Seed of the fault injection, so that runs repeat");
  app.add_flag("--loopback", options.loopback,
               "Wire every module's DOUTk to its DINk (k = 0..7), as a test harness does: "
               "the output negation acts on the output terminal, the input negation on "
               "what the module reads from its input terminal");
  app.add_flag("--verbose", options.verbose, "Log one line per request and its answer on stderr");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error);
  }
  return qm90sim::Sim(std::move(options)).Run();
}
