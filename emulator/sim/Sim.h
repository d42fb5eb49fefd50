// qm90-sim: serves the emulated modules of a Bus over UDP on a loopback
// address and over a pseudo-terminal published as COMn, with a line-based
// control interface on stdin/stdout.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "emulator/Bus.h"
#include "protocol/Frame.h"

namespace qm90sim {

struct SimOptions {
  std::string udp;     // HOST:PORT, empty = no UDP
  std::string serial;  // COMn, empty = no serial line
  std::vector<int> addresses;
  std::string state_file;
  int drop_percent = 0;
  int corrupt_percent = 0;
  int delay_ms = 0;
  std::uint32_t seed = 1;
  bool verbose = false;
};

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
  struct Outgoing {
    Clock::time_point due;
    bool udp = false;
    sockaddr_in to{};
    std::vector<std::uint8_t> bytes;
  };

  bool SetUp(std::string& error);
  bool LoadState(std::string& error);
  bool OpenUdp(std::string& error);
  bool OpenPty(std::string& error);
  bool PublishComLink(std::string& error);
  void Loop();
  int PollTimeoutMs() const;
  void ReadSignal();
  void ReadControl();
  void ReadUdp();
  void ReadPty();
  // Where a request came from and where its answer goes.
  struct Line {
    bool udp = false;
    int baud = -1;  // baud index of the line, -1 when not one of the nine
    sockaddr_in from{};
    std::uint16_t sequence = 0;  // the datagram's, or the serial frame's sequence byte
    std::string Describe() const;
  };
  void Serve(const qm90::Request& request, const Line& line);
  std::string SendAnswer(const qm90::Answer& answer, const Line& line);  // log note
  void SendDue();
  void Transmit(const Outgoing& out);
  bool SaveState();  // false (and logged) when the state file could not be stored
  int PtyBaudIndex() const;
  void Log(const std::string& line) const;
  void CleanUp();

  SimOptions options_;
  qm90::Bus bus_;
  qm90::FaultInjector faults_;
  qm90::StreamScanner scanner_;
  std::deque<Outgoing> outgoing_;
  std::string control_buffer_;
  bool discarding_long_line_ = false;
  bool stdin_open_ = true;
  bool stop_ = false;
  int udp_fd_ = -1;
  int udp_port_ = 0;
  int pty_master_ = -1;
  int pty_slave_ = -1;
  std::string pty_path_;
  std::string com_link_;
  int com_number_ = 0;
};

}  // namespace qm90sim
