// Linux: a qm90-sim of the test's own, with its pty published in a runtime
// folder of the test's own, so that its COM name meets no other test's.
#include <sys/stat.h>

#include <cstdlib>

#include "emulator/launcher/SimProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSim.h"

namespace qm90test {

namespace {
constexpr int kCom = 7;
}

struct TestSim::TImpl {
  TempDir folder{"qm90-sim-test"};
  qm90sim::SimProcess sim;
  std::string why;
};

TestSim::TestSim() : impl_(std::make_unique<TImpl>()) {}
TestSim::~TestSim() = default;

bool TestSim::Start(bool serial) {
  const std::string runtime = impl_->folder.File("runtime");
  mkdir(runtime.c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  setenv("XDG_STATE_HOME", impl_->folder.File("state").c_str(), 1);
  std::vector<std::string> args{"--udp", "127.0.0.1:0"};
  if (serial) args.insert(args.end(), {"--serial", "COM" + std::to_string(kCom)});
  if (impl_->sim.Start(args)) return true;
  impl_->why = impl_->sim.Error();
  return false;
}
const std::string& TestSim::Why() const {
  return impl_->why;
}
bool TestSim::Shared() const {
  return false;
}
int TestSim::UdpPort() const {
  return impl_->sim.UdpPort();
}
int TestSim::ComPort() const {
  return kCom;
}
long TestSim::Get(int address, const std::string& what) {
  return impl_->sim.Get(address, what);
}
bool TestSim::PowerCycle(int address) {
  return impl_->sim.PowerCycle(address);
}

std::string DriverFolder() {
  return qm90sim::BinDir();
}

}  // namespace qm90test
