#include <windows.h>

#include <algorithm>

#include "commission/NewFile.h"

namespace qm90commission {

namespace {

std::wstring Wide(const std::string& utf8) {
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

std::string SystemText(DWORD error) {
  char text[256] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                 text, sizeof text, nullptr);
  std::string out = text;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.'))
    out.pop_back();
  return out.empty() ? "error " + std::to_string(error) : out;
}

}  // namespace

NewFileResult WriteNewFile(const std::string& path, std::string_view contents,
                           std::string& reason) {
  const std::wstring wide = Wide(path);
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    reason = SystemText(error);
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? NewFileResult::kExists
                                                                       : NewFileResult::kFailed;
  }
  DWORD error = 0;
  std::size_t written = 0;
  while (written < contents.size() && error == 0) {
    DWORD n = 0;
    const DWORD chunk =
        static_cast<DWORD>(std::min<std::size_t>(contents.size() - written, 1 << 20));
    if (!WriteFile(file, contents.data() + written, chunk, &n, nullptr)) error = GetLastError();
    written += n;
  }
  if (error == 0 && !FlushFileBuffers(file)) error = GetLastError();
  CloseHandle(file);
  if (error == 0) return NewFileResult::kWritten;
  DeleteFileW(wide.c_str());  // ours: created as new above
  reason = SystemText(error);
  return NewFileResult::kFailed;
}

}  // namespace qm90commission
