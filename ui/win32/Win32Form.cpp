// The window layer on the Win32 API: each form is a top-level window of its
// own class, its controls are the standard controls as its children (a group
// box or panel contains its controls only in place and visibility), menus are
// the system's menus and timers are window timers of the form.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/WinText.h"
#include "ui/Form.h"
#include "ui/win32/Win32Handles.h"
#include "ui/win32/Win32Window.h"

namespace qm90ui {
namespace {

namespace w = ui::win32;

constexpr int kFirstControlId = 100;
constexpr int kFirstMenuId = 1000;
constexpr int kFirstTimerId = 1;

class Win32Form;

// What every control of a form shares: its window, name and place.
class ControlCore {
 public:
  ControlCore(Win32Form& form, HWND window, std::string name, TControl* container)
      : form_(form), window_(window), name_(std::move(name)), container_(container) {}
  virtual ~ControlCore() = default;
  HWND Window() const { return window_; }
  const std::string& CoreName() const { return name_; }
  // Notifications from the control (BN_CLICKED, CBN_SELCHANGE ...).
  virtual void Notify(int /*code*/) {}
  void AddContained(ControlCore* control) { contained_.push_back(control); }

 protected:
  Win32Form& form_;
  HWND window_;
  std::string name_;
  TControl* container_;
  std::vector<ControlCore*> contained_;

  POINT Origin() const;  // the container's client origin in form coordinates

  TBounds CoreBounds() const {
    RECT rect{};
    GetWindowRect(window_, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(window_), reinterpret_cast<POINT*>(&rect), 2);
    const POINT origin = Origin();
    return {rect.left - origin.x, rect.top - origin.y, rect.right - rect.left,
            rect.bottom - rect.top};
  }
  void CoreSetBounds(const TBounds& b, int extra_height = 0) {
    const POINT origin = Origin();
    const TBounds old = CoreBounds();
    MoveWindow(window_, origin.x + b.left, origin.y + b.top, b.width, b.height + extra_height,
               TRUE);
    for (ControlCore* inner : contained_) inner->Shift(b.left - old.left, b.top - old.top);
  }
  void Shift(int dx, int dy) {
    if (dx == 0 && dy == 0) return;
    RECT rect{};
    GetWindowRect(window_, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(window_), reinterpret_cast<POINT*>(&rect), 2);
    SetWindowPos(window_, nullptr, rect.left + dx, rect.top + dy, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (ControlCore* inner : contained_) inner->Shift(dx, dy);
  }
  bool CoreVisible() const { return (GetWindowLongPtrW(window_, GWL_STYLE) & WS_VISIBLE) != 0; }
  void CoreSetVisible(bool visible) {
    ShowWindow(window_, visible ? SW_SHOWNA : SW_HIDE);
    for (ControlCore* inner : contained_) inner->CoreSetVisibleShown(visible);
  }
  // Contained controls follow their container, but keep their own flag when
  // it is shown again only in so far as they were visible before.
  void CoreSetVisibleShown(bool visible) {
    if (!visible) {
      hidden_with_container_ = CoreVisible();
      ShowWindow(window_, SW_HIDE);
    } else if (hidden_with_container_) {
      ShowWindow(window_, SW_SHOWNA);
      hidden_with_container_ = false;
    }
    for (ControlCore* inner : contained_) inner->CoreSetVisibleShown(visible);
  }

 private:
  bool hidden_with_container_ = false;
};

// TControl's common part on top of the core; Interface is TLabel, TEdit ...
template <typename Interface>
class Control : public Interface, public ControlCore {
 public:
  using ControlCore::ControlCore;
  std::string Name() const override { return name_; }
  std::string Text() const override { return w::Text(window_); }
  void SetText(std::string_view utf8) override { w::SetText(window_, std::string(utf8)); }
  TBounds Bounds() const override { return CoreBounds(); }
  void SetBounds(const TBounds& bounds) override { CoreSetBounds(bounds); }
  bool Visible() const override { return CoreVisible(); }
  void SetVisible(bool visible) override { CoreSetVisible(visible); }
  void SetFocus() override { ::SetFocus(window_); }
  bool Focused() const override { return GetFocus() == window_; }
  bool Enabled() const override { return IsWindowEnabled(window_) != FALSE; }
  std::string ParentName() const override {
    return container_ ? container_->Name() : std::string();
  }
};

SIZE TextExtent(HWND window, const std::string& text) {
  std::wstring wide = base::Wide(text);
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, w::FormFont());
  SIZE size{0, 0};
  GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  size.cy = std::max<LONG>(size.cy, metrics.tmHeight);
  return size;
}

// The text a label shows: with an access key its "&" is not drawn.
std::string ShownText(const std::string& text, bool with_prefix) {
  if (!with_prefix) return text;
  std::string shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    shown += text[i];
  }
  return shown;
}

class Label final : public Control<TLabel> {
 public:
  using Control::Control;
  void NameField(TControl* field) override;
  void AutoSize() override {
    const SIZE size = TextExtent(window_, ShownText(Text(), field_ != nullptr));
    TBounds b = Bounds();
    b.width = size.cx;
    b.height = size.cy;
    SetBounds(b);
  }
  void WidenToText() override {
    const SIZE size = TextExtent(window_, ShownText(Text(), field_ != nullptr));
    TBounds b = Bounds();
    if (size.cx <= b.width) return;
    b.width = size.cx;
    SetBounds(b);
  }
  void Notify(int code) override {
    if (code == STN_CLICKED && field_) field_->SetFocus();
  }
  TControl* Field() const { return field_; }

 private:
  TControl* field_ = nullptr;
};

class Edit final : public Control<TEdit> {
 public:
  using Control::Control;
};

class ComboList final : public Control<TComboList> {
 public:
  using Control::Control;
  std::string Text() const override {
    const int index = ItemIndex();
    return index < 0 ? std::string() : ItemText(index);
  }
  void SetText(std::string_view utf8) override {
    int found = -1;
    for (int i = 0; i < ItemCount() && found < 0; ++i)
      if (ItemText(i) == utf8) found = i;
    SetItemIndex(found);
  }
  // The window is as high as its closed field; the list is a window of its own.
  void SetBounds(const TBounds& bounds) override { CoreSetBounds(bounds, kListHeight); }
  // As on Qt, a list shows its first item until told otherwise.
  void AddItem(std::string_view utf8) override {
    const bool first = ItemCount() == 0;
    SendMessageW(window_, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(base::Wide(std::string(utf8)).c_str()));
    if (first) SendMessageW(window_, CB_SETCURSEL, 0, 0);
  }
  int ItemCount() const override {
    return static_cast<int>(SendMessageW(window_, CB_GETCOUNT, 0, 0));
  }
  std::string ItemText(int index) const override {
    const LRESULT length = SendMessageW(window_, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(window_, CB_GETLBTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.data()));
    return base::Narrow(text.c_str(), -1);
  }
  int ItemIndex() const override {
    const LRESULT index = SendMessageW(window_, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
  }
  void SetItemIndex(int index) override {
    if (index < 0 || index >= ItemCount()) index = -1;
    SendMessageW(window_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    UpdateWindow(window_);
  }
  void Pick(int index) override {
    SetItemIndex(index);
    if (OnChange) OnChange();
  }
  void Notify(int code) override {
    // A pick from the open list ends in CBN_SELENDOK; with the list closed,
    // the arrow keys change the selection at once.
    const bool dropped = SendMessageW(window_, CB_GETDROPPEDSTATE, 0, 0) != 0;
    const bool picked = (code == CBN_SELENDOK && dropped) || (code == CBN_SELCHANGE && !dropped);
    if (picked && OnChange) OnChange();
  }
  static constexpr int kListHeight = 200;
};

class CheckBox final : public Control<TCheckBox> {
 public:
  using Control::Control;
  bool Checked() const override { return SendMessageW(window_, BM_GETCHECK, 0, 0) == BST_CHECKED; }
  void SetChecked(bool checked) override {
    SendMessageW(window_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    UpdateWindow(window_);
  }
  void Click() override { SendMessageW(window_, BM_CLICK, 0, 0); }
  void Notify(int code) override {
    if (code == BN_CLICKED && OnClick) OnClick();
  }
};

class Button final : public Control<TButton> {
 public:
  using Control::Control;
  void Click() override { SendMessageW(window_, BM_CLICK, 0, 0); }
  void Notify(int code) override {
    if (code == BN_CLICKED && OnClick) OnClick();
  }
};

class GroupBox final : public Control<TGroupBox> {
 public:
  using Control::Control;
};

class Panel final : public Control<TPanel> {
 public:
  using Control::Control;
};

class StatusBar final : public Control<TStatusBar> {
 public:
  StatusBar(Win32Form& form, HWND window, std::string name, std::vector<int> widths)
      : Control(form, window, std::move(name), nullptr),
        widths_(std::move(widths)),
        hints_(widths_.size()) {}
  std::string Text() const override { return PanelText(0); }
  void SetText(std::string_view utf8) override { SetPanelText(0, utf8); }
  void SetBounds(const TBounds&) override {}  // docked at the bottom
  int PanelCount() const override { return static_cast<int>(widths_.size()); }
  std::string PanelText(int index) const override {
    if (index < 0 || index >= PanelCount()) return {};
    return w::PanelText(window_, index);
  }
  void SetPanelText(int index, std::string_view utf8) override {
    if (index < 0 || index >= PanelCount()) return;
    const std::string text(utf8);
    w::SetPanelText(window_, index, text);
    if (OnPanelText) OnPanelText(index, text);
  }
  void SetPanelHint(int index, std::string_view utf8) override {
    if (index < 0 || index >= PanelCount()) return;
    hints_[static_cast<std::size_t>(index)] = std::string(utf8);
    SendMessageW(
        window_, SB_SETTIPTEXTW, static_cast<WPARAM>(index),
        reinterpret_cast<LPARAM>(base::Wide(hints_[static_cast<std::size_t>(index)]).c_str()));
  }
  std::string PanelHint(int index) const override {
    if (index < 0 || index >= PanelCount()) return {};
    return hints_[static_cast<std::size_t>(index)];
  }
  void Dock() { w::LayOutStatusBar(window_, widths_); }

 private:
  std::vector<int> widths_;
  std::vector<std::string> hints_;
};

class Timer final : public TTimer {
 public:
  Timer(HWND form, UINT_PTR id, std::string name, int interval)
      : form_(form), id_(id), name_(std::move(name)), interval_(interval) {}
  ~Timer() override { Stop(); }
  std::string Name() const override { return name_; }
  int Interval() const override { return interval_; }
  void SetInterval(int ms) override {
    interval_ = ms;
    if (active_) Start();
  }
  bool Active() const override { return active_; }
  void Start() override {
    active_ = SetTimer(form_, id_, static_cast<UINT>(std::max(interval_, 1)), nullptr) != 0;
  }
  void Stop() override {
    if (active_) KillTimer(form_, id_);
    active_ = false;
  }
  // A tick that arrives while the handler still runs (it let messages
  // through) is dropped: ticks never overlap.
  void Tick() {
    if (!active_ || running_ || !OnTimer) return;
    running_ = true;
    OnTimer();
    running_ = false;
  }

 private:
  HWND form_;
  UINT_PTR id_;
  std::string name_;
  int interval_;
  bool active_ = false;
  bool running_ = false;
};

class MenuItem final : public TMenuItem {
 public:
  MenuItem(std::string name, std::string text, HMENU popup)
      : name_(std::move(name)), text_(std::move(text)), popup_(popup) {}
  std::string Name() const override { return name_; }
  std::string Text() const override { return text_; }
  void Click() override {
    if (OnClick) OnClick();
  }
  HMENU Popup() const { return popup_; }

 private:
  std::string name_;
  std::string text_;
  HMENU popup_;
};

std::vector<Win32Form*>& ModalForms() {
  static std::vector<Win32Form*> forms;
  return forms;
}

class Win32Form final : public TForm, public w::FormEvents {
 public:
  explicit Win32Form(const TFormSpec& spec);
  ~Win32Form() override;
  bool Created() const { return window_ != nullptr; }
  HWND Window() const { return window_; }

  std::string Name() const override { return name_; }
  std::string Caption() const override { return w::Text(window_); }
  void SetCaption(std::string_view utf8) override { w::SetText(window_, std::string(utf8)); }
  TFormStyle Style() const override { return style_; }
  int ClientWidth() const override { return ClientRect().right; }
  int ClientHeight() const override { return ClientRect().bottom; }
  void Resize(int outer_width, int outer_height) override {
    SetWindowPos(window_, nullptr, 0, 0, outer_width, outer_height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  TLabel* AddLabel(TControl* parent, std::string_view name, TBounds bounds,
                   std::string_view text) override {
    return Add<Label>(parent, name, w::ControlKind::Label, bounds, text);
  }
  TEdit* AddEdit(TControl* parent, std::string_view name, TBounds bounds) override {
    return Add<Edit>(parent, name, w::ControlKind::Edit, bounds, "");
  }
  TComboList* AddComboList(TControl* parent, std::string_view name, TBounds bounds) override {
    return Add<ComboList>(parent, name, w::ControlKind::DropDownList, bounds, "");
  }
  TCheckBox* AddCheckBox(TControl* parent, std::string_view name, TBounds bounds,
                         std::string_view text) override {
    return Add<CheckBox>(parent, name, w::ControlKind::CheckBox, bounds, text);
  }
  TButton* AddButton(TControl* parent, std::string_view name, TBounds bounds,
                     std::string_view text) override {
    return Add<Button>(parent, name, w::ControlKind::Button, bounds, text);
  }
  TGroupBox* AddGroupBox(TControl* parent, std::string_view name, TBounds bounds,
                         std::string_view text) override {
    return Add<GroupBox>(parent, name, w::ControlKind::GroupBox, bounds, text);
  }
  TPanel* AddPanel(TControl* parent, std::string_view name, TBounds bounds) override {
    return Add<Panel>(parent, name, w::ControlKind::SunkenPanel, bounds, "");
  }
  TStatusBar* AddStatusBar(std::string_view name, const std::vector<int>& panel_widths) override {
    HWND bar = w::CreateStatusBar(window_, NextControlId(), panel_widths,
                                  style_ == TFormStyle::kMainWindow);
    auto control = std::make_unique<StatusBar>(*this, bar, std::string(name), panel_widths);
    status_bar_ = control.get();
    return Keep(std::move(control));
  }
  TTimer* AddTimer(std::string_view name, int interval_ms) override {
    const UINT_PTR id = kFirstTimerId + timers_.size();
    timers_.push_back(std::make_unique<Timer>(window_, id, std::string(name), interval_ms));
    return timers_.back().get();
  }

  void AddMainMenu(std::string_view bar_name) override {
    if (menu_bar_) return;
    menu_bar_ = CreateMenu();
    menu_bar_name_ = std::string(bar_name);
    SetMenu(window_, menu_bar_);
  }
  TMenuItem* AddSubmenu(std::string_view name, std::string_view caption) override {
    AddMainMenu("MainMenu1");
    HMENU popup = CreatePopupMenu();
    AppendMenuW(menu_bar_, MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(popup),
                base::Wide(std::string(caption)).c_str());
    DrawMenuBar(window_);
    return KeepMenuItem(name, caption, popup, 0, true);
  }
  TMenuItem* AddMenuItem(TMenuItem* submenu, std::string_view name,
                         std::string_view caption) override {
    AddMainMenu("MainMenu1");
    auto* parent = dynamic_cast<MenuItem*>(submenu);
    HMENU target = parent && parent->Popup() ? parent->Popup() : menu_bar_;
    const int id = kFirstMenuId + static_cast<int>(menu_items_.size());
    AppendMenuW(target, MF_STRING, static_cast<UINT_PTR>(id),
                base::Wide(std::string(caption)).c_str());
    DrawMenuBar(window_);
    return KeepMenuItem(name, caption, nullptr, id, target == menu_bar_);
  }

  void SetTabOrder(const std::vector<TControl*>& order) override {
    std::vector<HWND> windows;
    for (TControl* control : order)
      if (auto* core = dynamic_cast<ControlCore*>(control)) windows.push_back(core->Window());
    w::SetTabOrder(windows);
    KeepLabelsBeforeFields();
    KeepContainersBehind();
  }
  TControl* FocusedControl() const override { return ControlOf(GetFocus()); }

  void Show() override {
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    closed_ = false;
    if (OnShow) OnShow();
  }
  bool Visible() const override { return IsWindowVisible(window_) != FALSE; }
  void Close() override { OnCloseRequest(); }
  TModalResult ShowModal() override;
  void EndModal(TModalResult result) override {
    result_ = result;
    modal_ended_ = true;
    // Shown without the modal loop: hidden at once, as ShowModal hides it on return.
    if (!in_modal_) ShowWindow(window_, SW_HIDE);
    PostMessageW(window_, WM_NULL, 0, 0);  // wakes the modal loop
  }
  TModalResult ModalResult() const override { return result_; }
  TForm* Owner() const override { return owner_form_; }

  TControl* FindControl(std::string_view name) const override {
    for (const auto& control : controls_)
      if (control->CoreName() == name) return dynamic_cast<TControl*>(control.get());
    return nullptr;
  }
  TTimer* FindTimer(std::string_view name) const override {
    for (const auto& timer : timers_)
      if (timer->Name() == name) return timer.get();
    return nullptr;
  }
  TMenuItem* FindMenuItem(std::string_view name) const override {
    for (const auto& item : menu_items_)
      if (item.item->Name() == name) return item.item.get();
    return nullptr;
  }
  void PressKey(TKey key) override;
  void PressAltKey(char letter) override;

  // Window events.
  void OnControlCommand(HWND control, int, int code) override {
    for (const auto& item : controls_)
      if (item->Window() == control) {
        item->Notify(code);
        return;
      }
  }
  void OnMenuCommand(int id) override {
    for (const auto& item : menu_items_)
      if (item.id == id) {
        item.item->Click();
        return;
      }
  }
  void OnEscape() override {
    if (style_ == TFormStyle::kDialog) Close();
  }
  void OnTimer(UINT_PTR id) override {
    const std::size_t index = id - kFirstTimerId;
    if (index < timers_.size()) timers_[index]->Tick();
  }
  void OnCloseRequest() override {
    if (OnCloseQuery && !OnCloseQuery()) return;
    if (OnClose) OnClose();
    closed_ = true;
    if (in_modal_) {
      EndModal(TModalResult::kCancel);
    } else {
      if (style_ == TFormStyle::kDialog) result_ = TModalResult::kCancel;
      ShowWindow(window_, SW_HIDE);
      PostMessageW(window_, WM_NULL, 0, 0);  // wakes the application's loop
    }
  }
  void OnResized() override {
    if (status_bar_) status_bar_->Dock();
  }

 private:
  struct MenuEntry {
    std::unique_ptr<MenuItem> item;
    int id;
    bool on_bar;
  };

  std::string name_;
  TFormStyle style_;
  HWND owner_ = nullptr;
  TForm* owner_form_ = nullptr;
  HWND window_ = nullptr;
  std::vector<std::unique_ptr<ControlCore>> controls_;
  std::vector<std::unique_ptr<Timer>> timers_;
  std::vector<MenuEntry> menu_items_;
  HMENU menu_bar_ = nullptr;
  std::string menu_bar_name_;
  StatusBar* status_bar_ = nullptr;
  bool in_modal_ = false;
  bool modal_ended_ = false;
  bool closed_ = false;
  TModalResult result_ = TModalResult::kNone;

  RECT ClientRect() const {
    RECT rect{};
    GetClientRect(window_, &rect);
    return rect;
  }
  int NextControlId() const { return kFirstControlId + static_cast<int>(controls_.size()); }

  template <typename T>
  T* Keep(std::unique_ptr<T> control) {
    T* raw = control.get();
    controls_.push_back(std::move(control));
    return raw;
  }

  template <typename T>
  T* Add(TControl* parent, std::string_view name, w::ControlKind kind, TBounds bounds,
         std::string_view text) {
    auto* container = dynamic_cast<ControlCore*>(parent);
    const POINT offset = ContainerOrigin(parent);
    w::ControlSpec spec{
        kind,         NextControlId(), offset.x + bounds.left, offset.y + bounds.top,
        bounds.width, bounds.height,   std::string(text)};
    spec.white = dynamic_cast<Panel*>(parent) != nullptr;
    HWND control = w::CreateControl(window_, spec);
    auto kept = std::make_unique<T>(*this, control, std::string(name), parent);
    if (container) {
      container->AddContained(kept.get());
      w::SendToBack(container->Window());
    }
    if (parent && !parent->Visible()) ShowWindow(control, SW_HIDE);
    return Keep(std::move(kept));
  }

  TMenuItem* KeepMenuItem(std::string_view name, std::string_view caption, HMENU popup, int id,
                          bool on_bar) {
    menu_items_.push_back(
        {std::make_unique<MenuItem>(std::string(name), std::string(caption), popup), id, on_bar});
    return menu_items_.back().item.get();
  }

  TControl* ControlOf(HWND window) const {
    for (const auto& control : controls_)
      if (control->Window() == window) return dynamic_cast<TControl*>(control.get());
    return nullptr;
  }

  void KeepContainersBehind() {
    for (const auto& control : controls_)
      if (dynamic_cast<GroupBox*>(control.get()) || dynamic_cast<Panel*>(control.get()))
        w::SendToBack(control->Window());
  }

  void KeepLabelsBeforeFields() {
    for (const auto& control : controls_) {
      auto* label = dynamic_cast<Label*>(control.get());
      if (!label || !label->Field()) continue;
      if (auto* field = dynamic_cast<ControlCore*>(label->Field()))
        w::KeepLabelBeforeField(label->Window(), field->Window());
    }
  }

 public:
  // Where a container's client area starts, in form coordinates.
  POINT ContainerOrigin(TControl* container) const {
    auto* core = dynamic_cast<ControlCore*>(container);
    if (!core) return {0, 0};
    RECT rect{};
    GetWindowRect(core->Window(), &rect);
    MapWindowPoints(HWND_DESKTOP, window_, reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top};
  }
  void NameField(Label& label, TControl* field) {
    auto* core = dynamic_cast<ControlCore*>(field);
    if (!core) return;
    const LONG_PTR style = GetWindowLongPtrW(label.Window(), GWL_STYLE);
    SetWindowLongPtrW(label.Window(), GWL_STYLE, (style & ~LONG_PTR{SS_NOPREFIX}) | SS_NOTIFY);
    InvalidateRect(label.Window(), nullptr, TRUE);
    w::KeepLabelBeforeField(label.Window(), core->Window());
  }
};

POINT ControlCore::Origin() const {
  return form_.ContainerOrigin(container_);
}

void Label::NameField(TControl* field) {
  field_ = field;
  form_.NameField(*this, field);
}

Win32Form::Win32Form(const TFormSpec& spec) : name_(spec.name), style_(spec.style) {
  const bool main_window = spec.style == TFormStyle::kMainWindow;
  auto* owner = dynamic_cast<Win32Form*>(spec.owner);
  owner_ = owner ? owner->Window() : nullptr;
  owner_form_ = owner;
  SIZE outer{spec.width, spec.height};
  if (!main_window) outer = w::OuterSizeForClient(false, false, spec.width, spec.height);
  window_ = w::CreateForm(this, main_window, owner_, spec.caption, outer.cx, outer.cy);
}

Win32Form::~Win32Form() {
  if (!window_) return;
  timers_.clear();
  SetWindowLongPtrW(window_, GWLP_USERDATA, 0);  // no events while going
  auto& modal = ModalForms();
  modal.erase(std::remove(modal.begin(), modal.end(), this), modal.end());
  DestroyWindow(window_);
}

TModalResult Win32Form::ShowModal() {
  if (in_modal_) return TModalResult::kNone;
  in_modal_ = true;
  modal_ended_ = false;
  closed_ = false;
  result_ = TModalResult::kNone;
  ModalForms().push_back(this);
  w::RunModal(window_, owner_, modal_ended_, [this] {
    if (HWND first = GetNextDlgTabItem(window_, nullptr, FALSE)) ::SetFocus(first);
    if (OnShow) OnShow();
  });
  auto& modal = ModalForms();
  modal.erase(std::remove(modal.begin(), modal.end(), this), modal.end());
  in_modal_ = false;
  if (!modal_ended_) result_ = TModalResult::kCancel;  // the program is quitting
  return result_;
}

void Win32Form::PressKey(TKey key) {
  HWND target = GetFocus();
  if (!target || GetAncestor(target, GA_ROOT) != window_) target = window_;
  switch (key) {
    case TKey::kReturn:
      w::DeliverKey(target, WM_KEYDOWN, VK_RETURN);
      w::DeliverKey(target, WM_KEYUP, VK_RETURN);
      break;
    case TKey::kEscape:
      w::DeliverKey(target, WM_KEYDOWN, VK_ESCAPE);
      w::DeliverKey(target, WM_KEYUP, VK_ESCAPE);
      break;
    case TKey::kTab:
      w::DeliverKey(target, WM_KEYDOWN, VK_TAB);
      w::DeliverKey(target, WM_KEYUP, VK_TAB);
      break;
    case TKey::kSpace:
      w::DeliverKey(target, WM_KEYDOWN, VK_SPACE);
      w::DeliverKey(target, WM_KEYUP, VK_SPACE);
      break;
  }
}

// The system's menu loop would wait for the user; a command on the bar is
// chosen directly, as Alt+letter does.
void Win32Form::PressAltKey(char letter) {
  const auto upper = [](char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  };
  const char wanted = upper(letter);
  for (const auto& entry : menu_items_) {
    const std::string& text = entry.item->Text();
    const auto amp = text.find('&');
    if (amp == std::string::npos || amp + 1 >= text.size()) continue;
    const char key = upper(text[amp + 1]);
    if (key == wanted && entry.on_bar) {
      if (!entry.item->Popup()) entry.item->Click();
      return;
    }
  }
}

}  // namespace

std::unique_ptr<TForm> CreateForm(const TFormSpec& spec) {
  auto form = std::make_unique<Win32Form>(spec);
  if (!form->Created()) return nullptr;
  return form;
}

TForm* ActiveModalForm() {
  const auto& forms = ModalForms();
  return forms.empty() ? nullptr : forms.back();
}

}  // namespace qm90ui

namespace ui::win32 {

HWND WindowOf(const qm90ui::TForm& form) {
  auto* win32 = dynamic_cast<const qm90ui::Win32Form*>(&form);
  return win32 ? win32->Window() : nullptr;
}

HWND WindowOf(const qm90ui::TControl& control) {
  auto* core = dynamic_cast<const qm90ui::ControlCore*>(&control);
  return core ? core->Window() : nullptr;
}

}  // namespace ui::win32
