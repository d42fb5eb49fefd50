#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>

#include "link/ChildProcess.h"

namespace platform {

struct Child {
  HANDLE process = nullptr;
  HANDLE to_child = nullptr;    // our end of the child's standard input
  HANDLE from_child = nullptr;  // our end of the child's standard output
};

namespace {

std::wstring Wide(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring wide(n > 0 ? static_cast<std::size_t>(n) : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), n);
  if (!wide.empty()) wide.pop_back();
  return wide;
}

bool Exited(HANDLE process) {
  return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

void CloseIf(HANDLE& handle) {
  if (handle != nullptr) CloseHandle(handle);
  handle = nullptr;
}

}  // namespace

Child* StartChild(const std::string& program) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE child_in = nullptr, to_child = nullptr, from_child = nullptr, child_out = nullptr;
  if (!CreatePipe(&child_in, &to_child, &inherit, 0)) return nullptr;
  if (!CreatePipe(&from_child, &child_out, &inherit, 0)) {
    CloseHandle(child_in);
    CloseHandle(to_child);
    return nullptr;
  }
  // Only the child's ends are inherited.
  SetHandleInformation(to_child, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(from_child, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = child_in;
  startup.hStdOutput = child_out;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  std::wstring command = L"\"" + Wide(program) + L"\"";
  const BOOL started = CreateProcessW(Wide(program).c_str(), command.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
  CloseHandle(child_in);
  CloseHandle(child_out);
  if (!started) {
    CloseHandle(to_child);
    CloseHandle(from_child);
    return nullptr;
  }
  CloseHandle(info.hThread);
  return new Child{info.hProcess, to_child, from_child};
}

PipeResult WriteToChild(Child* child, const std::uint8_t* data, std::size_t size,
                        std::chrono::steady_clock::time_point deadline) {
  // A pipe write of a few hundred bytes goes into the pipe's buffer at once.
  (void)deadline;
  std::size_t done = 0;
  while (done < size) {
    DWORD written = 0;
    if (!WriteFile(child->to_child, data + done, static_cast<DWORD>(size - done), &written,
                   nullptr) ||
        written == 0) {
      return PipeResult::kEnded;
    }
    done += written;
  }
  return PipeResult::kOk;
}

// Anonymous pipes have no time-outs: look for bytes, and for the child's end,
// until the deadline.
PipeResult ReadFromChild(Child* child, std::uint8_t* data, std::size_t size,
                         std::chrono::steady_clock::time_point deadline) {
  std::size_t done = 0;
  while (done < size) {
    DWORD available = 0;
    if (!PeekNamedPipe(child->from_child, nullptr, 0, nullptr, &available, nullptr))
      return PipeResult::kEnded;
    if (available == 0) {
      if (Exited(child->process)) return PipeResult::kEnded;
      if (std::chrono::steady_clock::now() >= deadline) return PipeResult::kTimedOut;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      continue;
    }
    DWORD read = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size - done, available));
    if (!ReadFile(child->from_child, data + done, wanted, &read, nullptr) || read == 0)
      return PipeResult::kEnded;
    done += read;
  }
  return PipeResult::kOk;
}

void EndChild(Child* child, std::chrono::milliseconds grace) {
  if (child == nullptr) return;
  CloseIf(child->to_child);  // the host reads the end of its input and leaves
  if (WaitForSingleObject(child->process, static_cast<DWORD>(grace.count())) != WAIT_OBJECT_0) {
    TerminateProcess(child->process, 1);
    WaitForSingleObject(child->process, INFINITE);
  }
  CloseIf(child->from_child);
  CloseIf(child->process);
  delete child;
}

std::string DriverHostFileName(bool other_word_size) {
  if (!other_word_size) return "qm90-drvhost.exe";
  return sizeof(void*) == 8 ? "qm90-drvhost32.exe" : "qm90-drvhost64.exe";
}

}  // namespace platform
