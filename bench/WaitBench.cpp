// What a silent address costs: identification-style reads at every address of
// a line with one module (address 1, 9600 Bd), through QBL310 over qm90-sim's
// pty and QBL314 over UDP, against the time the requests need on the wire.
//   qm90-bench-waits [--udp-addresses N]
#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "drivers/Timing.h"
#include "emulator/launcher/SimProcess.h"
#include "link/Dekl.h"
#include "link/Session.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCom = 9;

struct Scan {
  double total_ms = 0;
  double silent_median_ms = 0;
  int found = 0;
};

Scan ScanAddresses(std::uint8_t kind, std::int32_t handle, int addresses) {
  Scan scan;
  std::vector<double> silent;
  const auto start = Clock::now();
  for (int address = 0; address < addresses; ++address) {
    std::uint8_t d0 = 0;
    std::array<std::uint8_t, 4> chars{};
    const auto one = Clock::now();
    const std::uint8_t status =
        IdentifyPart(TModuleLink{kind, handle, static_cast<std::uint8_t>(address)}, 0, d0, chars);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - one).count();
    if (status == 0) {
      ++scan.found;
    } else {
      silent.push_back(ms);
    }
  }
  scan.total_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  std::sort(silent.begin(), silent.end());
  if (!silent.empty()) scan.silent_median_ms = silent[silent.size() / 2];
  return scan;
}

void Print(const char* what, std::int32_t baud, std::int32_t timing, int addresses,
           const Scan& scan) {
  // Wire time of the scan: every request, and the answers of the modules found.
  const double wire_ms =
      std::chrono::duration<double, std::milli>(qm90drivers::LineTime(12LL * addresses, baud) +
                                                qm90drivers::LineTime(11LL * scan.found, baud))
          .count();
  std::printf(
      "  %-6s %6d Bd timing %3d: %3d addresses in %8.1f ms (%d found), silent address "
      "%6.2f ms median; wire %7.1f ms, ratio %.2f\n",
      what, baud, timing, addresses, scan.total_ms, scan.found, scan.silent_median_ms, wire_ms,
      scan.total_ms / wire_ms);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"What a silent address costs through QBL310 and QBL314"};
  int udp_addresses = 32;
  app.add_option("--udp-addresses", udp_addresses, "Addresses tried over UDP")
      ->check(CLI::Range(1, 256));
  CLI11_PARSE(app, argc, argv);

  char pattern[] = "/tmp/qm90-bench-XXXXXX";
  const char* folder = mkdtemp(pattern);
  if (folder == nullptr) return 1;
  setenv("XDG_RUNTIME_DIR", folder, 1);
  setenv("XDG_STATE_HOME", folder, 1);
  SetDriverDirectory(qm90sim::BinDir());
  qm90sim::SimProcess sim;
  if (!sim.Start({"--udp", "127.0.0.1:0", "--serial", "COM" + std::to_string(kCom)})) {
    std::fprintf(stderr, "qm90-sim did not start: %s\n", sim.Error().c_str());
    return 1;
  }
  std::printf("Identification at every address, one module at address 1 (9600 Bd)\n");
  struct Rate {
    std::int32_t baud, timing;
  };
  for (const Rate rate : {Rate{9600, 13}, Rate{9600, 5}, Rate{9600, 1}, Rate{115200, 5}}) {
    TInitBlock block{};
    block[0] = kCom;
    std::int32_t handle = 0;
    // Timings other than the list's: the link is opened by hand, not by OpenLink.
    if (DrvOpen(kKindSerial, &handle, &block) != 0 ||
        DrvSetConfig(kKindSerial, handle, rate.baud, rate.timing, kSetConfigMode) != 0) {
      std::fprintf(stderr, "QBL310 did not open COM%d\n", kCom);
      return 1;
    }
    Print("QBL310", rate.baud, rate.timing, 256, ScanAddresses(kKindSerial, handle, 256));
    DrvClose(kKindSerial, &handle);
  }
  const std::string ip = "127.0.0.1";
  for (const int timeout_ms : {100, 10}) {
    TInitBlock block{};
    block[0] = reinterpret_cast<std::intptr_t>(ip.c_str());
    block[1] = sim.UdpPort();
    block[2] = timeout_ms;
    std::int32_t handle = 0;
    if (DrvOpen(kKindLan, &handle, &block) != 0 ||
        DrvSetConfig(kKindLan, handle, 9600, 13, kSetConfigMode) != 0)
      return 1;
    std::printf("  (QBL314 with a UDP time-out of %d ms)\n", timeout_ms);
    Print("QBL314", 9600, 13, udp_addresses, ScanAddresses(kKindLan, handle, udp_addresses));
    DrvClose(kKindLan, &handle);
  }
  sim.Stop();
  std::filesystem::remove_all(folder);
  return 0;
}
