#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h:
#include <knownfolders.h>
#include <shlobj.h>

#include <string>

#include "base/Files.h"
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

std::string UserConfigFolder() {
  PWSTR path = nullptr;
  std::string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path)) && path != nullptr)
    folder = Narrow(std::wstring(path) + L"\\qm90");
  CoTaskMemFree(path);
  return folder;
}

// The folder's access rules (ACLs, a read-only medium) decide, not its
// attributes: a probe file of ours is created and gone again at once.
bool FolderWritable(const std::string& folder) {
  const DWORD attributes = GetFileAttributesW(Wide(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  const std::wstring probe = Wide(folder + "\\" + TempFileName("probe", RandomNumber()));
  const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

}  // namespace base
