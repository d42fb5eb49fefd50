#include <io.h>
#include <windows.h>

#include <cstdio>

#include "cli/Console.h"

namespace qm90cli::console {

namespace {

volatile LONG interrupted = 0;

BOOL WINAPI OnControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      InterlockedExchange(&interrupted, 1);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void InstallInterruptHandler() {
  SetConsoleCtrlHandler(OnControl, TRUE);
}

bool Interrupted() {
  return InterlockedCompareExchange(&interrupted, 0, 0) != 0;
}

void ClearInterrupt() {
  InterlockedExchange(&interrupted, 0);
}

bool IsTerminal(Stream stream) {
  return _isatty(_fileno(stream == Stream::kOut ? stdout : stderr)) != 0;
}

void UseUtf8Output() {
  SetConsoleOutputCP(CP_UTF8);
}

}  // namespace qm90cli::console
