// The scripted test driver library: exports the seven entries of a QBL31x.DLL,
// records every call and answers from a script. The script and the record live
// in the test program (exported function qm90_scripted_state), so they survive
// the binding unloading and reloading the library. The library is built once
// per kind, as QBL310.DLL .. QBL314.DLL in the test folder (not build/bin).
#pragma once

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
  int kind = 0;                 // 0..4: which QBL31x the library was built as
  std::int32_t handle = 0;      // handle argument (SetConfig, Send) or *handle (Done)
  std::int32_t args[3] = {};    // Init param / SetConfig baud, timing, mode / Error code
  std::uint8_t request[8] = {}; // Send: low bytes of request slots 0..7
  std::int32_t request_slots[100] = {};  // Send: the whole request buffer
  std::intptr_t init_block[16] = {};     // Init of kind 4: the block copy
  std::string ip_text;                   // Init of kind 4: text at block slot 0
};

// What Send answers. result != 0 is returned by Send itself; status goes to the
// exchange status argument; returned to the returned-value argument; slots to
// answer slots 0..3.
struct Answer {
  std::int32_t result = 0;
  std::int32_t status = 0;
  std::int32_t returned = 0;
  std::int32_t slots[4] = {};
  int delay_ms = 0;  // Send sleeps this long first (a slow module)
};

// Hostile modes for reliability tests.
struct Hostile {
  bool garbage_answer = false;     // Send writes 0xDEADBEEF into all 100 answer slots
  bool unterminated_error = false; // Error fills all 100 slots with 'X', no zero
  bool zero_handle_init = false;   // Init returns 0 but stores handle 0
};

struct State {
  // Script
  std::int32_t init_result = 0;
  std::int32_t init_handle = 4711;   // stored by a successful Init
  std::int32_t set_config_result = 0;
  std::int32_t done_result = 0;
  std::int32_t done_handle = 0;      // what Done leaves in the handle variable
  std::deque<Answer> answers;        // consumed first, one per Send
  // Used when answers is empty; given the 8 request bytes. Default: all zero.
  std::function<Answer(const std::uint8_t request[8])> responder;
  // Error texts, bytes put into the slots as they are; a code without an entry
  // gets "kod <code>" (ASCII).
  std::map<std::int32_t, std::string> error_texts;
  Hostile hostile;

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
