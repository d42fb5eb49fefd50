// qm90-sim: serves the emulated modules of a Bus over UDP on a loopback
// address and over a pseudo-terminal published as COMn, with a line-based
// control interface on stdin/stdout and, optionally, on TCP connections to a
// loopback port.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "emulator/Bus.h"
#include "emulator/sim/Events.h"
#include "emulator/sim/Output.h"
#include "protocol/Frame.h"

namespace qm90sim {

struct SimOptions {
  std::string udp;      // HOST:PORT, empty = no UDP
  std::string serial;   // COMn, empty = no serial line
  std::string control;  // HOST:PORT of the control socket, empty = stdin only
  std::vector<int> addresses;
  std::string state_file;
  int drop_percent = 0;
  int corrupt_percent = 0;
  int delay_ms = 0;
  std::uint32_t seed = 1;
  int turnaround_ms = 2;  // from a request's last byte on the pty to its answer's first
  bool loopback = false;  // every module's DOUTk wired to its DINk
  bool verbose = false;
};

// Answers waiting for their time (delay fault, serial pace) at most; what
// comes beyond is dropped and counted.
inline constexpr std::size_t kMaxQueuedAnswers = 1000;
// Control connections besides stdin.
inline constexpr std::size_t kMaxControlClients = 8;
// A controller's lines are read at most this fast (bytes per window); endless
// input then costs little.
inline constexpr std::size_t kControlBytesPerWindow = 8192;
inline constexpr std::chrono::milliseconds kControlRateWindow{10};

// Parsers shared by the command line and the tests; false with a reason.
bool ParseLoopbackHostPort(const std::string& text, sockaddr_in& out, std::string& error);
bool ParseComName(const std::string& text, int& number, std::string& error);
std::string RuntimeLinkFolder();  // base::RuntimeFolder(), the folder the serial driver looks in

// One control line -> one reply line ("ok", "ok N" or "error ..."); sets quit.
std::string ExecuteControl(qm90::Bus& bus, qm90::FaultInjector& faults, const std::string& line,
                           bool& quit);

class Sim {
 public:
  explicit Sim(SimOptions options);
  ~Sim();
  Sim(const Sim&) = delete;
  Sim& operator=(const Sim&) = delete;

  // Sets everything up, prints the ready line and serves until a signal or
  // "quit". Returns the process exit code.
  int Run();

 private:
  using Clock = std::chrono::steady_clock;
  struct UdpAnswer {
    sockaddr_in to{};
    std::vector<std::uint8_t> bytes;
    unsigned copies = 1;  // two: the twin at the same address answers too
  };
  // One answer for the serial line: byte i leaves at start + (i + 1) * byte_time,
  // start moved on while another answer holds the line.
  struct PtyAnswer {
    Clock::time_point start;
    Clock::duration byte_time{};
    std::vector<std::uint8_t> bytes;
    std::size_t sent = 0;
    bool whole = false;  // a late answer: all its bytes at start
    Clock::time_point NextDue() const {
      if (whole) return start;
      return start + byte_time * static_cast<long long>(sent + 1);
    }
  };
  struct ControlClient {
    int in_fd = -1;
    bool socket = false;
    bool input_open = true;
    bool subscribed = false;
    bool discarding_long_line = false;
    std::string input;  // read, not yet handled
    OutputChannel out;
    std::chrono::steady_clock::time_point window_start{};
    std::size_t window_bytes = 0;
    bool HasLine() const { return input.find('\n') != std::string::npos; }
  };
  struct Counters {
    std::uint64_t requests = 0;
    std::uint64_t answered = 0;
    std::uint64_t fault_drops = 0;
    std::uint64_t queue_drops = 0;
    std::uint64_t send_failures = 0;
  };

  bool SetUp(std::string& error);
  bool LoadState(std::string& error);
  bool OpenUdp(std::string& error);
  bool OpenPty(std::string& error);
  bool OpenControl(std::string& error);
  bool PublishComLink(std::string& error);
  void Loop();
  int PollTimeoutNs(timespec& timeout) const;
  void ReadSignal();
  void AcceptControl();
  void ReadControl(ControlClient& client);
  void HandleControlLines(ControlClient& client);
  bool NextControlLine(ControlClient& client, std::string& line, bool& too_long);
  bool WantsInput(const ControlClient& client, Clock::time_point now) const;
  Clock::time_point InputResumes(const ControlClient& client) const;
  void Unplug();
  void RemoveComLink();
  bool Replug(std::string& error);
  // snapshot: the client has just subscribed and is to be told every value.
  std::string Execute(ControlClient& client, const std::string& line, bool& snapshot);
  std::string Stats() const;
  void DrainRequests();
  bool ReadUdp();
  bool ReadPty();
  // Where a request came from and where its answer goes.
  struct Line {
    bool udp = false;
    int baud = -1;  // baud index of the line, -1 when not one of the nine
    sockaddr_in from{};
    std::uint16_t sequence = 0;  // the datagram's, or the serial frame's sequence byte
    Clock::time_point heard{};   // when the request's last byte was on the line
    std::string Describe() const;
  };
  void Serve(const qm90::Request& request, const Line& line);
  bool StoreWrite(qm90::Module& module, const std::string& eeprom_before);
  // Queues or sends the answer; false when the queue is full. note: for the log.
  bool SendAnswer(const qm90::Answer& answer, const Line& line, bool twin, std::string& note);
  void SendDue();
  void SendDuePty(Clock::time_point now);
  void TransmitUdp(const UdpAnswer& out);
  std::size_t Queued() const { return udp_queue_.size() + pty_queue_.size(); }
  int PtyBaudIndex() const;
  Clock::duration PtyByteTime() const;
  void Publish(const std::string& line);
  std::string ReadyText() const;
  void PublishChanges();
  void SendSnapshot(ControlClient& client);
  void Log(const std::string& line);
  void CleanUp();

  SimOptions options_;
  qm90::Bus bus_;
  qm90::FaultInjector faults_;
  qm90::StreamScanner scanner_;
  std::multimap<Clock::time_point, UdpAnswer> udp_queue_;
  std::vector<PtyAnswer> pty_queue_;
  Clock::time_point rx_busy_until_{};  // the pty's request direction is busy until then
  Clock::time_point pty_line_free_{};  // the answer on the line ends then
  long pty_current_ = -1;              // index of the answer on the line, -1 none
  std::vector<std::unique_ptr<ControlClient>> clients_;  // [0] stdin/stdout
  OutputChannel log_;
  std::vector<ModuleView> views_;  // what subscribers were last told
  int faults_told_[3] = {-1, -1, -1};
  Counters counters_;
  bool stop_ = false;
  int udp_fd_ = -1;
  int udp_port_ = 0;
  int control_fd_ = -1;
  int control_port_ = 0;
  int pty_master_ = -1;
  int pty_slave_ = -1;
  std::string pty_path_;
  bool serial_present_told_ = true;
  std::string com_link_;
  int com_number_ = 0;
};

}  // namespace qm90sim
