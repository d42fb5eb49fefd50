// Typed exchanges with the module: one function per thing the program asks of
// it, each built on ModuleTransact. Callers name what they do; the command
// codes and register numbers live in base/ModuleCommands.h.
//
// Every exchange returns its status as std::uint8_t: 0 on success, otherwise
// the code whose text ErrorText(link.kind, status) gives (library codes 1..99,
// binding code 10, 255 for a code without a byte of its own). A link with
// handle 0 sends nothing and returns 255, never success. Out-arguments are
// written only on success. Nothing here checks LinkOpen: callers test
// LinkIsOpen(record) first and show kLinkNotOpenText when it is false.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "base/ModuleCommands.h"
#include "base/ReservedCodes.h"
#include "link/Dekl.h"

// The five data bytes of a request and of its answer.
using TDataBytes = std::array<std::uint8_t, 5>;

// One request and its answer, as an exchange observer sees it.
struct TExchangeRecord {
  std::uint8_t address = 0;
  std::uint8_t command = 0;
  std::uint8_t subcode = 0;
  TDataBytes sent{};
  std::uint8_t status = 0;
  TDataBytes received{};
  std::int64_t microseconds = 0;  // time spent in the library
  // How many answers the library saw to the request (QBL_ANSWER_COUNT_SLOT):
  // 2 or more when two modules at one address answered; 0 when it does not
  // count or the exchange failed.
  std::int32_t answers = 0;
};
using TExchangeObserver = std::function<void(const TExchangeRecord&)>;

// What every exchange needs: the interface kind, the driver's handle and the
// module's address. `observer`, when set, is told of every exchange made over
// the link once its answer is in (the windows set none).
struct TModuleLink {
  std::uint8_t kind = 0;
  std::int32_t handle = 0;
  std::uint8_t address = 0;
  const TExchangeObserver* observer = nullptr;
  // How long the library is asked to listen for a second answer after each
  // answer (a search looking for two modules at one address); 0: not at all.
  std::int32_t listen_ms = 0;
};

// The link of the run's record, to the module at the record's address.
TModuleLink LinkOf(const TData& data);

// The one text every window shows when it is asked to talk without a link.
inline constexpr const char* kLinkNotOpenText = " Připojení k modulu není inicializováno.";

// True when the record is set, LinkOpen is set and the handle is not 0: only
// then may anything be sent.
bool LinkIsOpen(const TData* data);

// One raw exchange: sends command/sub-code with d, and on success leaves the
// answer's d0..d4 in d (on failure d is all 0). Returns the status.
std::uint8_t Exchange(const TModuleLink& link, std::uint8_t command, std::uint8_t subcode,
                      TDataBytes& d);

// Digital inputs DIN0..DIN7 (bit k = DINk) into `inputs`.
std::uint8_t ReadInputs(const TModuleLink& link, std::uint8_t& inputs);
// Digital outputs DOUT0..DOUT7 (bit k = DOUTk).
std::uint8_t WriteOutputs(const TModuleLink& link, std::uint8_t outputs);
// The analog output, 0..65535.
std::uint8_t WriteAnalogOutput(const TModuleLink& link, std::uint16_t value);
// The four bytes of the 32-bit status register, as the answer's d1..d4.
std::uint8_t ReadStatusRegister(const TModuleLink& link, std::array<std::uint8_t, 4>& bytes);
std::uint8_t ClearStatusRegister(const TModuleLink& link);

// One configuration register into `value`. `echo` goes into d3 and d4 of the
// request (0 for a plain read; the analog-output dialog repeats the value it
// has just written there).
std::uint8_t ReadRegister(const TModuleLink& link, std::uint8_t reg, std::uint8_t& value,
                          std::uint8_t echo = 0);
// Writes one configuration register, without reading it back.
std::uint8_t WriteRegister(const TModuleLink& link, std::uint8_t reg, std::uint8_t value);

// Status of a read-back that differs from the value written, and its text.
inline constexpr std::uint8_t kStatusReadBackMismatch = qm90codes::kReadBackMismatch;
inline constexpr const char* kReadBackMismatchText = "Chyba zápisu dat.";

// How a written register is read back.
struct TReadBack {
  bool echo_value = false;      // the read-back request carries the value in d3 and d4
  std::function<void()> pause;  // called between the write and the read-back, when set
};

// Outcome of a write with read-back.
struct TCheckedWrite {
  std::uint8_t status = 0;  // of the failing exchange; 0 when both exchanges succeeded
  bool mismatch = false;    // both succeeded but the module holds `held`, not the value
  std::uint8_t held = 0;    // what the read-back returned
  bool ok() const { return status == 0 && !mismatch; }
};

// Writes a register, reads it back and compares. Nothing is rolled back.
TCheckedWrite WriteRegisterChecked(const TModuleLink& link, std::uint8_t reg, std::uint8_t value,
                                   const TReadBack& read_back = {});

// The byte of a register in a configuration image (registers 32..34: the
// first byte of their group; 35/36: low/high byte of AoutInit), and the store
// of one into it. Other numbers read as 0 and store nothing.
std::uint8_t RegisterOfConfig(const TModuleConfig& config, std::uint8_t reg);
void StoreRegisterInConfig(TModuleConfig& config, std::uint8_t reg, std::uint8_t value);

// One identification request (command 200): `d0` goes out and comes back with
// the module's answer; `chars` gets the answer's d1..d4.
std::uint8_t IdentifyPart(const TModuleLink& link, std::uint8_t subcode, std::uint8_t& d0,
                          std::array<std::uint8_t, 4>& chars);

// The three identification requests in a row, each carrying the d0 the one
// before returned. On success `name` is the fifteen-character text: the eight
// type characters, " v." and the four version characters (a zero byte shows as
// a blank). On failure `name` is untouched and the first failing status is
// returned.
std::uint8_t Identify(const TModuleLink& link, std::string& name);
