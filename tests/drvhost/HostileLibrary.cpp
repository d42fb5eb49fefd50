// A QBL312.DLL that misbehaves in one way, chosen at build time with
// HOSTILE_MODE: 1 crashes in Send, 2 never returns from Send, 3 ends its
// process in Init, 4 (POSIX) starts a helper process in Init that runs until
// it is ended and notes its process number in the file that
// QM90_TEST_HELPER_PID_FILE names. Otherwise a benign module answering zeros.
#include <csignal>
#include <cstdint>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include <cstdio>
#endif

#include "base/DriverEntries.h"

namespace {
// Dies as a crashing library does: of SIGSEGV without a sanitizer's report in
// between (that would end the process in its own way); on Windows of an
// access violation nobody handles.
[[noreturn]] void Crash() {
#ifdef _WIN32
  RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
#else
  std::signal(SIGSEGV, SIG_DFL);
  std::raise(SIGSEGV);
#endif
  std::_Exit(11);
}

void StartHelper() {
#ifndef _WIN32
  const pid_t helper = fork();
  if (helper == 0) {
    execl("/bin/sleep", "sleep", "1000", static_cast<char*>(nullptr));
    _exit(127);
  }
  const char* file = std::getenv("QM90_TEST_HELPER_PID_FILE");
  if (helper > 0 && file != nullptr) {
    if (FILE* out = std::fopen(file, "w")) {
      std::fprintf(out, "%d\n", static_cast<int>(helper));
      std::fclose(out);
    }
  }
#endif
}

[[noreturn]] void Hang() {
  for (;;) {
#ifdef _WIN32
    Sleep(INFINITE);
#else
    pause();
#endif
  }
}
}  // namespace

QBL_EXPORT std::int32_t QBL_CALL QBL312_Version() {
  return 0x0100;
}

QBL_EXPORT std::int32_t QBL_CALL QBL312_Init(std::int32_t* handle) {
  if (HOSTILE_MODE == 3) std::_Exit(9);
  if (HOSTILE_MODE == 4) StartHelper();
  *handle = 1;
  return 0;
}

QBL_EXPORT std::int32_t QBL_CALL QBL312_SetConfig(std::int32_t, std::int32_t, std::int32_t,
                                                  std::int32_t) {
  return 0;
}

QBL_EXPORT std::int32_t QBL_CALL QBL312_GetConfig() {
  return 0;
}

QBL_EXPORT std::int32_t QBL_CALL QBL312_Send(std::int32_t, std::int32_t*, std::int32_t* answer,
                                             std::int32_t* returned, std::int32_t* status) {
  if (HOSTILE_MODE == 1) Crash();
  if (HOSTILE_MODE == 2) Hang();
  for (int i = 0; i < 4; ++i) answer[i] = 0;
  *returned = 0;
  *status = 0;
  return 0;
}

QBL_EXPORT std::int32_t QBL_CALL QBL312_Done(std::int32_t* handle) {
  *handle = 0;
  return 0;
}

QBL_EXPORT std::int32_t QBL_CALL QBL312_Error(std::int32_t code, std::int32_t* text) {
  const char* word = code == 0 ? "ok" : "chyba";
  int i = 0;
  for (; word[i] != '\0'; ++i) text[i] = word[i];
  for (; i < 100; ++i) text[i] = 0;
  return 0;
}
