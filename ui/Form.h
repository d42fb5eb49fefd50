// A window of the program: the main window or a modal dialog, with its
// numbered controls placed in pixels. The window logic (dialogs/, app/) owns
// one TForm, creates its controls through it and sets their handlers; the
// backend behind CreateForm draws them with the toolkit of the platform.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/Controls.h"

namespace qm90ui {

enum class TFormStyle {
  // Fixed border (no resizing, no maximise, no minimise), a title bar with a
  // close box; client area exactly width x height; centred on the screen;
  // shown modally over its owner.
  kDialog,
  // Resizable border, title bar with the usual boxes, a main menu; the outer
  // frame is width x height, centred on the screen.
  kMainWindow,
};

enum class TModalResult { kNone, kOk, kCancel };

// Keys a test may press on the focused control of a form.
enum class TKey { kReturn, kEscape, kTab, kSpace };

class TForm;

struct TFormSpec {
  std::string name;     // "TForm2": the object name on Linux
  std::string caption;  // the title bar
  TFormStyle style = TFormStyle::kDialog;
  int width = 0;  // kDialog: client size; kMainWindow: outer size
  int height = 0;
  TForm* owner = nullptr;  // a dialog's owner (may be null)
};

// Every form uses the font "MS Sans Serif" 8 pt (East European character set
// on Windows) and the button-face background.
class TForm {
 public:
  virtual ~TForm() = default;

  virtual std::string Name() const = 0;
  virtual std::string Caption() const = 0;
  virtual void SetCaption(std::string_view utf8) = 0;
  virtual TFormStyle Style() const = 0;
  // The client area (for a main window without menu and frame).
  virtual int ClientWidth() const = 0;
  virtual int ClientHeight() const = 0;
  // Resizes the outer frame (a main window only).
  virtual void Resize(int outer_width, int outer_height) = 0;

  // Controls. `parent` is null for the form itself, or a group box or panel
  // of this form. Each name is unique in the form. Created visible, in the
  // order of creation for tab order until SetTabOrder says otherwise.
  virtual TLabel* AddLabel(TControl* parent, std::string_view name, TBounds bounds,
                           std::string_view text) = 0;
  virtual TEdit* AddEdit(TControl* parent, std::string_view name, TBounds bounds) = 0;
  virtual TComboList* AddComboList(TControl* parent, std::string_view name, TBounds bounds) = 0;
  virtual TCheckBox* AddCheckBox(TControl* parent, std::string_view name, TBounds bounds,
                                 std::string_view text) = 0;
  virtual TButton* AddButton(TControl* parent, std::string_view name, TBounds bounds,
                             std::string_view text) = 0;
  virtual TGroupBox* AddGroupBox(TControl* parent, std::string_view name, TBounds bounds,
                                 std::string_view text) = 0;
  virtual TPanel* AddPanel(TControl* parent, std::string_view name, TBounds bounds) = 0;
  // One per form, docked to the bottom edge; `panel_widths` as in TStatusBar.
  virtual TStatusBar* AddStatusBar(std::string_view name, const std::vector<int>& panel_widths) = 0;
  // Created stopped.
  virtual TTimer* AddTimer(std::string_view name, int interval_ms) = 0;

  // The main menu (kMainWindow). The first call makes the menu bar, named
  // `bar_name` ("MainMenu1"). A null `submenu` puts the item on the bar.
  virtual void AddMainMenu(std::string_view bar_name) = 0;
  virtual TMenuItem* AddSubmenu(std::string_view name, std::string_view caption) = 0;
  virtual TMenuItem* AddMenuItem(TMenuItem* submenu, std::string_view name,
                                 std::string_view caption) = 0;

  // Tab moves focus along `order`; controls not named keep their place after.
  virtual void SetTabOrder(const std::vector<TControl*>& order) = 0;
  virtual TControl* FocusedControl() const = 0;

  // Runs every time the form is shown, before the user can act on it.
  std::function<void()> OnShow;
  // Asked when the user (close box, Alt+F4, Escape in a dialog) or Close()
  // asks the form to close; false keeps it open. Unset: closing is allowed.
  std::function<bool()> OnCloseQuery;
  // After a close was allowed, before the form goes (a modal dialog's
  // ShowModal returns kCancel right after).
  std::function<void()> OnClose;

  // Shows the form not modally (the main window; tests show dialogs this
  // way too); OnShow runs.
  virtual void Show() = 0;
  // Shown and not closed.
  virtual bool Visible() const = 0;
  // Asks to close, as the close box does (OnCloseQuery, then OnClose).
  virtual void Close() = 0;
  // Shows the dialog modally over its owner (OnShow runs first) and processes
  // messages until EndModal or an allowed close; returns the result.
  virtual TModalResult ShowModal() = 0;
  // Ends ShowModal with `result` without asking OnCloseQuery.
  virtual void EndModal(TModalResult result) = 0;

  // For tests: a control, timer or menu item by its name (null when none).
  virtual TControl* FindControl(std::string_view name) const = 0;
  virtual TTimer* FindTimer(std::string_view name) const = 0;
  virtual TMenuItem* FindMenuItem(std::string_view name) const = 0;
  // For tests: a key pressed on the focused control, as a user would; the
  // access key of a main-menu item (Alt+letter, e.g. 'P' opens the menu bar's
  // "&Připojení" command).
  virtual void PressKey(TKey key) = 0;
  virtual void PressAltKey(char letter) = 0;

  // For tests: what the dialog last ended with (EndModal, or kCancel after an
  // allowed close), also when it was shown with Show; kNone before that.
  virtual TModalResult ModalResult() const = 0;
  // For tests: the form given as the owner at creation (null for none).
  virtual TForm* Owner() const = 0;

  // Typed lookup for tests: FindAs<TButton>(form, "Button1").
  template <typename T>
  T* FindAs(std::string_view name) const {
    return dynamic_cast<T*>(FindControl(name));
  }
};

std::unique_ptr<TForm> CreateForm(const TFormSpec& spec);

}  // namespace qm90ui
