// The qm90-sim a window test talks to over UDP on 127.0.0.1 or a serial link.
// On Linux each test starts its own, with its runtime and state folders in a
// folder of the test's own. Under Wine it is the one ./test --windows started
// for the whole run, named by QM90_SIM_UDP_PORT, QM90_SIM_COM and
// QM90_SIM_CONTROL: shared by the test programs, so a test that changes a
// module puts it back.
#pragma once

#include <memory>
#include <string>

#include "emulator/launcher/SimControl.h"

namespace qm90test {

class TestSim {
 public:
  TestSim();
  ~TestSim();
  TestSim(const TestSim&) = delete;
  TestSim& operator=(const TestSim&) = delete;

  // Starts or finds the emulator, with `serial` also serving a COM port;
  // false, with Error(), when there is none to talk to.
  bool Start(bool serial = false);
  const std::string& Error() const { return error_; }
  // True for the run's emulator under Wine: a test may skip without it.
  bool Shared() const;

  int UdpPort() const;
  // The n of the COMn the serial driver opens (0 without `serial`).
  int ComPort() const { return com_; }
  // Its control lines (inputs, faults, power, get ...).
  qm90sim::SimControl& Control();

  // Where the program's driver libraries and qm90-drvhost lie.
  static std::string DriverDirectory();

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
  std::string error_;
  int com_ = 0;
};

}  // namespace qm90test
