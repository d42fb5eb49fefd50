#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

#include "base/Folders.h"
#include "base/WinText.h"

namespace base {
namespace {

// An environment folder counts only when it is an absolute path (X:\ or \\).
std::wstring AbsoluteEnv(const wchar_t* name) {
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(name, buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  const std::wstring value(buffer, n);
  const bool drive =
      value.size() >= 3 && value[1] == L':' && (value[2] == L'\\' || value[2] == L'/');
  const bool unc = value.size() >= 2 && value[0] == L'\\' && value[1] == L'\\';
  return drive || unc ? value : std::wstring();
}

std::wstring TempFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  std::wstring path = n > 0 && n <= MAX_PATH ? std::wstring(buffer, n) : L"C:\\";
  if (path.back() == L'\\') path.pop_back();
  return path;
}

std::wstring LocalAppData() {
  std::wstring folder = AbsoluteEnv(L"LOCALAPPDATA");
  if (!folder.empty()) return folder;
  folder = AbsoluteEnv(L"USERPROFILE");
  return folder.empty() ? TempFolder() : folder + L"\\AppData\\Local";
}

}  // namespace

std::string RuntimeFolder() {
  return Narrow(TempFolder() + L"\\qm90");
}

std::string StateFolder() {
  return Narrow(LocalAppData() + L"\\qm90\\state");
}

}  // namespace base
