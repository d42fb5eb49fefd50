// The controls the program's windows are made of, as the window logic sees
// them. A backend (ui/qt, ui/win32) implements each class; a form creates and
// owns its controls (ui/Form.h). Texts are UTF-8; places and sizes are pixels
// at 96 dpi, relative to the parent's client area.
//
// Handlers are plain callbacks named after the event (OnClick, OnChange ...);
// a window sets them to its own methods (Button1Click, ComboBox2Change ...).
// A handler runs only for what a user does (or what a test does through the
// "as a user" calls below), never for a value the program sets itself.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace qm90ui {

struct TBounds {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const TBounds&) const = default;
};

// What every control has. Name() is the control's numbered name ("Button1",
// "Edit2", "StatusBar1"): the object name on Linux, what tests find it by.
class TControl {
 public:
  virtual ~TControl() = default;

  virtual std::string Name() const = 0;
  // The caption of a label, button, check box or group box; the contents of an
  // edit; the selected item of a list ("" with none); the text of a panel;
  // the first panel of a status bar.
  virtual std::string Text() const = 0;
  // Sets that text and repaints the control at once (the window may be busy
  // in a synchronous exchange right after). On a list: selects the item with
  // that text, or none.
  virtual void SetText(std::string_view utf8) = 0;

  virtual TBounds Bounds() const = 0;
  virtual void SetBounds(const TBounds& bounds) = 0;
  // The control's own visibility flag (true also while its form is hidden).
  virtual bool Visible() const = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual void SetFocus() = 0;
  virtual bool Focused() const = 0;
  // For tests: whether the control takes clicks and keys (the windows never
  // disable one).
  virtual bool Enabled() const = 0;
  // The name of the group box or panel the control was placed in; "" when it
  // sits on the form itself.
  virtual std::string ParentName() const = 0;
};

// Static text, left-aligned, shown as is ("&" is not an access key unless the
// label names a field, see NameField).
class TLabel : public TControl {
 public:
  // Makes this label the caption of `field`: the field's accessible name is
  // the label's text, an "&" in the text gives the field an access key, and
  // clicking the label focuses the field.
  virtual void NameField(TControl* field) = 0;
  // Sizes the label to its text (width and height), as an auto-sized label.
  virtual void AutoSize() = 0;
  // Widens the label when the font's text runs wider than the place given
  // (never narrows it).
  virtual void WidenToText() = 0;
};

// Single-line edit field.
class TEdit : public TControl {};

// Drop-down list without typing (the user picks one item).
class TComboList : public TControl {
 public:
  // The first item added to an empty list becomes the selected one.
  virtual void AddItem(std::string_view utf8) = 0;
  virtual int ItemCount() const = 0;
  virtual std::string ItemText(int index) const = 0;
  // -1: nothing selected.
  virtual int ItemIndex() const = 0;
  // Out of range (-1 too) selects nothing. Does not call OnChange.
  virtual void SetItemIndex(int index) = 0;
  // As a user picking item `index` from the list: selects it, calls OnChange.
  virtual void Pick(int index) = 0;

  // The user picked an item (also the one already selected).
  std::function<void()> OnChange;
};

class TCheckBox : public TControl {
 public:
  virtual bool Checked() const = 0;
  // Does not call OnClick.
  virtual void SetChecked(bool checked) = 0;
  // As a user clicking it: toggles, then calls OnClick.
  virtual void Click() = 0;

  std::function<void()> OnClick;
};

// A push button. It is never a default button: Return in a field of the form
// presses no button.
class TButton : public TControl {
 public:
  // As a user clicking it: calls OnClick.
  virtual void Click() = 0;

  std::function<void()> OnClick;
};

// A captioned frame (TGroupBox) or a white panel with a sunken bevel
// (TPanel) around other controls: both may be the parent of controls. A
// panel's own text is drawn left-aligned, vertically centred.
class TGroupBox : public TControl {};
class TPanel : public TControl {};

// Along the bottom edge of its form, 19 pixels high, across the whole width;
// panels of fixed widths, the last one stretched to the right edge. Seen by
// assistive technology as a status bar; on Linux each panel is a label named
// "<bar name>Panel<i>".
class TStatusBar : public TControl {
 public:
  virtual int PanelCount() const = 0;
  virtual std::string PanelText(int index) const = 0;
  // Sets the text and repaints at once; then calls OnPanelText. Out of range: nothing.
  virtual void SetPanelText(int index, std::string_view utf8) = 0;
  // The tool tip of a panel ("" for none).
  virtual void SetPanelHint(int index, std::string_view utf8) = 0;
  virtual std::string PanelHint(int index) const = 0;

  // After every SetPanelText, with the panel and its new text (tests keep a
  // log of what a window showed).
  std::function<void(int index, const std::string& text)> OnPanelText;
};

// A periodic timer of a form; calls OnTimer every Interval() ms while active,
// from the form's message loop (also while the form is hidden).
class TTimer {
 public:
  virtual ~TTimer() = default;
  virtual std::string Name() const = 0;
  virtual int Interval() const = 0;
  virtual void SetInterval(int ms) = 0;
  virtual bool Active() const = 0;
  virtual void Start() = 0;
  virtual void Stop() = 0;

  std::function<void()> OnTimer;
};

// An item of the main menu: a command on the bar, a submenu on the bar, or a
// command in a submenu. "&" in its caption marks the access key (Alt+letter
// on the bar).
class TMenuItem {
 public:
  virtual ~TMenuItem() = default;
  virtual std::string Name() const = 0;
  virtual std::string Text() const = 0;
  // As a user choosing the command: calls OnClick.
  virtual void Click() = 0;

  std::function<void()> OnClick;
};

}  // namespace qm90ui
