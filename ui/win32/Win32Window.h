// The Win32 plumbing under the window layer: window classes, the forms' font,
// control creation, the status bar, z-order (tab order and the labels that
// name a field), the modal loop and the pending-message pump. Texts are UTF-8
// on this side; everything towards the system is UTF-16.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace ui::win32 {

// What a form window reports to the object behind it. The form's window
// procedure forwards these; everything else goes to DefWindowProcW.
class FormEvents {
 public:
  virtual ~FormEvents() = default;
  // A control's notification (`control` set) or a menu command.
  virtual void OnControlCommand(HWND control, int id, int code) = 0;
  virtual void OnMenuCommand(int id) = 0;
  // Escape in a dialog.
  virtual void OnEscape() = 0;
  virtual void OnTimer(UINT_PTR id) = 0;
  // The close box, Alt+F4, or WM_CLOSE from elsewhere: the form decides.
  virtual void OnCloseRequest() = 0;
  virtual void OnResized() = 0;
};

// "MS Sans Serif" 8 pt with the Central European character set, so that the
// Czech letters are drawn from a face that has them.
HFONT FormFont();

// Makes the common controls' classes available; called before the first form.
void InitControls();

// Creates a top-level form: a dialog with a fixed border owned by `owner`, or
// the main window with a resizable border. The size is the outer size; the
// window starts hidden, centred on the screen.
HWND CreateForm(FormEvents* events, bool main_window, HWND owner, const std::string& caption,
                int outer_width, int outer_height);
// The outer size that gives a form of this kind the client size.
SIZE OuterSizeForClient(bool main_window, bool with_menu, int client_width, int client_height);
void CenterOnScreen(HWND window);

enum class ControlKind {
  Label,         // text; "&" shows the access key when `names_field`
  Edit,          // single-line edit
  DropDownList,  // drop-down list without typing
  CheckBox,
  GroupBox,
  SunkenPanel,  // white, sunken on both bevels, text on the left
  Button,
};

struct ControlSpec {
  ControlKind kind;
  int id;  // control id; 1 and 2 are the keyboard's Enter and Escape
  int left, top, width, height;
  std::string text;
  bool names_field = false;  // a label whose access key moves to its field
  bool white = false;        // drawn on a white background (inside a panel)
};
HWND CreateControl(HWND form, const ControlSpec& spec);

// Status bar along the bottom edge: panels of the given widths, the last one
// stretching to the right edge. 19 pixels high.
HWND CreateStatusBar(HWND form, int id, const std::vector<int>& panel_widths, bool size_grip);
void LayOutStatusBar(HWND bar, const std::vector<int>& panel_widths);
// Sets a panel's text and repaints the bar at once.
void SetPanelText(HWND bar, int index, const std::string& text);
std::string PanelText(HWND bar, int index);

// Window texts in UTF-8; the setter repaints at once.
void SetText(HWND window, const std::string& text);
std::string Text(HWND window);

// Tab order: `controls` follow each other in this order; a field's label is
// kept right before its field (its access key and accessible name).
void SetTabOrder(const std::vector<HWND>& controls);
// Where `control` sits in its form's z-order.
void PlaceAfter(HWND control, HWND predecessor);
void KeepLabelBeforeField(HWND label, HWND field);
// Below every sibling: a container (group box, panel) under its controls.
void SendToBack(HWND control);

// Runs `form` modally: its owner is disabled, messages are pumped (with the
// dialog keys: Tab, access keys, Space) until `ended` becomes true. A quit
// message ends the run and is passed on. `on_shown` runs once the form is
// visible, before the first message.
void RunModal(HWND form, HWND owner, const bool& ended, const std::function<void()>& on_shown);

// Hands one keyboard message to a form as the message loop would.
void DeliverKey(HWND target, UINT message, WPARAM key);

// Waits for the next message and handles it; false on WM_QUIT (passed on).
bool HandleNextMessage();

// Handles the pending messages of the thread, then returns.
void ProcessPendingMessages();

}  // namespace ui::win32
