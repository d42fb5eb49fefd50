// What a test or benchmark asks of a running qm90-sim on its control channel,
// whichever way the lines travel: a child's stdin and stdout (SimProcess) or
// a TCP connection to its --control port on 127.0.0.1.
#pragma once

#include <cstdint>
#include <string>

namespace qm90sim {

class SimControl {
 public:
  virtual ~SimControl() = default;

  // Sends one control line, returns the reply line ("ok ..." or "error ...").
  virtual std::string Control(const std::string& line) = 0;

  // Convenience wrappers around Control; return false on an error reply.
  bool SetInputs(int address, std::uint8_t terminals);
  bool SetStatusBits(int address, std::uint32_t mask);
  bool PowerCycle(int address);
  bool SetFaults(int drop_percent, int corrupt_percent, int delay_ms);
  bool SetLoopback(int address, bool wired);
  // input: DINk, else DOUTk; level 0 or 1, -1 clears.
  bool SetStuck(int address, bool input, int channel, int level);
  bool SetTwin(int address, bool present);
  // "get ADDR WHAT" -> number; -1 on error. WHAT: outputs, aout, status,
  // inputs, address, baud, reg N.
  long Get(int address, const std::string& what);
};

}  // namespace qm90sim
