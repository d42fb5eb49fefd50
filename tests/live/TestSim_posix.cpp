#include "emulator/launcher/SimProcess.h"
#include "tests/live/TestSim.h"

namespace livetest {

struct TestSim::TImpl {
  qm90sim::SimProcess sim;
};

TestSim::TestSim() : impl_(std::make_unique<TImpl>()) {}
TestSim::~TestSim() = default;

bool TestSim::Start() {
  return impl_->sim.Start({"--udp", "127.0.0.1:0"});
}

std::string TestSim::Error() const {
  return impl_->sim.Error();
}

int TestSim::UdpPort() const {
  return impl_->sim.UdpPort();
}

qm90sim::SimControl& TestSim::Control() {
  return impl_->sim;
}

std::string TestSim::DriverDirectory() {
  return qm90sim::BinDir();
}

}  // namespace livetest
