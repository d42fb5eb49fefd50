#include "ui/win32/Win32Window.h"

#include <commctrl.h>

#include "base/WinText.h"

namespace ui::win32 {
namespace {

constexpr wchar_t kFormClass[] = L"QM90Form";
constexpr wchar_t kWhiteProperty[] = L"QM90White";
constexpr int kStatusBarHeight = 19;
// A drop-down list's window height includes its open list.
constexpr int kDropDownListHeight = 200;

HINSTANCE Instance() {
  return GetModuleHandleW(nullptr);
}

FormEvents* EventsOf(HWND window) {
  return reinterpret_cast<FormEvents*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

HBRUSH WhiteBrush() {
  return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
}

void ForwardCommand(FormEvents* events, WPARAM wparam, LPARAM lparam) {
  const int id = LOWORD(wparam);
  if (lparam != 0) {
    events->OnControlCommand(reinterpret_cast<HWND>(lparam), id, HIWORD(wparam));
    return;
  }
  // The dialog keys: Return arrives as IDOK (no window has a default button,
  // so it presses nothing), Escape as IDCANCEL. Control and menu ids start
  // above both.
  if (id == IDCANCEL)
    events->OnEscape();
  else if (id != IDOK && HIWORD(wparam) == 0)
    events->OnMenuCommand(id);
}

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, message, wparam, lparam);
  }
  FormEvents* events = EventsOf(window);
  switch (message) {
    case WM_COMMAND:
      if (events) ForwardCommand(events, wparam, lparam);
      return 0;
    case WM_TIMER:
      if (events) events->OnTimer(wparam);
      return 0;
    case WM_CLOSE:
      if (events) events->OnCloseRequest();
      return 0;
    case WM_SIZE:
      if (events) events->OnResized();
      return 0;
    case WM_CTLCOLORSTATIC:
      if (GetPropW(reinterpret_cast<HWND>(lparam), kWhiteProperty)) {
        SetBkColor(reinterpret_cast<HDC>(wparam), RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(WhiteBrush());
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void RegisterFormClass() {
  static const bool registered = [] {
    InitControls();
    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = FormProc;
    form.hInstance = Instance();
    form.hIcon = LoadIconW(Instance(), L"MAINICON");
    form.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.lpszClassName = kFormClass;
    return RegisterClassExW(&form) != 0;
  }();
  (void)registered;
}

DWORD FormStyle(bool main_window) {
  // No WS_CLIPCHILDREN: a group box does not paint its inside, the form does.
  return main_window ? WS_OVERLAPPEDWINDOW : WS_POPUP | WS_CAPTION | WS_SYSMENU;
}

DWORD FormExStyle(bool main_window) {
  return main_window ? WS_EX_APPWINDOW
                     : WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;
}

struct ControlClass {
  const wchar_t* name;
  DWORD style;
  DWORD ex_style;
};

ControlClass ClassOf(const ControlSpec& spec) {
  switch (spec.kind) {
    case ControlKind::Label:
      return {L"STATIC", SS_LEFTNOWORDWRAP | (spec.names_field ? 0u : DWORD{SS_NOPREFIX}), 0};
    case ControlKind::Edit:
      return {L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE};
    case ControlKind::DropDownList:
      return {L"COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0};
    case ControlKind::CheckBox:
      return {L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 0};
    case ControlKind::GroupBox:
      return {L"BUTTON", BS_GROUPBOX, 0};
    case ControlKind::SunkenPanel:
      return {L"STATIC", SS_LEFTNOWORDWRAP | SS_CENTERIMAGE | SS_NOPREFIX, WS_EX_CLIENTEDGE};
    case ControlKind::Button:
      return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0};
  }
  return {L"STATIC", 0, 0};
}

void UseFormFont(HWND control) {
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FormFont()), TRUE);
}

std::vector<int> PanelRightEdges(const std::vector<int>& widths) {
  std::vector<int> edges;
  int right = 0;
  for (int width : widths) {
    right += width;
    edges.push_back(right);
  }
  if (!edges.empty()) edges.back() = -1;  // the last panel reaches the right edge
  return edges;
}

bool DispatchOne(MSG& msg) {
  if (msg.message == WM_QUIT) return false;
  HWND dialog = GetAncestor(msg.hwnd, GA_ROOT);
  if (dialog && (GetWindowLongPtrW(dialog, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) &&
      IsDialogMessageW(dialog, &msg))
    return true;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  return true;
}

}  // namespace

void InitControls() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES | ICC_STANDARD_CLASSES;
    return InitCommonControlsEx(&controls) != FALSE;
  }();
  (void)done;
}

void PlaceAfter(HWND window, HWND predecessor) {
  SetWindowPos(window, predecessor ? predecessor : HWND_TOP, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

HFONT FormFont() {
  static const HFONT font = [] {
    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, EASTEUROPE_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
  }();
  return font;
}

HWND CreateForm(FormEvents* events, bool main_window, HWND owner, const std::string& caption,
                int outer_width, int outer_height) {
  RegisterFormClass();
  HWND form =
      CreateWindowExW(FormExStyle(main_window), kFormClass, base::Wide(caption).c_str(),
                      FormStyle(main_window), CW_USEDEFAULT, CW_USEDEFAULT, outer_width,
                      outer_height, main_window ? nullptr : owner, nullptr, Instance(), events);
  if (!form) return nullptr;
  UseFormFont(form);
  CenterOnScreen(form);
  return form;
}

SIZE OuterSizeForClient(bool main_window, bool with_menu, int client_width, int client_height) {
  RECT rect{0, 0, client_width, client_height};
  AdjustWindowRectEx(&rect, FormStyle(main_window), with_menu ? TRUE : FALSE,
                     FormExStyle(main_window));
  return {rect.right - rect.left, rect.bottom - rect.top};
}

void CenterOnScreen(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND CreateControl(HWND form, const ControlSpec& spec) {
  const ControlClass control_class = ClassOf(spec);
  const int height =
      spec.kind == ControlKind::DropDownList ? spec.height + kDropDownListHeight : spec.height;
  HWND control =
      CreateWindowExW(control_class.ex_style, control_class.name, base::Wide(spec.text).c_str(),
                      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | control_class.style, spec.left,
                      spec.top, spec.width, height, form,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)), Instance(), nullptr);
  if (!control) return nullptr;
  if (spec.kind == ControlKind::SunkenPanel || spec.white)
    SetPropW(control, kWhiteProperty, control);
  UseFormFont(control);
  return control;
}

HWND CreateStatusBar(HWND form, int id, const std::vector<int>& panel_widths, bool size_grip) {
  HWND bar = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr,
                             WS_CHILD | WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN |
                                 (size_grip ? DWORD{SBARS_SIZEGRIP} : 0u),
                             0, 0, 0, 0, form, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             Instance(), nullptr);
  if (!bar) return nullptr;
  UseFormFont(bar);
  LayOutStatusBar(bar, panel_widths);
  return bar;
}

void LayOutStatusBar(HWND bar, const std::vector<int>& panel_widths) {
  // Placed by hand: docking itself, the bar takes the font's height, not 19.
  RECT client{};
  GetClientRect(GetParent(bar), &client);
  MoveWindow(bar, 0, client.bottom - kStatusBarHeight, client.right, kStatusBarHeight, TRUE);
  std::vector<int> edges = PanelRightEdges(panel_widths);
  SendMessageW(bar, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

void SetPanelText(HWND bar, int index, const std::string& text) {
  if (PanelText(bar, index) == text) return;  // a poll that changes nothing draws nothing
  SendMessageW(bar, SB_SETTEXTW, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(base::Wide(text).c_str()));
  UpdateWindow(bar);
}

std::string PanelText(HWND bar, int index) {
  const LRESULT info = SendMessageW(bar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(index), 0);
  std::wstring text(LOWORD(info) + 1, L'\0');
  SendMessageW(bar, SB_GETTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  return base::Narrow(text.c_str(), -1);
}

void SetText(HWND window, const std::string& text) {
  if (Text(window) == text) return;  // a poll that changes nothing draws nothing
  SetWindowTextW(window, base::Wide(text).c_str());
  UpdateWindow(window);
}

std::string Text(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  return base::Narrow(text.c_str(), -1);
}

void SetTabOrder(const std::vector<HWND>& controls) {
  HWND previous = nullptr;
  for (HWND control : controls) {
    if (!control) continue;
    PlaceAfter(control, previous);
    previous = control;
  }
}

void SendToBack(HWND control) {
  SetWindowPos(control, HWND_BOTTOM, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void KeepLabelBeforeField(HWND label, HWND field) {
  HWND before_field = GetWindow(field, GW_HWNDPREV);
  if (before_field == label) return;
  PlaceAfter(label, before_field);
}

void RunModal(HWND form, HWND owner, const bool& ended, const std::function<void()>& on_shown) {
  const bool owner_was_enabled = owner && IsWindowEnabled(owner);
  if (owner_was_enabled) EnableWindow(owner, FALSE);
  ShowWindow(form, SW_SHOW);
  UpdateWindow(form);
  if (on_shown) on_shown();
  while (!ended && HandleNextMessage()) {
  }
  // The owner gets the activation back before the form disappears.
  if (owner_was_enabled) EnableWindow(owner, TRUE);
  if (IsWindow(form)) ShowWindow(form, SW_HIDE);
}

bool HandleNextMessage() {
  MSG msg{};
  const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
  if (got == 0) {
    PostQuitMessage(static_cast<int>(msg.wParam));  // for the loops outside
    return false;
  }
  if (got < 0) return false;
  return DispatchOne(msg);
}

void DeliverKey(HWND target, UINT message, WPARAM key) {
  MSG msg{};
  msg.hwnd = target;
  msg.message = message;
  msg.wParam = key;
  msg.lParam = message == WM_KEYUP ? static_cast<LPARAM>(0xC0000001) : 1;
  msg.time = GetMessageTime();
  DispatchOne(msg);
}

// The messages that wait at the call. One that came later (a timer whose
// handler outlasts its interval is due again at once) ends the call after it
// is handled, or the call would never return.
void ProcessPendingMessages() {
  const DWORD start = GetTickCount();
  MSG msg{};
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    const bool came_later = static_cast<LONG>(msg.time - start) > 0;
    if (!DispatchOne(msg)) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (came_later) return;
  }
}

}  // namespace ui::win32
