// One link through the program's own binding (DrvOpen .. ModuleTransact) and a
// private runtime/state folder per test, for the driver library tests.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/Dekl.h"

namespace drvtest {

inline constexpr std::uint8_t kSerial = 0;
inline constexpr std::uint8_t kIsa = 1;
inline constexpr std::uint8_t kPci = 2;
inline constexpr std::uint8_t kUsb = 3;
inline constexpr std::uint8_t kLan = 4;

// Library codes the tests name.
inline constexpr std::int32_t kPortOpenFailed = 1;
inline constexpr std::int32_t kInvalidParameter = 2;
inline constexpr std::int32_t kTimeout = 3;
inline constexpr std::int32_t kDamagedAnswer = 4;
inline constexpr std::int32_t kCommandRefused = 5;
inline constexpr std::int32_t kRegisterRefused = 6;
inline constexpr std::int32_t kValueRefused = 7;
inline constexpr std::int32_t kInvalidHandle = 8;
inline constexpr std::int32_t kUnsupportedBaud = 11;
inline constexpr std::int32_t kInvalidIpAddress = 12;
inline constexpr std::int32_t kUdpPortRange = 13;
inline constexpr std::int32_t kUdpTimeoutRange = 14;
inline constexpr std::int32_t kIsaBaseRange = 15;
inline constexpr std::int32_t kPortWriteFailed = 17;
inline constexpr std::int32_t kEepromSaveFailed = 20;
inline constexpr std::int32_t kStateDamaged = 23;

struct Reply {
  std::uint8_t status = 0xEE;
  std::array<std::uint8_t, 5> d{};
};

class Session {
 public:
  explicit Session(std::uint8_t kind) : kind_(kind) {}
  ~Session() { Close(); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  std::int32_t Open(const TInitBlock& block);
  std::int32_t OpenSerial(int com_number);
  std::int32_t OpenUdp(int port, std::intptr_t timeout_ms = 300,
                       const std::string& ip = "127.0.0.1");
  std::int32_t OpenInProcess(std::int32_t isa_base = 0x300);
  std::int32_t Configure(std::int32_t baud);  // the connection dialog's SetConfig call
  std::int32_t Close();

  Reply Transact(std::uint8_t address, std::uint8_t command, std::uint8_t subcode,
                 std::array<std::uint8_t, 5> d = {});
  Reply ReadRegister(std::uint8_t reg, std::uint8_t address = 1);
  Reply WriteRegister(std::uint8_t reg, std::uint8_t value, std::uint8_t address = 1);
  // The connection dialog's identification: 200 with sub-codes 0, 1, 2, d0 chained.
  std::string Identify(std::uint8_t address = 1);

  std::uint8_t kind() const { return kind_; }
  std::int32_t handle() const { return handle_; }

 private:
  std::uint8_t kind_;
  std::int32_t handle_ = 0;
  bool open_ = false;
  std::string ip_;  // the Init block points into it
};

// Gives the running test folders of its own: XDG_RUNTIME_DIR (COMn links of
// qm90-sim) and XDG_STATE_HOME (in-process EEPROM files). Returns the folder.
std::string UseOwnFolders();

// UseOwnFolders for the lifetime of a fixture; the folders go when the test
// passed and stay for a look when it failed.
class OwnFolders {
 public:
  OwnFolders() : path_(UseOwnFolders()) {}
  ~OwnFolders();
  OwnFolders(const OwnFolders&) = delete;
  OwnFolders& operator=(const OwnFolders&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Points the binding at build/bin.
void UseBuiltDrivers();

}  // namespace drvtest
