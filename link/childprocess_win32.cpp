#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "base/WinText.h"
#include "link/ChildProcess.h"

namespace platform {

struct Child {
  HANDLE process = nullptr;
  HANDLE to_child = nullptr;    // our end of the child's standard input
  HANDLE from_child = nullptr;  // our end of the child's standard output
};

namespace {

bool Exited(HANDLE process) {
  return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

void CloseIf(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  handle = nullptr;
}

// One job for all our hosts, killed when its last handle closes: that is when
// this process ends, however it ends, so that a host whose library hangs
// cannot outlive the program. The handle is never inherited.
HANDLE HostJob() {
  static HANDLE job = [] {
    HANDLE created = CreateJobObjectW(nullptr, nullptr);
    if (created == nullptr) return created;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
      CloseHandle(created);
      return HANDLE{nullptr};
    }
    return created;
  }();
  return job;
}

// The handles a child is given, inheritable copies that only it receives.
struct ChildEnds {
  HANDLE input = nullptr;
  HANDLE output = nullptr;
  HANDLE error = nullptr;  // a copy of our standard error, if we have one
  ~ChildEnds() {
    CloseIf(input);
    CloseIf(output);
    CloseIf(error);
  }
};

HANDLE InheritableCopyOfStandardError() {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE copy = nullptr;
  const HANDLE self = GetCurrentProcess();
  if (!DuplicateHandle(self, error, self, &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) return nullptr;
  return copy;
}

// Starts the program suspended with exactly the handles in `ends` inherited
// (a handle list: any other inheritable handle of ours, a socket or a file
// the program opened meanwhile, stays ours), puts it in the host job and lets
// it run.
HANDLE Launch(const std::string& program, const ChildEnds& ends) {
  HANDLE inherited[3] = {ends.input, ends.output, ends.error};
  const DWORD count = ends.error != nullptr ? 3 : 2;
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<unsigned char> storage(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
  if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size)) return nullptr;
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = ends.input;
  startup.StartupInfo.hStdOutput = ends.output;
  startup.StartupInfo.hStdError = ends.error;
  startup.lpAttributeList = attributes;
  PROCESS_INFORMATION info{};
  const std::wstring path = base::Wide(program);
  std::wstring command = L"\"" + path + L"\"";
  BOOL started = UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                           inherited, count * sizeof(HANDLE), nullptr, nullptr);
  if (started) {
    started = CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, TRUE,
                             CREATE_NO_WINDOW | CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT,
                             nullptr, nullptr, &startup.StartupInfo, &info);
  }
  DeleteProcThreadAttributeList(attributes);
  if (!started) return nullptr;
  // Without the job (a system that refuses nested jobs) the host still ends
  // with the program when it is not inside a library call: its input ends.
  if (HostJob() != nullptr) AssignProcessToJobObject(HostJob(), info.hProcess);
  ResumeThread(info.hThread);
  CloseHandle(info.hThread);
  return info.hProcess;
}

}  // namespace

Child* StartChild(const std::string& program) {
  HANDLE to_child = nullptr, from_child = nullptr;
  ChildEnds ends;
  // Our ends are created uninheritable; the child's ends are made
  // inheritable, for the handle list only.
  if (!CreatePipe(&ends.input, &to_child, nullptr, 0)) return nullptr;
  if (!CreatePipe(&from_child, &ends.output, nullptr, 0)) {
    CloseHandle(to_child);
    return nullptr;
  }
  SetHandleInformation(ends.input, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  SetHandleInformation(ends.output, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  ends.error = InheritableCopyOfStandardError();
  const HANDLE process = Launch(program, ends);
  if (process == nullptr) {
    CloseHandle(to_child);
    CloseHandle(from_child);
    return nullptr;
  }
  return new Child{process, to_child, from_child};
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

// The 64-bit host is qm90-drvhost.exe, the 32-bit one qm90-drvhost32.exe,
// whichever program starts them.
std::string DriverHostFileName(bool other_word_size) {
  const bool wide_host = (sizeof(void*) == 8) != other_word_size;
  return wide_host ? "qm90-drvhost.exe" : "qm90-drvhost32.exe";
}

}  // namespace platform
