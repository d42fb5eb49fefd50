#include <windows.h>

#include "drvhost/HostIo.h"

namespace qm90drvhost {
namespace {
HANDLE pipe_in = INVALID_HANDLE_VALUE;
HANDLE pipe_out = INVALID_HANDLE_VALUE;

// A crash in the library ends the host at once with the fault's code: no
// debugger or error report is started first, which can take longer than the
// program waits for an answer and would make a crash look like a hang.
LONG WINAPI EndOnUnhandledFault(EXCEPTION_POINTERS* fault) {
  TerminateProcess(GetCurrentProcess(), fault->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}
}  // namespace

bool TakePipes() {
  // No box on the desktop that nobody sees, from a library that crashes or
  // lacks a library of its own: the host ends, and the program says so.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(EndOnUnhandledFault);
  // Ctrl-C in a console the host shares is the program's to handle.
  SetConsoleCtrlHandler(nullptr, TRUE);
  pipe_in = GetStdHandle(STD_INPUT_HANDLE);
  pipe_out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (pipe_in == INVALID_HANDLE_VALUE || pipe_out == INVALID_HANDLE_VALUE) return false;
  // What a library prints goes to the error stream, never into the messages.
  SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
  SetStdHandle(STD_INPUT_HANDLE, nullptr);
  return true;
}

bool ReadExactly(std::uint8_t* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    DWORD n = 0;
    if (!ReadFile(pipe_in, data + done, static_cast<DWORD>(size - done), &n, nullptr) || n == 0)
      return false;
    done += n;
  }
  return true;
}

bool WriteAll(const std::uint8_t* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    DWORD n = 0;
    if (!WriteFile(pipe_out, data + done, static_cast<DWORD>(size - done), &n, nullptr) || n == 0)
      return false;
    done += n;
  }
  return true;
}

void EndWithHelpers(int status) {
  ExitProcess(static_cast<UINT>(status));
}

}  // namespace qm90drvhost
