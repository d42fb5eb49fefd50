// A QBL312.DLL that misbehaves in one way, chosen at build time with
// HOSTILE_MODE: 1 crashes in Send, 2 never returns from Send, 3 ends its
// process in Init. Otherwise a benign module answering zeros.
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>

#define QBL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
// Dies of SIGSEGV as a crashing library does, without a sanitizer's report
// in between (that would end the process in its own way).
[[noreturn]] void Crash() {
  std::signal(SIGSEGV, SIG_DFL);
  std::raise(SIGSEGV);
  std::_Exit(11);
}
}  // namespace

QBL_EXPORT std::int32_t QBL312_Version() {
  return 0x0100;
}

QBL_EXPORT std::int32_t QBL312_Init(std::int32_t* handle) {
  if (HOSTILE_MODE == 3) std::_Exit(9);
  *handle = 1;
  return 0;
}

QBL_EXPORT std::int32_t QBL312_SetConfig(std::int32_t, std::int32_t, std::int32_t, std::int32_t) {
  return 0;
}

QBL_EXPORT std::int32_t QBL312_GetConfig() {
  return 0;
}

QBL_EXPORT std::int32_t QBL312_Send(std::int32_t, std::int32_t*, std::int32_t* answer,
                                    std::int32_t* returned, std::int32_t* status) {
  if (HOSTILE_MODE == 1) Crash();
  if (HOSTILE_MODE == 2) {
    for (;;) pause();
  }
  for (int i = 0; i < 4; ++i) answer[i] = 0;
  *returned = 0;
  *status = 0;
  return 0;
}

QBL_EXPORT std::int32_t QBL312_Done(std::int32_t* handle) {
  *handle = 0;
  return 0;
}

QBL_EXPORT std::int32_t QBL312_Error(std::int32_t code, std::int32_t* text) {
  const char* word = code == 0 ? "ok" : "chyba";
  int i = 0;
  for (; word[i] != '\0'; ++i) text[i] = word[i];
  for (; i < 100; ++i) text[i] = 0;
  return 0;
}
