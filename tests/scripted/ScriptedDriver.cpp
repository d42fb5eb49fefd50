// The scripted driver library. Built once per kind: QBL_KIND (0..4) picks the
// entry prefix and the Init shape; QBL_OMIT_GETCONFIG builds the broken
// variant that lacks its GetConfig entry.
#include "tests/scripted/ScriptedDriver.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/DriverEntries.h"

#ifndef QBL_KIND
#error "QBL_KIND must be defined (0..4)"
#endif

#define QBL_CAT3(a, b, c) a##b##c
#define QBL_NAME2(n, word) QBL_CAT3(QBL31, n, _##word)
#define QBL_NAME(word) QBL_NAME2(QBL_KIND, word)

namespace {

using scripted::Call;
using scripted::Entry;
using scripted::State;

constexpr std::int32_t kBenignHandle = 1;
std::int32_t last_baud = 0;
std::int32_t last_timing = 0;

using StateFn = State* (*)();

// The entry the test program exports, looked up in the program itself.
StateFn FindStateEntry() {
#ifdef _WIN32
  return reinterpret_cast<StateFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), "qm90_scripted_state")));
#else
  return reinterpret_cast<StateFn>(dlsym(RTLD_DEFAULT, "qm90_scripted_state"));
#endif
}

// The test program's state, or null when the host does not define one.
State* HostState() {
  static StateFn fn = FindStateEntry();
  return fn ? fn() : nullptr;
}

Call NewCall(Entry entry) {
  Call call;
  call.entry = entry;
  call.kind = QBL_KIND;
  return call;
}

void Record(State* state, Call call) {
  if (state) state->calls.push_back(std::move(call));
}

__attribute__((constructor)) void CountLoad() {
  if (State* state = HostState()) ++state->loads;
}

__attribute__((destructor)) void CountUnload() {
  if (State* state = HostState()) ++state->unloads;
}

std::int32_t FinishInit(State* state, std::int32_t* handle) {
  if (!state) {
    if (handle) *handle = kBenignHandle;
    return 0;
  }
  if (state->init_result != 0) return state->init_result;
  if (handle) *handle = state->hostile.zero_handle_init ? 0 : state->init_handle;
  return 0;
}

scripted::Answer NextAnswer(State* state, const std::uint8_t request[8]) {
  if (!state) return {};
  if (!state->answers.empty()) {
    scripted::Answer answer = state->answers.front();
    state->answers.pop_front();
    return answer;
  }
  if (state->responder) return state->responder(request);
  return {};
}

void WriteText(const std::string& bytes, std::int32_t* text) {
  std::fill(text, text + QBL_SLOTS, 0);
  const std::size_t n = std::min<std::size_t>(bytes.size(), QBL_SLOTS - 1);
  for (std::size_t i = 0; i < n; ++i) text[i] = static_cast<unsigned char>(bytes[i]);
}

}  // namespace

QBL_EXPORT int32_t QBL_CALL QBL_NAME(Version)(void) {
  State* state = HostState();
  Record(state, NewCall(Entry::Version));
  return state ? state->version : 0x0102;
}

#if QBL_KIND == 0 || QBL_KIND == 1
QBL_EXPORT int32_t QBL_CALL QBL_NAME(Init)(int32_t* handle, int32_t param) {
  State* state = HostState();
  Call call = NewCall(Entry::Init);
  call.args[0] = param;
  Record(state, call);
  return FinishInit(state, handle);
}
#elif QBL_KIND == 2 || QBL_KIND == 3
QBL_EXPORT int32_t QBL_CALL QBL_NAME(Init)(int32_t* handle) {
  State* state = HostState();
  Record(state, NewCall(Entry::Init));
  return FinishInit(state, handle);
}
#else
QBL_EXPORT int32_t QBL_CALL QBL_NAME(Init)(int32_t* handle, const intptr_t* block) {
  State* state = HostState();
  Call call = NewCall(Entry::Init);
  if (block) {
    std::copy(block, block + QBL_INIT_SLOTS, call.init_block);
    const char* ip = reinterpret_cast<const char*>(block[0]);
    if (ip) call.ip_text.assign(ip, strnlen(ip, 256));
  }
  Record(state, call);
  return FinishInit(state, handle);
}
#endif

QBL_EXPORT int32_t QBL_CALL QBL_NAME(SetConfig)(int32_t handle, int32_t baud, int32_t timing,
                                                int32_t mode) {
  State* state = HostState();
  Call call = NewCall(Entry::SetConfig);
  call.handle = handle;
  call.args[0] = baud;
  call.args[1] = timing;
  call.args[2] = mode;
  Record(state, call);
  last_baud = baud;
  last_timing = timing;
  return state ? state->set_config_result : 0;
}

#ifndef QBL_OMIT_GETCONFIG
QBL_EXPORT int32_t QBL_CALL QBL_NAME(GetConfig)(int32_t handle, int32_t* baud, int32_t* timing) {
  Call call = NewCall(Entry::GetConfig);
  call.handle = handle;
  Record(HostState(), call);
  if (baud) *baud = last_baud;
  if (timing) *timing = last_timing;
  return 0;
}
#endif

QBL_EXPORT int32_t QBL_CALL QBL_NAME(Send)(int32_t handle, int32_t* request, int32_t* answer,
                                           int32_t* returned, int32_t* status) {
  State* state = HostState();
  Call call = NewCall(Entry::Send);
  call.handle = handle;
  if (request) {
    std::copy(request, request + QBL_SLOTS, call.request_slots);
    for (int i = 0; i < 8; ++i) call.request[i] = static_cast<std::uint8_t>(request[i]);
  }
  Record(state, call);
  if (state && state->hostile.silent_send) return 0;

  const scripted::Answer reply = NextAnswer(state, call.request);
  if (reply.delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(reply.delay_ms));
  if (status) *status = reply.status;
  if (returned) *returned = reply.returned;
  if (answer) {
    if (state && state->hostile.garbage_answer) {
      std::fill(answer, answer + QBL_SLOTS, static_cast<int32_t>(0xDEADBEEFu));
    } else {
      std::copy(reply.answer_slots, reply.answer_slots + 4, answer);
    }
  }
  return reply.result;
}

QBL_EXPORT int32_t QBL_CALL QBL_NAME(Done)(int32_t* handle) {
  State* state = HostState();
  Call call = NewCall(Entry::Done);
  if (handle) call.handle = *handle;
  Record(state, call);
  if (handle) *handle = state ? state->done_handle : 0;
  return state ? state->done_result : 0;
}

QBL_EXPORT int32_t QBL_CALL QBL_NAME(Error)(int32_t code, int32_t* text) {
  State* state = HostState();
  Call call = NewCall(Entry::Error);
  call.args[0] = code;
  Record(state, call);
  if (!text) return 0;
  if (state && state->hostile.unterminated_error) {
    std::fill(text, text + QBL_SLOTS, static_cast<int32_t>('X'));
    return 0;
  }
  if (state) {
    auto it = state->error_texts.find(code);
    if (it != state->error_texts.end()) {
      WriteText(it->second, text);
      return 0;
    }
  }
  WriteText("kod " + std::to_string(code), text);
  return 0;
}
