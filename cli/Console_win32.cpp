#include <windows.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

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

namespace qm90cli::console {

std::string CheckAppendTarget(const std::string& path) {
  // Decided without opening: a device name (COM1, NUL, a pipe) is never opened.
  std::error_code error;
  const auto status = std::filesystem::status(std::filesystem::u8path(path), error);
  if (status.type() == std::filesystem::file_type::not_found) return "";
  if (error) return error.message();
  return status.type() == std::filesystem::file_type::regular ? "" : "not a regular file";
}

void EndByBrokenPipe() {
  std::_Exit(141);
}

}  // namespace qm90cli::console
