// Linux: a qm90-sim of the test's own. Its pty is published in a runtime
// folder of the test's own, so that its COM name meets no other test's, and
// whatever it keeps goes to a state folder of the test's own.
#include <sys/stat.h>

#include <cstdlib>
#include <optional>

#include "emulator/launcher/SimProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSim.h"

namespace qm90test {

namespace {

constexpr int kCom = 7;

// Sets an environment variable for the object's lifetime (the driver library
// in this process and the emulator it starts both read it), then puts the
// earlier value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace

// Members end in reverse order: the emulator first, then the variables, then
// the folder.
struct TestSim::TImpl {
  TempDir folder{"qm90-sim-test"};
  std::optional<ScopedEnv> runtime;
  std::optional<ScopedEnv> state;
  qm90sim::SimProcess sim;
};

TestSim::TestSim() : impl_(std::make_unique<TImpl>()) {}
TestSim::~TestSim() = default;

bool TestSim::Start(bool serial) {
  TImpl& impl = *impl_;
  if (impl.folder.Path().empty()) {
    error_ = "no temporary folder for the emulator";
    return false;
  }
  const std::string runtime = impl.folder.File("runtime");
  mkdir(runtime.c_str(), 0700);
  impl.runtime.emplace("XDG_RUNTIME_DIR", runtime);
  impl.state.emplace("XDG_STATE_HOME", impl.folder.File("state"));
  std::vector<std::string> args{"--udp", "127.0.0.1:0"};
  if (serial) args.insert(args.end(), {"--serial", "COM" + std::to_string(kCom)});
  if (!impl.sim.Start(args)) {
    error_ = impl.sim.Error();
    return false;
  }
  com_ = serial ? kCom : 0;
  return true;
}

bool TestSim::Shared() const {
  return false;
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

}  // namespace qm90test
