// The qm90-sim a window test talks to over UDP on 127.0.0.1 or a serial link:
// on Linux one of the test's own, started here; under Wine the one the test
// run serves, found by the ports it names (QM90_SIM_UDP_PORT, QM90_SIM_COM,
// QM90_SIM_CONTROL).
#pragma once

#include <memory>
#include <string>

#include "emulator/launcher/SimControl.h"

namespace livetest {

class TestSim {
 public:
  TestSim();
  ~TestSim();
  TestSim(const TestSim&) = delete;
  TestSim& operator=(const TestSim&) = delete;

  // Starts or finds the emulator, with `serial` also serving a COM port;
  // false, with Error(), when there is none.
  bool Start(bool serial = false);
  std::string Error() const;
  int UdpPort() const;
  // The number n of the COMn the serial driver opens (0 without `serial`).
  int ComPort() const;
  // Its control lines (inputs, faults, get ...).
  qm90sim::SimControl& Control();
  // Where the program's driver libraries lie.
  static std::string DriverDirectory();

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

}  // namespace livetest
