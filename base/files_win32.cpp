#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "base/Files.h"
#include "base/WinText.h"

namespace base {
namespace {

// GetLastError becomes text here only; the system's text ends in a line
// break, which would split the caller's message.
void SetError(std::string* error, const char* what) {
  if (!error) return;
  const DWORD code = GetLastError();
  wchar_t* text = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason = text ? Narrow(text) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!reason.empty() &&
         (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' '))
    reason.pop_back();
  *error = std::string(what) + ": " + reason;
}

void SetErrorText(std::string* error, const char* what) {
  if (error) *error = what;
}

// Reserved names (NUL, CON, COM1, aux.ini...) and \\.\ paths name devices:
// opening one can block or act on it (a serial port raises its lines).
bool NamesADevice(const std::wstring& path) {
  wchar_t full[MAX_PATH + 1];
  const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH + 1, full, nullptr);
  return n >= 4 && n <= MAX_PATH && std::wstring_view(full, 4) == L"\\\\.\\";
}

std::size_t LastSeparator(const std::string& path) {
  return path.find_last_of("\\/");
}

std::string FolderOf(const std::string& path) {
  const auto slash = LastSeparator(path);
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const auto slash = LastSeparator(path);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAll(HANDLE file, std::string_view contents) {
  std::size_t done = 0;
  while (done < contents.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(contents.size() - done, 1 << 20));
    DWORD written = 0;
    if (!WriteFile(file, contents.data() + done, chunk, &written, nullptr) || written == 0)
      return false;
    done += written;
  }
  return true;
}

// CREATE_NEW never opens what already stands at the name, a link included;
// no sharing, so nobody else opens or deletes it while it is written.
HANDLE CreateTemp(const std::string& folder, const std::string& name, std::wstring& temp) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    temp = Wide(folder + "\\" + TempFileName(name, RandomNumber()));
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE && GetFileType(file) != FILE_TYPE_DISK) {
      CloseHandle(file);  // a device under a reserved name: nothing was created
      SetLastError(ERROR_BAD_FILE_TYPE);
      break;
    }
    if (file != INVALID_HANDLE_VALUE) return file;
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  return INVALID_HANDLE_VALUE;
}

bool IsOld(const FILETIME& written) {
  FILETIME now_time;
  GetSystemTimeAsFileTime(&now_time);
  ULARGE_INTEGER now, then;
  now.LowPart = now_time.dwLowDateTime;
  now.HighPart = now_time.dwHighDateTime;
  then.LowPart = written.dwLowDateTime;
  then.HighPart = written.dwHighDateTime;
  constexpr ULONGLONG kTicksPerSecond = 10000000ull;
  return now.QuadPart > then.QuadPart &&
         now.QuadPart - then.QuadPart >= kStaleTempSeconds * kTicksPerSecond;
}

// Opening without sharing succeeds only when no writer has the file open;
// delete-on-close then removes exactly the file that was opened.
void RemoveAbandonedTemps(const std::string& folder, const std::string& name) {
  WIN32_FIND_DATAW found;
  const std::wstring pattern = Wide(folder + "\\" + name + ".qm90-save-*.tmp");
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string candidate = Narrow(found.cFileName);
    if (!IsTempFileName(name, candidate) ||
        (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        !IsOld(found.ftLastWriteTime))
      continue;
    HANDLE file =
        CreateFileW(Wide(folder + "\\" + candidate).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// Another program holding the target open (a reader, a virus scanner, an
// indexer) makes the replacing rename fail for a moment: it is tried again
// for about 0.6 s before the save counts as failed.
bool MoveOver(const std::wstring& from, const std::wstring& to) {
  for (DWORD wait_ms = 5;; wait_ms *= 2) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return true;
    const DWORD code = GetLastError();
    const DWORD attributes = GetFileAttributesW(to.c_str());
    const bool read_only =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if ((code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION) || read_only ||
        wait_ms > 320) {
      SetLastError(code);
      return false;
    }
    Sleep(wait_ms);
  }
}

// The part of a path no folder can be made of: "X:\", "\\server\share\" or
// the "\" of the current drive; nothing for a relative path.
std::size_t RootLength(const std::string& path) {
  const auto separator = [&](std::size_t i) { return path[i] == '\\' || path[i] == '/'; };
  if (path.size() >= 3 && path[1] == ':' && separator(2)) return 3;
  if (path.empty() || !separator(0)) return 0;
  if (path.size() < 2 || !separator(1)) return 1;
  const std::size_t server_end = path.find_first_of("\\/", 2);
  if (server_end == std::string::npos) return path.size();
  const std::size_t share_end = path.find_first_of("\\/", server_end + 1);
  return share_end == std::string::npos ? path.size() : share_end + 1;
}

// Only a regular file, or nothing yet, may be replaced.
bool MayReplace(const std::wstring& path) {
  if (NamesADevice(path)) return false;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

ReadStatus ReadRegularFile(const std::string& path, std::size_t max_bytes, std::string& contents) {
  const std::wstring wide = Wide(path);
  if (NamesADevice(wide)) return ReadStatus::kNotRegular;
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? ReadStatus::kMissing
                                                                        : ReadStatus::kFailed;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ReadStatus::kNotRegular;
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ReadStatus::kFailed;
  ReadStatus status = ReadStatus::kOk;
  LARGE_INTEGER size{};
  std::string data;
  if (GetFileType(file) != FILE_TYPE_DISK) {
    status = ReadStatus::kNotRegular;
  } else if (!GetFileSizeEx(file, &size)) {
    status = ReadStatus::kFailed;
  } else if (static_cast<unsigned long long>(size.QuadPart) > max_bytes) {
    status = ReadStatus::kTooLarge;
  } else {
    char buffer[16384];
    for (;;) {
      DWORD n = 0;
      if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
        status = ReadStatus::kFailed;
        break;
      }
      if (n == 0) break;
      if (data.size() + n > max_bytes) {
        status = ReadStatus::kTooLarge;
        break;
      }
      data.append(buffer, n);
    }
  }
  CloseHandle(file);
  if (status == ReadStatus::kOk) contents = std::move(data);
  return status;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view contents, NewFileAccess,
                           std::string* error) {
  const std::wstring target = Wide(path);
  if (!MayReplace(target)) {
    SetErrorText(error, "not a regular file");
    return false;
  }
  const std::string folder = FolderOf(path);
  const std::string name = NameOf(path);
  std::wstring temp;
  HANDLE file = CreateTemp(folder, name, temp);
  if (file == INVALID_HANDLE_VALUE) {
    SetError(error, "cannot create a temporary file");
    return false;
  }
  const bool written = WriteAll(file, contents) && FlushFileBuffers(file);
  if (!written) SetError(error, "cannot write");
  CloseHandle(file);
  if (written && !MoveOver(temp, target)) {
    SetError(error, "cannot rename");
    DeleteFileW(temp.c_str());
    return false;
  }
  if (!written) {
    DeleteFileW(temp.c_str());
    return false;
  }
  RemoveAbandonedTemps(folder, name);
  return true;
}

bool PathExists(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolders(const std::string& path) {
  for (std::size_t slash = path.find_first_of("\\/", RootLength(path));;
       slash = path.find_first_of("\\/", slash + 1)) {
    const std::wstring part = Wide(path.substr(0, slash));
    if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      const DWORD attributes = GetFileAttributesW(part.c_str());  // a share's root, say
      if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    }
    if (slash == std::string::npos) break;
  }
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RenameFile(const std::string& from, const std::string& to) {
  return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool FileLock::Acquire(const std::string& path, int timeout_ms) {
  Release();
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return false;
  }
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
  for (;;) {
    OVERLAPPED whole{};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                   &whole))
      break;
    if (GetLastError() != ERROR_LOCK_VIOLATION || GetTickCount64() >= deadline) {
      CloseHandle(file);
      return false;
    }
    Sleep(1);
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return true;
}

void FileLock::Release() {
  if (handle_ == -1) return;
  // Closing the handle releases the lock.
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
}

}  // namespace base
