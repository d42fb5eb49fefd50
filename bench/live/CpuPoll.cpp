// How much processor time the program spends while the digital inputs view
// polls a module every 100 ms: the real TForm11 with the real QBL314 library
// talking UDP on 127.0.0.1 to qm90-sim. Prints figures; asserts nothing.
//
//   qm90-bench-live-cpu [--seconds N] [--delay MS]
//
// --seconds: how long the view polls (default 30); --delay: the emulator
// answers each request this late (default 0), to see a slow module lower the
// poll rate.
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dialogs/OkamDIN.h"
#include "emulator/launcher/SimProcess.h"
#include "link/Session.h"
#include "ui/Form.h"

namespace {

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// utime + stime of another process, from /proc; -1 when unreadable.
double OtherProcessCpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return -1;
  const auto close = line.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(line.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) {
      stime = std::stoull(field);
      break;
    }
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
  return values[index];
}

// The value after `option`, at least `minimum`; `fallback` when absent.
int IntOption(int argc, char** argv, const char* option, int fallback, int minimum) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], option) == 0) return std::max(minimum, std::atoi(argv[i + 1]));
  }
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = IntOption(argc, argv, "--seconds", 30, 1);
  const int delay_ms = IntOption(argc, argv, "--delay", 0, 0);
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);

  qm90sim::SimProcess sim;
  if (!sim.Start({"--udp", "127.0.0.1:0"})) {
    std::fprintf(stderr, "qm90-sim did not start: %s\n", sim.Error().c_str());
    return 1;
  }
  SetDriverDirectory(qm90sim::BinDir());
  TData data;
  SetDataDefaults(&data);
  data.InterfaceKind = kKindLan;
  data.IpAddress = "127.0.0.1";
  data.UdpPort = sim.UdpPort();
  data.UdpTimeout = 2000;  // longer than any --delay used here
  const TOpenResult opened =
      OpenLink(data, TLinkRequest{kKindLan, 1, IndexFromBaud(data.BaudRate), data.ComPort});
  if (!opened.ok()) {
    std::fprintf(stderr, "link not opened: %d %s\n", opened.code, opened.text.c_str());
    return 1;
  }
  sim.SetInputs(1, 0xA5);
  if (delay_ms > 0 && !sim.SetFaults(0, 0, delay_ms)) {
    std::fprintf(stderr, "qm90-sim refused the delay\n");
    return 1;
  }

  TForm11 form(nullptr);
  form.Data = &data;
  std::vector<double> poll_times_ms;
  QElapsedTimer clock;
  auto* bar = form.Form().FindAs<qm90ui::TStatusBar>("StatusBar1");
  bar->OnPanelText = [&](int, const std::string&) {
    poll_times_ms.push_back(clock.nsecsElapsed() / 1e6);
  };
  const double sim_cpu_before = OtherProcessCpuSeconds(sim.Pid());
  const double cpu_before = ProcessCpuSeconds();
  clock.start();
  QTimer::singleShot(seconds * 1000, [&form] { form.Form().EndModal(qm90ui::TModalResult::kOk); });
  form.ShowModal();
  const double wall = clock.nsecsElapsed() / 1e9;
  const double cpu = ProcessCpuSeconds() - cpu_before;
  const double sim_cpu = OtherProcessCpuSeconds(sim.Pid()) - sim_cpu_before;

  std::vector<double> periods;
  for (std::size_t i = 1; i < poll_times_ms.size(); ++i)
    periods.push_back(poll_times_ms[i] - poll_times_ms[i - 1]);
  const bool all_good = bar->PanelText(0) == " " + ErrorText(4, 0);

  std::printf(
      "inputs view, 100 ms timer, QBL314 over UDP 127.0.0.1 to qm90-sim, answer delay %d ms\n",
      delay_ms);
  std::printf("wall time            %8.2f s\n", wall);
  std::printf("polls                %8zu\n", poll_times_ms.size());
  std::printf("mean poll period     %8.2f ms\n",
              periods.empty() ? 0.0
                              : (poll_times_ms.back() - poll_times_ms.front()) /
                                    static_cast<double>(periods.size()));
  std::printf("median / 90%% / max   %8.2f / %.2f / %.2f ms\n", Percentile(periods, 0.5),
              Percentile(periods, 0.9), Percentile(periods, 1.0));
  std::printf("program CPU          %8.3f s  (%.2f %% of wall time)\n", cpu, 100.0 * cpu / wall);
  if (sim_cpu >= 0)
    std::printf("qm90-sim CPU         %8.3f s  (%.2f %% of wall time)\n", sim_cpu,
                100.0 * sim_cpu / wall);
  std::printf("last status text     %s\n", all_good ? "the text for status 0" : "an error");

  CloseLink(data);
  return 0;
}
