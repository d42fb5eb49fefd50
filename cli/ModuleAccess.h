// Every exchange qm90 makes with a module passes through this one class: it
// opens the link the way the connection window does, makes the typed
// exchanges, transfers configuration registers the way the settings windows
// do (each write read back) and closes the link again.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace qm90cli {

inline constexpr int kInterfaceKinds = 5;

// What the connection window takes from its fields.
struct LinkParams {
  std::uint8_t kind = 0;       // 0 COMx, 1 QB-311, 2 QB-312, 3 QB-313, 4 QB-314
  std::uint16_t com_port = 1;  // kept to 16 bits, as the window does
  std::uint16_t isa_base = 0x300;
  std::string ip;
  std::int32_t udp_port = 5000;
  std::int32_t udp_timeout = 100;  // ms
  std::uint8_t address = 0;
  std::int32_t baud = 9600;  // one of the nine rates
  std::int32_t timing = 0;   // SetConfig's timing value; 0: the rate's own
};

// One request and its answer, as --trace shows it.
struct ExchangeRecord {
  std::chrono::system_clock::time_point when;
  std::uint8_t address = 0;
  std::uint8_t command = 0;
  std::uint8_t subcode = 0;
  std::array<std::uint8_t, 5> sent{};
  std::uint8_t status = 0;
  std::array<std::uint8_t, 5> received{};
  std::int64_t microseconds = 0;
};
using TraceSink = std::function<void(const ExchangeRecord&)>;

// Status of a read-back that found another value than the one written.
inline constexpr std::uint8_t kStatusReadBackMismatch = 9;

class ModuleAccess {
 public:
  ModuleAccess() = default;
  ~ModuleAccess() { Close(); }
  ModuleAccess(const ModuleAccess&) = delete;
  ModuleAccess& operator=(const ModuleAccess&) = delete;

  void SetTrace(TraceSink sink) { trace_ = std::move(sink); }

  // Loads the kind's library, initialises and configures the link. Returns 0
  // or the code; on failure nothing stays open and message holds the driver's
  // text.
  std::int32_t OpenLine(const LinkParams& params, std::string& message);
  // OpenLine and the identification of the module at params.address; the
  // link stays open only when the module answered.
  std::int32_t Open(const LinkParams& params, std::string& message);
  // Configures the open line for another rate (one of the nine).
  std::int32_t SetRate(std::int32_t baud, std::string& message);
  void Close();
  bool IsOpen() const { return open_; }

  // Identification (three requests); name is type, " v.", version (the bytes
  // as Windows-1250 text).
  std::uint8_t Identify(std::uint8_t address, std::string& name);
  const std::string& ModuleName() const { return name_; }
  const LinkParams& Params() const { return params_; }

  // Requests to the module of Params().address.
  std::uint8_t ReadRegister(std::uint8_t reg, std::uint8_t& value);
  // Writes, reads back and compares: 0, the failing status, or
  // kStatusReadBackMismatch with read_back holding what the module holds.
  std::uint8_t WriteRegister(std::uint8_t reg, std::uint8_t value, std::uint8_t& read_back);
  std::uint8_t ReadInputs(std::uint8_t& inputs);
  std::uint8_t ReadStatus(std::uint32_t& status);
  std::uint8_t ClearStatus();
  std::uint8_t WriteOutputs(std::uint8_t outputs);
  std::uint8_t WriteAout(std::uint16_t value);

  // The driver's text of a status or code, UTF-8.
  std::string Text(std::int32_t code) const;

 private:
  std::uint8_t Transact(std::uint8_t address, std::uint8_t command, std::uint8_t subcode,
                        std::array<std::uint8_t, 5>& d);
  std::int32_t Configure(std::int32_t baud, std::string& message);

  LinkParams params_;
  std::string ip_text_;  // the Init block points at it while the link is open
  std::int32_t handle_ = 0;
  bool bound_ = false;  // the kind's library is loaded
  bool open_ = false;   // Init succeeded
  std::string name_;
  TraceSink trace_;
};

}  // namespace qm90cli
