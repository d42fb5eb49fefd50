// Figures of the qm90 command-line tool against qm90-sim on 127.0.0.1: how
// long a scan takes against the time its bytes need on the wire, and what
// share of `qm90 identify` the link takes.
//   qm90-bench-cli [--skip-nine-rates] [--serial-only] [--find-only] [--runs N]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "emulator/launcher/SimProcess.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCom = 43;
constexpr int kRequestBytes = 12;  // a serial request frame
constexpr int kAnswerBytes = 11;   // a serial answer frame
constexpr int kBitsPerByte = 10;   // 8N1
constexpr int kRates[] = {600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

// Runs qm90 with the arguments, output thrown away; returns seconds, or -1.
double TimedRun(const std::vector<std::string>& args, int* exit_code = nullptr) {
  std::vector<std::string> text{qm90sim::BinDir() + "/qm90"};
  text.insert(text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : text) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = Clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  if (exit_code) *exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples.empty() ? 0 : samples[samples.size() / 2];
}

// Seconds the bytes of a scan need on a serial line at this rate: every
// address gets one request, a module found gets two more and sends three
// answers.
double WireSeconds(int rate, int addresses, int found) {
  const double bytes = (addresses + 2.0 * found) * kRequestBytes + 3.0 * found * kAnswerBytes;
  return bytes * kBitsPerByte / rate;
}

void ScanLine(const char* what, double seconds, double wire, int exit_code) {
  std::printf("%-52s %8.2f s", what, seconds);
  if (wire > 0) std::printf("   wire %7.2f s   ratio %5.2f", wire, seconds / wire);
  std::printf("%s\n", exit_code == 0 ? "" : "   (no module found!)");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  bool nine_rates = true;
  bool serial_only = false;
  bool find_only = false;  // only the find figures (serial)
  int runs = 20;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--skip-nine-rates") == 0)
      nine_rates = false;
    else if (std::strcmp(argv[i], "--find-only") == 0)
      find_only = true;
    else if (std::strcmp(argv[i], "--serial-only") == 0)
      serial_only = true;
    else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
      runs = std::max(1, std::atoi(argv[++i]));
  }
  char pattern[] = "/tmp/qm90-bench-cli-XXXXXX";
  const char* folder = mkdtemp(pattern);
  if (!folder) return 1;
  setenv("XDG_RUNTIME_DIR", folder, 1);

  const std::string com = "COM" + std::to_string(kCom);
  qm90sim::SimProcess serial;
  if (!serial.Start({"--serial", com, "--address", "1"})) {
    std::fprintf(stderr, "qm90-sim: %s\n", serial.Error().c_str());
    return 1;
  }
  const std::vector<std::string> on_com = {"--interface", "com", "--port", std::to_string(kCom)};
  auto with = [](std::vector<std::string> base, const std::vector<std::string>& more) {
    base.insert(base.end(), more.begin(), more.end());
    return base;
  };

  int exit_code = 0;
  double seconds = 0;
  if (!find_only) {
    std::printf("qm90 scan, one module (address 1, 9600 Bd) on the emulator's serial line:\n");
    seconds = TimedRun(with({"scan", "--baud", "9600"}, on_com), &exit_code);
    ScanLine("256 addresses at 9600 Bd", seconds, WireSeconds(9600, 256, 1), exit_code);
    for (const char* timing : {"5", "1"}) {
      const std::string what = std::string("256 addresses at 9600 Bd, --timing ") + timing;
      seconds = TimedRun(with({"scan", "--baud", "9600", "--timing", timing}, on_com), &exit_code);
      ScanLine(what.c_str(), seconds, WireSeconds(9600, 256, 1), exit_code);
    }
  }
  // find: the module at its factory setting, then at a setting nobody would
  // guess, found near the end of the full search (every address at all nine
  // rates), whose requests' wire time is the yardstick.
  std::printf("\nqm90 find, one module on the emulator's serial line:\n");
  std::vector<double> factory;
  for (int i = 0; i < 5; ++i) factory.push_back(TimedRun(with({"find"}, on_com), &exit_code));
  std::printf("%-52s %8.3f s (median of 5)%s\n", "factory setting (address 1, 9600 Bd)",
              Median(factory), exit_code == 0 ? "" : "   (no module found!)");
  if (nine_rates) {
    double full_wire = 0;
    for (const int rate : kRates) full_wire += WireSeconds(rate, 256, 0);
    TimedRun(with({"config", "set", "address=254", "baud=600", "--address", "1"}, on_com));
    serial.PowerCycle(1);
    seconds = TimedRun(with({"find"}, on_com), &exit_code);
    ScanLine("address 254 at 600 Bd (the 2302nd of 2304 tries)", seconds, full_wire, exit_code);
  }
  if (nine_rates && !find_only) {
    double wire = 0;
    // The find above moved the module to 600 Bd.
    for (const int rate : kRates) wire += WireSeconds(rate, 256, rate == 600 ? 1 : 0);
    seconds = TimedRun(with({"scan"}, on_com), &exit_code);
    ScanLine("256 addresses at all nine rates (module at 600 Bd)", seconds, wire, exit_code);
  }

  serial.Stop();
  if (serial_only) {
    std::filesystem::remove_all(folder);
    return 0;
  }

  qm90sim::SimProcess udp;
  if (!udp.Start(
          {"--udp", "127.0.0.1:0", "--address", "1", "--address", "77", "--address", "200"})) {
    std::fprintf(stderr, "qm90-sim: %s\n", udp.Error().c_str());
    return 1;
  }
  const std::vector<std::string> on_lan = {
      "--interface", "lan", "--ip", "127.0.0.1", "--udp-port", std::to_string(udp.UdpPort())};
  std::printf(
      "\nqm90 scan over UDP, three modules (1, 77, 200 at 9600 Bd) on the emulator's bus:\n");
  for (const char* timeout : {"100", "20"}) {
    const std::string what =
        std::string("256 addresses at all nine rates, UDP time-out ") + timeout + " ms";
    seconds = TimedRun(with(with({"scan"}, on_lan), {"--timeout", timeout}), &exit_code);
    ScanLine(what.c_str(), seconds, 0, exit_code);
  }

  std::printf("\nProcess start to exit, median of %d runs:\n", runs);
  std::vector<double> version, identify;
  for (int i = 0; i < runs; ++i) {
    version.push_back(TimedRun({"--version"}));
    identify.push_back(TimedRun(with({"identify", "--address", "1"}, on_lan)));
  }
  const double v = Median(version) * 1000, id = Median(identify) * 1000;
  std::printf("%-52s %8.2f ms\n", "qm90 --version", v);
  std::printf("%-52s %8.2f ms\n", "qm90 identify (LAN converter, emulator)", id);
  std::printf("%-52s %8.2f ms (%.0f %% of identify)\n", "the link's share", id - v,
              id > 0 ? (id - v) / id * 100 : 0.0);
  std::filesystem::remove_all(folder);
  return 0;
}
