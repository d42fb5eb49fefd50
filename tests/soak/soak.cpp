// qm90-soak: the live views and the settings dialogs against qm90-sim on
// 127.0.0.1 while it drops, damages and delays answers; over UDP, then over
// the pty. Prints the figures; exit code 0 only when nothing wrong was shown.
//
//   qm90-soak [--seconds N] [--udp-only | --pty-only] [--no-writes] [--seed N]
//             [--pty-late-back-to-back]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "link/QBLxxx.h"
#include "tests/soak/Soak.h"
#include "ui/Application.h"

namespace soak {
namespace {

constexpr const char* kUsage =
    "usage: qm90-soak [--seconds N] [--udp-only | --pty-only] [--no-writes] [--seed N]\n"
    "                 [--pty-late-back-to-back]\n";

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--seconds" && has_value) {
      options.seconds = std::strtod(argv[++i], nullptr);
      if (!(options.seconds > 0)) return false;
    } else if (arg == "--seed" && has_value) {
      options.seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--udp-only") {
      options.pty = false;
    } else if (arg == "--pty-only") {
      options.udp = false;
    } else if (arg == "--no-writes") {
      options.writes = false;
    } else if (arg == "--pty-late-back-to-back") {
      options.pty_late_back_to_back = true;
    } else {
      return false;
    }
  }
  return options.udp || options.pty;
}

Clock::duration Share(const Options& options, double parts_of_ten) {
  const int parts = (options.udp ? 4 : 0) + (options.pty ? 3 : 0) + (options.writes ? 3 : 0);
  const double seconds = options.seconds * parts_of_ten / parts;
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

bool Report(const std::string& title, const Figures& figures) {
  Print(title, figures);
  return figures.findings.empty();
}

bool RunViews(Transport transport, const Options& options, std::mt19937& random) {
  Figures figures;
  const std::string title = std::string("views, ") + TransportName(transport);
  SimLink link(transport, options.seed);
  if (!link.Ok()) {
    figures.Fail(link.Error());
    return Report(title, figures);
  }
  SoakViews(link, Share(options, transport == Transport::kUdp ? 4 : 3), options, random, figures);
  return Report(title, figures);
}

bool RunWrites(const Options& options, std::mt19937& random) {
  Figures figures;
  const std::string title = std::string("writes, ") + TransportName(Transport::kUdp);
  SimLink link(Transport::kUdp, options.seed + 1);
  if (!link.Ok()) {
    figures.Fail(link.Error());
    return Report(title, figures);
  }
  WritesUnderFaults(link, Share(options, 3), random, figures);
  return Report(title, figures);
}

}  // namespace

void Print(const std::string& title, const Figures& f) {
  std::printf("== %s\n", title.c_str());
  std::printf("  attempts %ld, good %ld, failed %ld", f.polls, f.good, f.polls - f.good);
  if (f.recoveries > 0) std::printf(", recovered at the first poll %ld times", f.recoveries);
  std::printf("\n");
  std::printf("  emulator: requests %ld, answers dropped %ld, corrupted %ld, delayed %ld\n",
              f.faults.requests, f.faults.dropped, f.faults.corrupted, f.faults.delayed);
  for (const auto& [text, count] : f.texts) std::printf("  %6ld x '%s'\n", count, text.c_str());
  if (f.rss_start_kb > 0)
    std::printf("  VmRSS after warm-up %ld kB, at the end %ld kB\n", f.rss_start_kb, f.rss_end_kb);
  for (const Finding& finding : f.findings) std::printf("  WRONG: %s\n", finding.what.c_str());
  std::fflush(stdout);
}

}  // namespace soak

int main(int argc, char** argv) {
  soak::Options options;
  if (!soak::ParseOptions(argc, argv, options)) {
    std::fputs(soak::kUsage, stderr);
    return 2;
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  qm90ui::TApplication application(argc, argv);
  std::mt19937 random(options.seed);
  bool all_right = true;
  if (options.udp) all_right &= soak::RunViews(soak::Transport::kUdp, options, random);
  if (options.pty) all_right &= soak::RunViews(soak::Transport::kPty, options, random);
  if (options.writes) all_right &= soak::RunWrites(options, random);
  SetDriverDirectory("");
  std::printf("%s\n", all_right ? "soak: nothing wrong was shown" : "soak: FAILED");
  return all_right ? 0 : 1;
}
