// One ModuleTransact through QBL314 to qm90-sim on 127.0.0.1, with the
// library in this process and in qm90-drvhost, side by side in one run: what
// the host adds. Blocks of both alternate, so that a change in the machine's
// load falls on both alike.
//   qm90-bench-drvhost [--count N] [--blocks B]
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "emulator/launcher/SimProcess.h"
#include "link/Session.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWarmUp = 200;

struct Link {
  TData data;
  bool open = false;
};

bool Open(Link& link, int port) {
  SetDataDefaults(&link.data);
  link.data.IpAddress = "127.0.0.1";
  link.data.UdpPort = port;
  link.data.UdpTimeout = 300;
  link.open = OpenLink(link.data, TLinkRequest{kKindLan, 1, 4, 1}).ok();
  return link.open;
}

// One read of the address register, as the address dialog sends it.
bool ReadAddress(const TModuleLink& link) {
  std::uint8_t value = 0;
  return ReadRegister(link, qm90cmd::kRegAddress, value) == 0;
}

// Appends `count` timed exchanges; returns the failures.
int TimeBlock(DriverIsolation isolation, int port, int count, std::vector<double>& samples) {
  SetDriverIsolation(isolation);
  Link link;
  int failures = 0;
  if (!Open(link, port)) {
    failures = count;
  } else {
    const TModuleLink module = LinkOf(link.data);
    for (int i = 0; i < kWarmUp; ++i) ReadAddress(module);
    for (int i = 0; i < count; ++i) {
      const auto start = Clock::now();
      if (ReadAddress(module)) {
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
      } else {
        ++failures;
      }
    }
  }
  CloseLink(link.data);
  return failures;
}

double Percentile(std::vector<double> samples, double p) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  return samples[static_cast<std::size_t>(p * static_cast<double>(samples.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Round trip through QBL314 in process and through qm90-drvhost"};
  int count = 2000;
  int blocks = 5;
  app.add_option("--count", count, "Exchanges per block")->check(CLI::Range(1, 1000000));
  app.add_option("--blocks", blocks, "Blocks of each kind, alternating")->check(CLI::Range(1, 100));
  CLI11_PARSE(app, argc, argv);

  SetDriverDirectory(qm90sim::BinDir());
  SetDriverHostDirectory(qm90sim::BinDir());
  qm90sim::SimProcess sim;
  if (!sim.Start({"--udp", "127.0.0.1:0"})) {
    std::fprintf(stderr, "qm90-sim did not start: %s\n", sim.Error().c_str());
    return 1;
  }
  std::vector<double> local, hosted;
  int local_failures = 0, hosted_failures = 0;
  for (int block = 0; block < blocks; ++block) {
    local_failures += TimeBlock(DriverIsolation::kWhenNeeded, sim.UdpPort(), count, local);
    hosted_failures += TimeBlock(DriverIsolation::kAlways, sim.UdpPort(), count, hosted);
  }
  sim.Stop();

  const double local_median = Percentile(local, 0.5), hosted_median = Percentile(hosted, 0.5);
  std::printf("ModuleTransact through QBL314 to qm90-sim (UDP 127.0.0.1), %d x %d exchanges each\n",
              blocks, count);
  std::printf("  %-22s median %8.1f us  p90 %8.1f us  failures %d\n", "in process", local_median,
              Percentile(local, 0.9), local_failures);
  std::printf("  %-22s median %8.1f us  p90 %8.1f us  failures %d\n", "through qm90-drvhost",
              hosted_median, Percentile(hosted, 0.9), hosted_failures);
  const double added = hosted_median - local_median;
  const double goal = std::max(30.0, local_median);
  std::printf(
      "  added by the host: %.1f us median (%.2f x the in-process round trip); goal: at "
      "most %.1f us\n",
      added, local_median > 0 ? hosted_median / local_median : 0.0, goal);
  return 0;
}
