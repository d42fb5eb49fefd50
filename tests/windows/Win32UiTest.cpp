// The Win32 backend of the window layer, where it rests on the system: sizes
// and places of forms and docked status bars, the font, controls inside
// containers, the labels that name fields, the dialog keys and the modal loop.
// The windows' own behaviour is tested through the layer by the window tests.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/Application.h"
#include "ui/Form.h"
#include "ui/win32/Win32Handles.h"

namespace {

using namespace qm90ui;
using ui::win32::WindowOf;

std::unique_ptr<TForm> Dialog(int width, int height, TForm* owner = nullptr) {
  return CreateForm({"TFormTest", "Zkouška", TFormStyle::kDialog, width, height, owner});
}

RECT WindowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

TEST(Win32Forms, SizesAndCentre) {
  struct Case {
    TFormStyle style;
    int width, height;
  };
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  for (const Case& c :
       {Case{TFormStyle::kDialog, 281, 257}, Case{TFormStyle::kMainWindow, 600, 400}}) {
    auto form = CreateForm({"TFormTest", "Zkouška", c.style, c.width, c.height, nullptr});
    ASSERT_NE(form, nullptr);
    const RECT outer = WindowRect(WindowOf(*form));
    if (c.style == TFormStyle::kDialog) {
      EXPECT_EQ(form->ClientWidth(), c.width);
      EXPECT_EQ(form->ClientHeight(), c.height);
    } else {
      EXPECT_EQ(outer.right - outer.left, c.width);
      EXPECT_EQ(outer.bottom - outer.top, c.height);
    }
    const int screen_width = GetSystemMetrics(SM_CXSCREEN);
    EXPECT_NEAR(outer.left + (outer.right - outer.left) / 2, screen_width / 2, 1);
    const LONG_PTR style = GetWindowLongPtrW(WindowOf(*form), GWL_STYLE);
    EXPECT_EQ((style & WS_THICKFRAME) != 0, c.style == TFormStyle::kMainWindow);
  }
}

TEST(Win32Forms, StatusBarDocksAtTheBottomWithItsPanels) {
  auto form = CreateForm({"TForm1", "Hlavní", TFormStyle::kMainWindow, 600, 400, nullptr});
  form->AddMainMenu("MainMenu1");
  form->AddMenuItem(nullptr, "Konec2", "&Konec");
  TStatusBar* bar = form->AddStatusBar("StatusBar1", {140, 80, 120, 50});
  std::vector<std::string> log;
  bar->OnPanelText = [&](int index, const std::string& text) {
    log.push_back(std::to_string(index) + text);
  };
  for (int outer_width : {600, 500, 800}) {
    form->Resize(outer_width, 400);
    const TBounds b = bar->Bounds();
    EXPECT_EQ(b.height, 19) << outer_width;
    EXPECT_EQ(b.top + b.height, form->ClientHeight()) << outer_width;
    EXPECT_EQ(b.width, form->ClientWidth()) << outer_width;
    int edges[4] = {};
    ASSERT_EQ(SendMessageW(WindowOf(*bar), SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges)), 4);
    EXPECT_EQ(edges[0], 140);
    EXPECT_EQ(edges[1], 220);
    EXPECT_EQ(edges[2], 340);
    EXPECT_EQ(edges[3], -1);  // to the right edge
  }
  bar->SetPanelText(2, " Rychlost  9600Bd");
  bar->SetPanelText(3, " Nelze vytvořit datové struktury programu");
  bar->SetPanelText(4, "out of range");
  EXPECT_EQ(bar->PanelText(2), " Rychlost  9600Bd");
  EXPECT_EQ(bar->PanelText(3), " Nelze vytvořit datové struktury programu");
  EXPECT_EQ(log, (std::vector<std::string>{"2 Rychlost  9600Bd",
                                           "3 Nelze vytvořit datové struktury programu"}));
}

TEST(Win32Forms, EveryControlHasTheCentralEuropeanFont) {
  auto form = Dialog(300, 200);
  std::vector<TControl*> controls = {
      form->AddLabel(nullptr, "Label1", {8, 8, 60, 13}, "Adresa ř"),
      form->AddEdit(nullptr, "Edit1", {80, 8, 60, 21}),
      form->AddComboList(nullptr, "ComboBox1", {8, 40, 100, 21}),
      form->AddCheckBox(nullptr, "CheckBox1", {8, 70, 100, 17}, "Negace ů"),
      form->AddButton(nullptr, "Button1", {8, 100, 75, 25}, "Přečíst"),
      form->AddGroupBox(nullptr, "GroupBox1", {150, 40, 120, 60}, "Vstupy"),
      form->AddPanel(nullptr, "Panel1", {8, 140, 200, 21}),
      form->AddStatusBar("StatusBar1", {50})};
  for (TControl* control : controls) {
    auto font = reinterpret_cast<HFONT>(SendMessageW(WindowOf(*control), WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr) << control->Name();
    LOGFONTW face{};
    GetObjectW(font, sizeof face, &face);
    EXPECT_EQ(face.lfCharSet, EASTEUROPE_CHARSET) << control->Name();
    EXPECT_STREQ(face.lfFaceName, L"MS Sans Serif") << control->Name();
    EXPECT_EQ(face.lfHeight, -11) << control->Name();  // 8 pt at 96 dpi
  }
}

TEST(Win32Forms, ControlsInsideAContainerFollowIt) {
  auto form = Dialog(300, 200);
  TGroupBox* group = form->AddGroupBox(nullptr, "GroupBox1", {20, 30, 150, 100}, "Výstupy");
  TCheckBox* inner = form->AddCheckBox(group, "CheckBox1", {10, 20, 80, 17}, "DOUT0");
  TPanel* panel = form->AddPanel(nullptr, "Panel1", {180, 30, 100, 40});
  TLabel* on_panel = form->AddLabel(panel, "Label1", {5, 5, 40, 13}, "0");
  EXPECT_EQ(inner->Bounds(), (TBounds{10, 20, 80, 17}));
  EXPECT_EQ(on_panel->Bounds(), (TBounds{5, 5, 40, 13}));
  POINT at{0, 0};
  MapWindowPoints(WindowOf(*inner), WindowOf(*form), &at, 1);
  EXPECT_EQ(at.x, 30);
  EXPECT_EQ(at.y, 50);

  group->SetBounds({40, 30, 150, 100});
  EXPECT_EQ(inner->Bounds(), (TBounds{10, 20, 80, 17}));
  group->SetVisible(false);
  EXPECT_FALSE(IsWindowVisible(WindowOf(*inner)));
  group->SetVisible(true);
  EXPECT_TRUE(inner->Visible());
}

TEST(Win32Forms, HandlersRunOnlyForWhatAUserDoes) {
  auto form = Dialog(300, 200);
  int clicks = 0, changes = 0, checks = 0;
  TButton* button = form->AddButton(nullptr, "Button1", {8, 8, 75, 25}, "Zapsat");
  TComboList* list = form->AddComboList(nullptr, "ComboBox1", {8, 40, 100, 21});
  TCheckBox* box = form->AddCheckBox(nullptr, "CheckBox1", {8, 70, 100, 17}, "DIN0");
  button->OnClick = [&] { ++clicks; };
  list->OnChange = [&] { ++changes; };
  box->OnClick = [&] { ++checks; };
  for (const char* item : {"600", "1200", "9600"}) list->AddItem(item);

  list->SetItemIndex(2);
  list->SetText("1200");
  box->SetChecked(true);
  button->SetText("Přečíst");
  EXPECT_EQ(clicks + changes + checks, 0);
  EXPECT_EQ(list->ItemIndex(), 1);
  list->SetText("1201");
  EXPECT_EQ(list->ItemIndex(), -1);
  EXPECT_EQ(list->Text(), "");

  button->Click();
  list->Pick(0);
  box->Click();
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(checks, 1);
  EXPECT_FALSE(box->Checked());
  EXPECT_EQ(list->Text(), "600");
  EXPECT_EQ(button->Text(), "Přečíst");
}

// The modal loop with the dialog keys, driven from posted calls.
TEST(Win32Forms, ModalRunKeysAndClose) {
  auto owner = CreateForm({"TForm1", "Hlavní", TFormStyle::kMainWindow, 600, 400, nullptr});
  owner->Show();
  auto dialog = Dialog(300, 200, owner.get());
  TLabel* label = dialog->AddLabel(nullptr, "Label1", {8, 8, 60, 13}, "&Adresa");
  TEdit* edit1 = dialog->AddEdit(nullptr, "Edit1", {80, 8, 60, 21});
  TEdit* edit2 = dialog->AddEdit(nullptr, "Edit2", {80, 40, 60, 21});
  TButton* button = dialog->AddButton(nullptr, "Button1", {8, 100, 75, 25}, "Ok");
  label->NameField(edit2);
  dialog->SetTabOrder({edit2, edit1, button});
  int clicks = 0;
  button->OnClick = [&] { ++clicks; };
  bool may_close = false;
  int closes = 0;
  dialog->OnCloseQuery = [&] { return may_close; };
  dialog->OnClose = [&] { ++closes; };

  std::vector<std::string> focus;
  bool owner_disabled = false;
  Post([&] {
    owner_disabled = !IsWindowEnabled(WindowOf(*owner));
    EXPECT_EQ(ActiveModalForm(), dialog.get());
    focus.push_back(dialog->FocusedControl() ? dialog->FocusedControl()->Name() : "-");
    dialog->PressKey(TKey::kTab);
    focus.push_back(dialog->FocusedControl() ? dialog->FocusedControl()->Name() : "-");
    dialog->PressKey(TKey::kReturn);  // no default button
    dialog->PressKey(TKey::kEscape);  // refused by OnCloseQuery
    may_close = true;
    dialog->PressKey(TKey::kEscape);
  });
  EXPECT_EQ(dialog->ShowModal(), TModalResult::kCancel);
  EXPECT_TRUE(owner_disabled);
  EXPECT_TRUE(IsWindowEnabled(WindowOf(*owner)));
  EXPECT_EQ(ActiveModalForm(), nullptr);
  EXPECT_EQ(focus, (std::vector<std::string>{"Edit2", "Edit1"}));
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(closes, 1);
  // The label stays right before its field, whatever the tab order did.
  EXPECT_EQ(GetWindow(WindowOf(*edit2), GW_HWNDPREV), WindowOf(*label));

  Post([&] { dialog->EndModal(TModalResult::kOk); });
  EXPECT_EQ(dialog->ShowModal(), TModalResult::kOk);
}

// A handler that lets messages through does not get a second tick inside it.
TEST(Win32Forms, TimerTicksDoNotOverlap) {
  auto form = Dialog(100, 100);
  TTimer* timer = form->AddTimer("Timer1", 10);
  int depth = 0, deepest = 0, ticks = 0;
  timer->OnTimer = [&] {
    ++ticks;
    deepest = std::max(deepest, ++depth);
    ProcessMessagesFor(30);
    --depth;
  };
  timer->Start();
  ProcessMessagesFor(200);
  timer->Stop();
  EXPECT_GT(ticks, 1);
  EXPECT_EQ(deepest, 1);
}

}  // namespace
