// Windows only: paths and texts are UTF-8 inside the program, UTF-16 towards
// the system. Included by the *_win32 / *_windows files alone.
#pragma once

#include <windows.h>

#include <string>

namespace base {

inline std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0)
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

// length -1: up to the terminating NUL.
inline std::string Narrow(const wchar_t* wide, int length) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide, length, out.data(), n, nullptr, nullptr);
  if (length < 0 && !out.empty() && out.back() == '\0') out.pop_back();
  return out;
}

inline std::string Narrow(const std::wstring& wide) {
  return wide.empty() ? std::string() : Narrow(wide.data(), static_cast<int>(wide.size()));
}

}  // namespace base
