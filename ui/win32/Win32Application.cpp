// The program's message loop, the pending-message pump, calls posted to the
// loop, and Ctrl+C / Ctrl+Break from a console.
#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <utility>

#include "ui/Application.h"
#include "ui/Form.h"
#include "ui/win32/Win32Window.h"

namespace qm90ui {
namespace {

namespace w = ui::win32;

constexpr UINT kRunPosted = WM_APP + 1;
constexpr UINT kStopRequest = WM_APP + 2;
constexpr wchar_t kPostClass[] = L"QM90Post";

std::deque<std::function<void()>>& PostedCalls() {
  static std::deque<std::function<void()>> calls;
  return calls;
}

TForm* stop_form = nullptr;

LRESULT CALLBACK PostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kRunPosted) {
    auto& calls = PostedCalls();
    if (calls.empty()) return 0;
    std::function<void()> call = std::move(calls.front());
    calls.pop_front();
    if (call) call();
    return 0;
  }
  if (message == kStopRequest) {
    if (stop_form) stop_form->Close();
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// A message-only window that runs posted calls from whichever loop runs.
HWND PostWindow() {
  static const HWND window = [] {
    WNDCLASSEXW post{};
    post.cbSize = sizeof post;
    post.lpfnWndProc = PostProc;
    post.hInstance = GetModuleHandleW(nullptr);
    post.lpszClassName = kPostClass;
    RegisterClassExW(&post);
    return CreateWindowExW(0, kPostClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  }();
  return window;
}

std::atomic<HWND> stop_window{nullptr};

// Windows calls this on a thread of its own: the close is queued to the loop.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (HWND window = stop_window.load()) PostMessageW(window, kStopRequest, 0, 0);
  return TRUE;
}

}  // namespace

struct TApplication::TImpl {};

TApplication::TApplication(int& /*argc*/, char** /*argv*/) : impl_(std::make_unique<TImpl>()) {
  w::InitControls();
  PostWindow();
}

TApplication::~TApplication() = default;

int TApplication::Run(TForm& main_form) {
  main_form.Show();
  while (main_form.Visible() && w::HandleNextMessage()) {
  }
  return 0;
}

void ProcessMessages() {
  w::ProcessPendingMessages();
}

void ProcessMessagesFor(int ms) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms > 0 ? ms : 0);
  for (;;) {
    w::ProcessPendingMessages();
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
  }
}

void Post(std::function<void()> call) {
  PostedCalls().push_back(std::move(call));
  PostMessageW(PostWindow(), kRunPosted, 0, 0);
}

void CloseOnStopRequests(TForm& form) {
  stop_form = &form;
  stop_window = PostWindow();
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

}  // namespace qm90ui
