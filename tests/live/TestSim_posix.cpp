#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "emulator/launcher/SimProcess.h"
#include "tests/common/TempFolder.h"
#include "tests/live/TestSim.h"

namespace livetest {
namespace {

constexpr int kComPort = 9;

}  // namespace

struct TestSim::TImpl {
  qm90sim::SimProcess sim;
  std::string folder;
  int com_port = 0;

  ~TImpl() {
    sim.Stop();
    std::error_code ignored;
    if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
  }

  // The pty's COM link is published in the runtime folder: one of the test's
  // own keeps it apart from tests running at the same time.
  bool UsePrivateRuntimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    folder = qm90test::MakeTempFolder("qm90-testsim-", runtime ? runtime : "/tmp");
    if (folder.empty()) return false;
    std::error_code ignored;
    std::filesystem::create_directories(folder + "/state", ignored);
    ::chmod(folder.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    ::setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
    return true;
  }
};

TestSim::TestSim() : impl_(std::make_unique<TImpl>()) {}
TestSim::~TestSim() = default;

bool TestSim::Start(bool serial) {
  std::vector<std::string> args = {"--udp", "127.0.0.1:0"};
  if (serial) {
    if (!impl_->UsePrivateRuntimeFolder()) return false;
    args.insert(args.end(), {"--serial", "COM" + std::to_string(kComPort)});
    impl_->com_port = kComPort;
  }
  return impl_->sim.Start(args);
}

std::string TestSim::Error() const {
  return impl_->sim.Error();
}

int TestSim::UdpPort() const {
  return impl_->sim.UdpPort();
}

int TestSim::ComPort() const {
  return impl_->com_port;
}

qm90sim::SimControl& TestSim::Control() {
  return impl_->sim;
}

std::string TestSim::DriverDirectory() {
  return qm90sim::BinDir();
}

}  // namespace livetest
