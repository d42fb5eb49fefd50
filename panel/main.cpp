// qm90-panel: the emulated module's front panel. Starts qm90-sim with the
// options it is given (or attaches to a running one) and shows every module
// on its line.
#include <CLI/CLI.hpp>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <iostream>

#include <qm90/Version.h>

#include "emulator/ControlGrammar.h"
#include "panel/PanelStopSignals.h"
#include "panel/PanelWindow.h"
#include "panel/SimLink.h"
#include "panel/TrafficModel.h"

namespace {

struct Options {
  std::string udp;
  std::string serial;
  std::vector<int> addresses;
  std::string state;
  int drop = -1;
  int corrupt = -1;
  int delay = -1;
  long long seed = -1;
  int turnaround = -1;
  bool verbose = false;
  bool loopback = false;
  std::string attach;
  std::string sim;
  std::string screenshot;
};

// Started without --udp and --serial (as from the menu), the panel serves UDP
// on the fixed port when it is free, so that the program's settings stay
// valid from one start to the next; on another only when it is taken.
QString ChooseDefaultUdp(Options& o) {
  if (!o.udp.empty() || !o.serial.empty()) return {};
  const QString udp = qm90panel::SimLink::FreeUdpOrAny(qm90emulator::kDefaultUdpPort);
  o.udp = udp.toStdString();
  return qm90emulator::PortOf(o.udp) == qm90emulator::kDefaultUdpPort
             ? QStringLiteral("pevný port %1").arg(qm90emulator::kDefaultUdpPort)
             : QStringLiteral("port %1 je obsazen, zvolen jiný").arg(qm90emulator::kDefaultUdpPort);
}

QStringList SimArguments(const Options& o) {
  QStringList args;
  const auto add = [&args](const char* name, const std::string& value) {
    args << QString::fromLatin1(name) << QString::fromStdString(value);
  };
  if (!o.udp.empty()) add("--udp", o.udp);
  if (!o.serial.empty()) add("--serial", o.serial);
  for (int address : o.addresses) add("--address", std::to_string(address));
  if (!o.state.empty()) add("--state", o.state);
  if (o.drop >= 0) add("--drop", std::to_string(o.drop));
  if (o.corrupt >= 0) add("--corrupt", std::to_string(o.corrupt));
  if (o.delay >= 0) add("--delay", std::to_string(o.delay));
  if (o.seed >= 0) add("--seed", std::to_string(o.seed));
  if (o.turnaround >= 0) add("--turnaround", std::to_string(o.turnaround));
  if (o.verbose) args << QStringLiteral("--verbose");
  if (o.loopback) args << QStringLiteral("--loopback");
  return args;
}

void AddOptions(CLI::App& app, Options& o) {
  app.add_option("--udp", o.udp,
                 "qm90-sim: serve UDP on HOST:PORT (loopback); when neither --udp nor "
                 "--serial is given, 127.0.0.1:47090, or a port the system chooses when "
                 "47090 is taken (the status bar says which)");
  app.add_option("--serial", o.serial, "qm90-sim: serve the serial line COMn on a pty");
  app.add_option("--address", o.addresses, "qm90-sim: factory address of a module; repeatable")
      ->take_all();
  app.add_option("--state", o.state, "qm90-sim: EEPROM state file");
  app.add_option("--drop", o.drop, "qm90-sim: percentage of answers dropped")
      ->check(CLI::Range(0, qm90emulator::kMaxPercent));
  app.add_option("--corrupt", o.corrupt, "qm90-sim: percentage of answers damaged")
      ->check(CLI::Range(0, qm90emulator::kMaxPercent));
  app.add_option("--delay", o.delay, "qm90-sim: ms every answer comes late")
      ->check(CLI::Range(0, qm90emulator::kMaxDelayMs));
  app.add_option("--seed", o.seed, "qm90-sim: seed of the fault injection")
      ->check(CLI::Range(0LL, 4294967295LL));
  app.add_option("--turnaround", o.turnaround, "qm90-sim: serial turnaround in ms")
      ->check(CLI::Range(0, qm90emulator::kMaxTurnaroundMs));
  app.add_flag("--verbose", o.verbose, "qm90-sim: log every request");
  app.add_flag("--loopback", o.loopback, "qm90-sim: wire every module's DOUTk to its DINk");
  app.add_option("--attach", o.attach,
                 "Attach to a running qm90-sim through its control port 127.0.0.1:PORT "
                 "(qm90-sim --control) instead of starting one")
      ->excludes("--udp", "--serial", "--address", "--state", "--drop", "--corrupt", "--delay",
                 "--seed", "--turnaround", "--verbose", "--loopback");
  app.add_option("--sim", o.sim, "qm90-sim program to start (default: the one beside qm90-panel)");
  app.add_option("--screenshot", o.screenshot,
                 "Save a picture of the window as PNG once the modules are shown, then end");
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  CLI::App app{"qm90-panel: front panel of the emulated QM-90 modules (qm90-sim)"};
  AddOptions(app, options);
  app.set_version_flag("--version", std::string("qm90-panel ") + qm90::kVersion);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error);
  }

  QApplication application(argc, argv);
  qm90panel::QuitOnStopSignals();
  qm90panel::SimLink link;
  qm90panel::PanelWindow window(&link, qm90panel::TrafficModel::kDefaultBound);
  QObject::connect(&link, &qm90panel::SimLink::ready, [](const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
  });
  // The emulator's messages and the panel's failures also go to stderr, for scripts.
  for (auto signal : {&qm90panel::SimLink::failed, &qm90panel::SimLink::logLine}) {
    QObject::connect(&link, signal, [](const QString& text) {
      std::fprintf(stderr, "qm90-panel: %s\n", text.toUtf8().constData());
    });
  }
  if (!options.screenshot.empty()) {
    const QString path = QString::fromStdString(options.screenshot);
    QObject::connect(&window, &qm90panel::PanelWindow::firstModuleShown, [&window, path] {
      QTimer::singleShot(500, &window, [&window, path] {
        const bool saved = window.grab().save(path, "PNG");
        QCoreApplication::exit(saved ? 0 : 1);
      });
    });
  }
  if (options.attach.empty()) {
    const QString sim = options.sim.empty()
                            ? QCoreApplication::applicationDirPath() + QStringLiteral("/qm90-sim")
                            : QString::fromStdString(options.sim);
    window.SetPortNote(ChooseDefaultUdp(options));
    link.StartChild(sim, SimArguments(options));
  } else {
    const QString where = QString::fromStdString(options.attach);
    const qsizetype colon = where.lastIndexOf(u':');
    bool ok = colon > 0;
    const quint16 port = ok ? where.mid(colon + 1).toUShort(&ok) : 0;
    if (!ok || port == 0) {
      std::cerr << "qm90-panel: --attach expects 127.0.0.1:PORT, got '" << options.attach << "'\n";
      return 2;
    }
    link.Attach(where.left(colon), port);
  }
  window.show();
  return application.exec();
}
