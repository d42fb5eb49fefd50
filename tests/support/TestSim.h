// The qm90-sim a window test talks to on 127.0.0.1. On Linux each test starts
// its own. Under Wine it is the one ./test --windows started for the whole run,
// named by QM90_SIM_UDP_PORT, QM90_SIM_COM and QM90_SIM_CONTROL: shared by the
// test programs, so a test that changes a module puts it back.
#pragma once

#include <memory>
#include <string>

namespace qm90test {

class TestSim {
 public:
  TestSim();
  ~TestSim();
  TestSim(const TestSim&) = delete;
  TestSim& operator=(const TestSim&) = delete;

  // With a serial port when `serial`. False, with Why(), when there is no
  // emulator to talk to.
  bool Start(bool serial);
  const std::string& Why() const;
  bool Shared() const;

  int UdpPort() const;
  int ComPort() const;  // the n of COMn

  // Its control channel: "get ADDR WHAT" as a number (-1 on an error), and a
  // power cycle of the module at ADDR.
  long Get(int address, const std::string& what);
  bool PowerCycle(int address);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

// The folder of the real driver libraries and qm90-drvhost.
std::string DriverFolder();

}  // namespace qm90test
