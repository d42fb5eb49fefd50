// Shared by the soak runs: the emulator with its fault log, an open link to
// it over UDP or the pty, the figures a run collects and how they are printed.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "dialogs/FormWindow.h"
#include "emulator/launcher/SimProcess.h"
#include "link/Dekl.h"

namespace soak {

enum class Transport { kUdp, kPty };
const char* TransportName(Transport transport);

struct Options {
  double seconds = 20;  // whole run, split between the parts
  bool udp = true;
  bool pty = true;
  bool writes = true;
  // Over the pty, poll back to back while answers come late (no pause for the
  // late answer to arrive before the next request).
  bool pty_late_back_to_back = false;
  unsigned seed = 1;
};

// Faults the emulator injected, counted from its --verbose log.
struct FaultCount {
  long requests = 0;
  long dropped = 0;
  long corrupted = 0;
  long delayed = 0;
};

// One problem found; every one fails the run.
struct Finding {
  std::string what;
};

struct Figures {
  long polls = 0;
  long good = 0;
  long recoveries = 0;                // first poll after the faults stopped
  std::map<std::string, long> texts;  // status texts of failed polls or writes
  long rss_start_kb = 0;
  long rss_end_kb = 0;
  FaultCount faults;
  std::vector<Finding> findings;
  void Fail(const std::string& what) { findings.push_back({what}); }
};

// qm90-sim with one module at address 1, its stderr (the --verbose log) going
// to a file of its own, and the link of `transport` opened to it.
class SimLink {
 public:
  SimLink(Transport transport, unsigned seed);
  ~SimLink();
  bool Ok() const { return error_.empty(); }
  const std::string& Error() const { return error_; }

  qm90sim::SimProcess& Sim() { return sim_; }
  TData& Data() { return data_; }
  Transport Kind() const { return transport_; }
  // What a silent module costs (the shortest the driver waits), and a delay
  // past the longest it waits once bytes came, yet short enough that the late
  // answer lands while the next request waits.
  int TimeoutMs() const;
  int LateDelayMs() const;
  // " " + the driver's text for status 0.
  std::string OkText() const;
  FaultCount CountFaults() const;

 private:
  bool StartSim(unsigned seed);
  bool OpenLink();
  void SwitchToPrivateRuntimeFolder();

  Transport transport_;
  qm90sim::SimProcess sim_;
  TData data_{};
  std::string folder_;
  std::string log_path_;
  std::string error_;
};

// Resident memory of this process in kB (VmRSS), 0 when unknown.
long ResidentKb();

// Every driver text of the link's library, each preceded by a blank.
std::vector<std::string> DriverTexts(std::uint8_t kind);

using Clock = std::chrono::steady_clock;
inline bool Before(Clock::time_point deadline) {
  return Clock::now() < deadline;
}

void SoakViews(SimLink& link, Clock::duration length, const Options& options, std::mt19937& random,
               Figures& figures);
void WritesUnderFaults(SimLink& link, Clock::duration length, std::mt19937& random,
                       Figures& figures);

void Print(const std::string& title, const Figures& figures);

// The first panel of a window's status bar.
std::string StatusOf(const TFormWindow& window);
// The value labels Label33 onwards, bit 0 of the first byte first.
std::string Labels(const TFormWindow& window, int count);

}  // namespace soak
