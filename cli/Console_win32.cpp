#include <io.h>
#include <windows.h>

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
  const std::wstring wide = std::filesystem::u8path(path).wstring();
  const HANDLE file =
      CreateFileW(wide.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return "cannot open it (error " + std::to_string(GetLastError()) + ")";
  const DWORD type = GetFileType(file);
  CloseHandle(file);
  return type == FILE_TYPE_DISK || type == FILE_TYPE_CHAR ? "" : "not a regular file";
}

void EndByBrokenPipe() {
  std::_Exit(141);
}

}  // namespace qm90cli::console
