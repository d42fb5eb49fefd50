// Runs the real qm90-sim for a test or a benchmark: starts it with arguments, waits for its
// ready line, talks to its control interface (stdin/stdout lines) and stops it
// by its PID. Only 127.0.0.1 is ever used.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "emulator/launcher/SimControl.h"

namespace qm90sim {

class SimProcess : public SimControl {
 public:
  SimProcess() = default;
  ~SimProcess() override;  // stops the process (SIGTERM, then SIGKILL)
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Starts build/bin/qm90-sim with the given arguments (e.g. {"--udp",
  // "127.0.0.1:0", "--serial", "COM7"}) and waits up to 10 s for the ready
  // line. Returns false (with Error() set) when it does not come.
  bool Start(const std::vector<std::string>& args);
  void Stop();
  bool Running() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }

  int UdpPort() const { return udp_port_; }          // from the ready line, 0 without --udp
  std::string PtyPath() const { return pty_path_; }  // from the ready line
  std::string ReadyLine() const { return ready_line_; }
  std::string Error() const { return error_; }

  // Sends one control line to the child's stdin, returns its reply line.
  std::string Control(const std::string& line) override;
  // Closes the simulator's stdin (end of control input; it keeps serving).
  void CloseControl();

 private:
  pid_t pid_ = -1;
  int to_child_ = -1;
  int from_child_ = -1;
  int udp_port_ = 0;
  std::string pty_path_;
  std::string ready_line_;
  std::string error_;
  std::string pending_;
  bool ReadLine(std::string& line, int timeout_ms);
};

// Folder of the built programs and libraries (build/bin).
std::string BinDir();

}  // namespace qm90sim
