// The scripted test driver library: exports the seven entries of a QBL31x.DLL,
// records every call and answers from a script. The script and the record live
// in the test program (exported function qm90_scripted_state), so they survive
// the binding unloading and reloading the library. The library is built once
// per kind, as QBL310.DLL .. QBL314.DLL in the test folder (not build/bin).
//
// Without a test program that defines qm90_scripted_state the library acts as
// a benign module: Init succeeds (handle 1), Send answers zeros, Error gives
// "kod <code>".
//
// Per test, typically:
//   scripted::Reset();
//   scripted::Script().answers.push_back(scripted::Fail(7));
//   scripted::Script().responder = scripted::ModuleResponder();
//   scripted::Script().module.inputs = 0x81;
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace scripted {

enum class Entry { Version, Init, SetConfig, GetConfig, Send, Done, Error };

struct Call {
  Entry entry = Entry::Version;
  int kind = 0;                          // 0..4: which QBL31x the library was built as
  std::int32_t handle = 0;               // handle argument (SetConfig, Send) or *handle (Done)
  std::int32_t args[3] = {};             // Init param / SetConfig baud, timing, mode / Error code
  std::uint8_t request[8] = {};          // Send: low bytes of request slots 0..7
  std::int32_t request_slots[100] = {};  // Send: the whole request buffer
  std::intptr_t init_block[16] = {};     // Init of kind 4: the block copy
  std::string ip_text;                   // Init of kind 4: text at block slot 0
};

// What Send answers. result != 0 is returned by Send itself; status goes to the
// exchange status argument; returned to the returned-value argument; answer_slots to
// answer slots 0..3.
struct Answer {
  std::int32_t result = 0;
  std::int32_t status = 0;
  std::int32_t returned = 0;
  std::int32_t answer_slots[4] = {};
  int delay_ms = 0;  // Send sleeps this long first (a slow module)
};

// Hostile modes for reliability tests.
struct Hostile {
  bool garbage_answer = false;      // Send writes 0xDEADBEEF into all 100 answer slots
  bool unterminated_error = false;  // Error fills all 100 slots with 'X', no zero
  bool zero_handle_init = false;    // Init returns 0 but stores handle 0
  bool silent_send = false;         // Send returns 0 and writes nothing at all
};

// A minimal module for ModuleResponder: identification, configuration
// registers, inputs, outputs, analog output and status register.
struct FakeModule {
  std::string type = "QM-90-01";  // command 200, sub-codes 0 and 1 (8 bytes)
  std::string version = "1.02";   // command 200, sub-code 2 (4 bytes)
  // Factory configuration: outputs init 0, negations FF, AOUT init 0, baud
  // index 4, address 1. Unknown registers read as 0.
  std::map<int, std::uint8_t> registers = {{32, 0x00}, {33, 0xFF}, {34, 0xFF}, {35, 0},
                                           {36, 0},    {62, 4},    {63, 1}};
  std::uint8_t inputs = 0;      // command 0/64 answers it in d1
  std::uint8_t outputs = 0;     // set by command 1/64 (d1)
  std::uint16_t aout = 0;       // set by command 1/0 (d1 low, d2 high)
  std::uint32_t status = 0x10;  // command 100: d1 = bits 0..7 ... d4 = bits 24..31
  int status_clears = 0;        // command 101 count (it also zeroes status)
  // When non-zero, requests to another address than register 63 fail with
  // this status (as a driver's time-out would).
  std::int32_t wrong_address_status = 0;
  // Status for commands the module does not know.
  std::int32_t unknown_command_status = 1;
};

struct State {
  // Script
  std::int32_t init_result = 0;
  std::int32_t init_handle = 4711;  // stored by a successful Init
  std::int32_t version = 0x0102;    // what Version returns
  std::int32_t set_config_result = 0;
  std::int32_t done_result = 0;
  std::int32_t done_handle = 0;  // what Done leaves in the handle variable
  std::deque<Answer> answers;    // consumed first, one per Send
  // Used when answers is empty; given the 8 request bytes. Default: all zero.
  std::function<Answer(const std::uint8_t request[8])> responder;
  // Error texts: the bytes (Windows-1250 codes) go one per slot starting at
  // slot 0, followed by a zero slot; at most 99 bytes are used. A code
  // without an entry gets "kod <code>" (ASCII).
  std::map<std::int32_t, std::string> error_texts;
  Hostile hostile;
  FakeModule module;  // used by ModuleResponder()

  // Record
  std::vector<Call> calls;
  int loads = 0;    // library constructor runs
  int unloads = 0;  // library destructor runs

  void Reset() { *this = State(); }
  std::vector<Call> CallsOf(Entry entry) const {
    std::vector<Call> out;
    for (const Call& c : calls)
      if (c.entry == entry) out.push_back(c);
    return out;
  }
};

}  // namespace scripted

// Defined by the test program (tests/scripted/ScriptedHost.cpp, linked into the
// test executable, which must export its symbols: ENABLE_EXPORTS).
extern "C" scripted::State* qm90_scripted_state();

namespace scripted {

// The state the loaded libraries use. Never destroyed, so libraries unloaded
// at process exit can still count themselves.
inline State& Script() {
  return *qm90_scripted_state();
}
inline void Reset() {
  Script().Reset();
}

// A successful answer carrying d0..d4.
inline Answer Ok(std::uint8_t d0 = 0, std::uint8_t d1 = 0, std::uint8_t d2 = 0, std::uint8_t d3 = 0,
                 std::uint8_t d4 = 0) {
  Answer a;
  a.returned = d0;
  a.answer_slots[0] = d1;
  a.answer_slots[1] = d2;
  a.answer_slots[2] = d3;
  a.answer_slots[3] = d4;
  return a;
}

// An exchange that fails with the given status (Send itself returns 0).
inline Answer Fail(std::int32_t status) {
  Answer a;
  a.status = status;
  return a;
}

// Send itself fails with the given result.
inline Answer SendFails(std::int32_t result) {
  Answer a;
  a.result = result;
  return a;
}

// One module request as the library receives it.
struct Request {
  std::uint8_t address, command, subcode, d0, d1, d2, d3, d4;
};
inline Request Decode(const std::uint8_t request[8]) {
  return {request[0], request[1], request[2], request[3],
          request[4], request[5], request[6], request[7]};
}

// The answer Script().module gives to one request.
Answer ModuleAnswer(FakeModule& module, const Request& r);

// A responder that answers like Script().module.
inline std::function<Answer(const std::uint8_t request[8])> ModuleResponder() {
  return
      [](const std::uint8_t request[8]) { return ModuleAnswer(Script().module, Decode(request)); };
}

// The requests of all Send calls so far, in order.
inline std::vector<Request> SentRequests() {
  std::vector<Request> out;
  for (const Call& c : Script().CallsOf(Entry::Send)) out.push_back(Decode(c.request));
  return out;
}

}  // namespace scripted
