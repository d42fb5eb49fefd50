#include "tests/drivers/Harness.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "emulator/launcher/SimProcess.h"
#include "link/QBLxxx.h"

namespace drvtest {

std::int32_t Session::Open(const TInitBlock& block) {
  Close();
  const std::int32_t code = DrvOpen(kind_, &handle_, &block);
  open_ = code == 0;
  return code;
}

std::int32_t Session::OpenSerial(int com_number) {
  TInitBlock block{};
  block[0] = com_number;
  return Open(block);
}

std::int32_t Session::OpenUdp(int port, std::intptr_t timeout_ms, const std::string& ip) {
  ip_ = ip;
  TInitBlock block{};
  block[0] = reinterpret_cast<std::intptr_t>(ip_.c_str());
  block[1] = port;
  block[2] = timeout_ms;
  return Open(block);
}

std::int32_t Session::OpenInProcess(std::int32_t isa_base) {
  TInitBlock block{};
  if (kind_ == kIsa) block[0] = isa_base;
  return Open(block);
}

std::int32_t Session::Configure(std::int32_t baud) {
  return DrvSetConfig(kind_, handle_, baud, TimingFromIndex(IndexFromBaud(baud)), 2);
}

std::int32_t Session::Close() {
  std::int32_t code = 0;
  if (open_) code = DrvClose(kind_, &handle_);
  open_ = false;
  return code;
}

Reply Session::Transact(std::uint8_t address, std::uint8_t command, std::uint8_t subcode,
                        std::array<std::uint8_t, 5> d) {
  Reply reply;
  TSlotBuffer answer{};
  ModuleTransact(kind_, handle_, address, command, subcode, d[0], d[1], d[2], d[3], d[4],
                 reply.status, answer);
  reply.d = d;
  return reply;
}

Reply Session::ReadRegister(std::uint8_t reg, std::uint8_t address) {
  return Transact(address, 102, 0, {0, reg, reg, 0, 0});
}

Reply Session::WriteRegister(std::uint8_t reg, std::uint8_t value, std::uint8_t address) {
  return Transact(address, 103, 0, {0, reg, reg, value, value});
}

std::string Session::Identify(std::uint8_t address) {
  std::string name;
  std::uint8_t d0 = 0;
  for (std::uint8_t subcode = 0; subcode < 3; ++subcode) {
    if (subcode == 2) name += " v.";
    const Reply reply = Transact(address, 200, subcode, {d0, 0, 0, 0, 0});
    if (reply.status != 0) return "status " + std::to_string(reply.status);
    d0 = reply.d[0];
    for (int i = 1; i < 5; ++i) name += static_cast<char>(reply.d[i]);
  }
  return name;
}

std::string UseOwnFolders() {
  static const std::string base = [] {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return std::string(runtime != nullptr ? runtime : "/tmp");
  }();
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("drv-") + info->test_suite_name() + "-" + info->name();
  std::replace(name.begin(), name.end(), '/', '_');
  const std::string folder = base + "/" + name + "-" + std::to_string(getpid());
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder + "/state");
  chmod(folder.c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
  setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
  return folder;
}

OwnFolders::~OwnFolders() {
  if (!::testing::Test::HasFailure()) {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
}

// QM90_TEST_DRIVER_HOST set: the same tests with every library in the driver host.
void UseBuiltDrivers() {
  SetDriverDirectory(qm90sim::BinDir());
  SetDriverHostDirectory(qm90sim::BinDir());
  SetDriverIsolation(std::getenv("QM90_TEST_DRIVER_HOST") != nullptr
                         ? DriverIsolation::kAlways
                         : DriverIsolation::kWhenNeeded);
}

}  // namespace drvtest
