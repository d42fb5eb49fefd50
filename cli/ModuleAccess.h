// Every exchange qm90 makes with a module passes through this one class: it
// opens the link with the session layer's OpenLink (as the connection window
// does), makes the session layer's typed exchanges and register transfers,
// and closes the link again. --trace hangs on the session layer's exchange
// observer.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "link/Commands.h"
#include "link/Dekl.h"

namespace qm90cli {

// What the connection window takes from its fields.
struct LinkParams {
  std::uint8_t kind = 0;       // a kind of link/InterfaceKinds.h
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
  std::int32_t answers = 0;  // 2 or more: two modules answered (0: not counted)
};
using TraceSink = std::function<void(const ExchangeRecord&)>;

class ModuleAccess {
 public:
  ModuleAccess();
  ~ModuleAccess() { Close(); }
  ModuleAccess(const ModuleAccess&) = delete;
  ModuleAccess& operator=(const ModuleAccess&) = delete;

  void SetTrace(TraceSink sink) { trace_ = std::move(sink); }
  // Asks the library to listen this long after each answer for a second one
  // (two modules at one address); 0, the default: it does not wait.
  void ListenForSecondAnswers(std::int32_t ms) { listen_ms_ = ms; }

  // Loads the kind's library, initialises and configures the link. Returns 0
  // or the code; on failure nothing stays open and message names the step
  // that failed, its code and the driver's text.
  std::int32_t OpenLine(const LinkParams& params, std::string& message);
  // OpenLine and the identification of the module at params.address; the
  // link stays open only when the module answered.
  std::int32_t Open(const LinkParams& params, std::string& message);
  // Configures the open line for another rate (one of the nine) and timing
  // value (0: the rate's own).
  std::int32_t SetRate(std::int32_t baud, std::int32_t timing, std::string& message);
  void Close();
  bool IsOpen() const { return LinkIsOpen(&data_); }
  // The driver host failed: nothing more can pass until the link is opened anew.
  bool LinkLost() const;

  // Identification (three requests); name is type, " v.", version (the bytes
  // as Windows-1250 text).
  std::uint8_t Identify(std::uint8_t address, std::string& name);
  const std::string& ModuleName() const { return name_; }
  // The open link's library is the bundled emulation: no real module answers.
  bool Emulated() const;
  const LinkParams& Params() const { return params_; }

  // Requests to the module of Params().address. Registers go through the
  // session layer's transfers, with each register's policy.
  // Reads the registers in order; store(reg, value) for each; 0 or the
  // failing status with failed_reg its register.
  std::uint8_t ReadRegisters(std::span<const std::uint8_t> regs,
                             const std::function<void(std::uint8_t, std::uint8_t)>& store,
                             std::uint8_t& failed_reg);
  // One register through the same transfer.
  std::uint8_t ReadRegister(std::uint8_t reg, std::uint8_t& value);
  // Writes, reads back and compares: 0, the failing status, or
  // kStatusReadBackMismatch with read_back holding what the module holds.
  std::uint8_t WriteRegister(std::uint8_t reg, std::uint8_t value, std::uint8_t& read_back);
  std::uint8_t ReadInputs(std::uint8_t& inputs);
  std::uint8_t ReadStatus(std::uint32_t& status);
  std::uint8_t ClearStatus();
  std::uint8_t WriteOutputs(std::uint8_t outputs);
  std::uint8_t WriteAout(std::uint16_t value);

  // The driver's text of a status or code, UTF-8, control characters made
  // visible; "code N; the library gave no text" when it has none.
  std::string Text(std::int32_t code) const;

 private:
  TModuleLink Link(std::uint8_t address) const;
  std::int32_t OpenWith(const LinkParams& params, bool identify, std::string& message);

  LinkParams params_;
  TData data_;  // the session record: Init block, the IP text it points at, the handle
  std::string name_;
  TraceSink trace_;
  std::int32_t listen_ms_ = 0;
  TExchangeObserver observer_;  // hands the session layer's records to trace_
};

}  // namespace qm90cli
