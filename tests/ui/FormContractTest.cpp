// What the windows rely on from the window layer, checked through ui/ alone so
// that the same source runs on each backend: handlers only for a user's acts,
// the status bar's panels, names, the modal run and its close requests,
// timers, keys, the menu's access keys.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/Application.h"
#include "ui/Form.h"

namespace {

using namespace qm90ui;

std::unique_ptr<TForm> Dialog(int width = 300, int height = 200) {
  return CreateForm({"TTestForm", "Zkouška ěščřžýáíéůťď", TFormStyle::kDialog, width, height});
}

TEST(FormContract, HandlersRunOnlyForWhatAUserDoes) {
  auto form = Dialog();
  TButton* button = form->AddButton(nullptr, "Button1", {8, 8, 75, 25}, "Ok");
  TCheckBox* box = form->AddCheckBox(nullptr, "CheckBox1", {8, 40, 80, 17}, "DOUT0");
  TComboList* list = form->AddComboList(nullptr, "ComboBox1", {8, 64, 100, 21});
  for (const char* item : {"600 Bd", "1200 Bd", "2400 Bd"}) list->AddItem(item);
  EXPECT_EQ(list->ItemIndex(), 0);  // the first item, until told otherwise
  int clicks = 0, toggles = 0, changes = 0;
  button->OnClick = [&] { ++clicks; };
  box->OnClick = [&] { ++toggles; };
  list->OnChange = [&] { ++changes; };

  box->SetChecked(true);
  list->SetItemIndex(1);
  list->SetText("2400 Bd");
  EXPECT_EQ(toggles + changes, 0);
  EXPECT_TRUE(box->Checked());
  EXPECT_EQ(list->ItemIndex(), 2);

  struct Case {
    const char* act;
    std::function<void()> run;
    const int* counter;
  } const cases[] = {
      {"button", [&] { button->Click(); }, &clicks},
      {"check box", [&] { box->Click(); }, &toggles},
      {"list", [&] { list->Pick(0); }, &changes},
  };
  for (const Case& c : cases) {
    const int before = *c.counter;
    c.run();
    EXPECT_EQ(*c.counter, before + 1) << c.act;
  }
  EXPECT_FALSE(box->Checked());
  EXPECT_EQ(list->Text(), "600 Bd");
  for (int out_of_range : {-1, 3, 99}) {
    list->SetItemIndex(out_of_range);
    EXPECT_EQ(list->ItemIndex(), -1) << out_of_range;
    EXPECT_EQ(list->Text(), "");
  }
}

TEST(FormContract, TextsKeepEveryCzechLetter) {
  auto form = Dialog();
  const std::string text = "Připojení úspěšně inicializováno. ĚŠČŘŽÝÁÍÉÚŮŤĎŇ";
  std::vector<TControl*> controls = {
      form->AddLabel(nullptr, "Label1", {8, 8, 200, 13}, ""),
      form->AddEdit(nullptr, "Edit1", {8, 24, 200, 21}),
      form->AddButton(nullptr, "Button1", {8, 48, 200, 25}, ""),
      form->AddCheckBox(nullptr, "CheckBox1", {8, 76, 200, 17}, ""),
      form->AddGroupBox(nullptr, "GroupBox1", {8, 96, 200, 40}, ""),
      form->AddPanel(nullptr, "Panel1", {8, 140, 200, 22}),
  };
  for (TControl* control : controls) {
    control->SetText(text);
    EXPECT_EQ(control->Text(), text) << control->Name();
  }
  EXPECT_EQ(form->Caption(), "Zkouška ěščřžýáíéůťď");
}

TEST(FormContract, StatusBarPanelsAlongTheBottom) {
  auto form = Dialog(300, 200);
  TStatusBar* bar = form->AddStatusBar("StatusBar1", {50, 60});
  std::vector<std::pair<int, std::string>> seen;
  bar->OnPanelText = [&](int index, const std::string& text) { seen.emplace_back(index, text); };
  form->Show();
  EXPECT_EQ(bar->PanelCount(), 2);
  EXPECT_EQ(bar->Bounds(), (TBounds{0, 200 - 19, 300, 19}));
  bar->SetPanelText(1, " Rychlost  9600Bd");
  bar->SetPanelText(2, "beyond the last panel");
  bar->SetPanelText(-1, "before the first");
  EXPECT_EQ(bar->PanelText(1), " Rychlost  9600Bd");
  EXPECT_EQ(bar->PanelText(2), "");
  EXPECT_EQ(seen, (std::vector<std::pair<int, std::string>>{{1, " Rychlost  9600Bd"}}));
  bar->SetPanelHint(1, "Soubor nelze zapsat");
  EXPECT_EQ(bar->PanelHint(1), "Soubor nelze zapsat");
  EXPECT_EQ(bar->PanelHint(0), "");
}

TEST(FormContract, ControlsAreFoundByTheirNames) {
  auto form = CreateForm({"TMain", "Hlavní", TFormStyle::kMainWindow, 600, 400});
  TEdit* edit = form->AddEdit(nullptr, "Edit1", {8, 8, 100, 21});
  TTimer* timer = form->AddTimer("Timer1", 100);
  form->AddMainMenu("MainMenu1");
  TMenuItem* live = form->AddSubmenu("Okamitehodnoty1", "&Okamžité hodnoty");
  TMenuItem* item = form->AddMenuItem(live, "OkamDIN2", "Digitální vstupy");
  EXPECT_EQ(form->FindControl("Edit1"), edit);
  EXPECT_EQ(form->FindAs<TEdit>("Edit1"), edit);
  EXPECT_EQ(form->FindAs<TButton>("Edit1"), nullptr);
  EXPECT_EQ(form->FindControl("Edit2"), nullptr);
  EXPECT_EQ(form->FindTimer("Timer1"), timer);
  EXPECT_FALSE(timer->Active());
  EXPECT_EQ(form->FindMenuItem("OkamDIN2"), item);
  EXPECT_EQ(item->Text(), "Digitální vstupy");
  EXPECT_EQ(form->Name(), "TMain");
}

TEST(FormContract, ModalRunEndsByResultOrAllowedClose) {
  auto form = Dialog(200, 100);
  TEdit* edit = form->AddEdit(nullptr, "Edit1", {8, 8, 100, 21});
  bool may_close = false;
  int asked = 0, closed = 0, shown = 0;
  form->OnShow = [&] { ++shown; };
  form->OnCloseQuery = [&] {
    ++asked;
    return may_close;
  };
  form->OnClose = [&] { ++closed; };
  bool inside_checks_ran = false;
  Post([&] {
    EXPECT_EQ(ActiveModalForm(), form.get());
    EXPECT_TRUE(form->Visible());
    edit->SetFocus();
    form->PressKey(TKey::kReturn);  // no default button: nothing happens
    form->PressKey(TKey::kEscape);  // asks, is refused
    form->Close();                  // asks, is refused
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(asked, 2);
    may_close = true;
    inside_checks_ran = true;
    form->PressKey(TKey::kEscape);
  });
  EXPECT_EQ(form->ShowModal(), TModalResult::kCancel);
  EXPECT_TRUE(inside_checks_ran);
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(ActiveModalForm(), nullptr);

  Post([&] { form->EndModal(TModalResult::kOk); });
  EXPECT_EQ(form->ShowModal(), TModalResult::kOk);
  EXPECT_EQ(asked, 3);  // EndModal asks nobody
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(shown, 2);  // each showing runs OnShow
}

TEST(FormContract, TimerTicksOnlyWhileRunning) {
  auto form = Dialog();
  TTimer* timer = form->AddTimer("Timer1", 10);
  int ticks = 0;
  timer->OnTimer = [&] { ++ticks; };
  ProcessMessagesFor(50);
  EXPECT_EQ(ticks, 0);
  timer->Start();
  EXPECT_TRUE(timer->Active());
  for (int waited = 0; ticks < 3 && waited < 5000; waited += 20) ProcessMessagesFor(20);
  EXPECT_GE(ticks, 3);
  timer->Stop();
  const int stopped_at = ticks;
  ProcessMessagesFor(50);
  EXPECT_EQ(ticks, stopped_at);
}

// A handler slower than its timer's interval (a slow module polled) leaves the
// timer due again at once: the pump still returns.
TEST(FormContract, PumpReturnsWhileATimerOutlastsItsInterval) {
  auto form = Dialog();
  TTimer* timer = form->AddTimer("Timer1", 5);
  int ticks = 0;
  timer->OnTimer = [&] {
    ++ticks;
    const auto busy_until = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
    while (std::chrono::steady_clock::now() < busy_until) {
    }
  };
  timer->Start();
  for (int waited = 0; ticks < 2 && waited < 5000; waited += 20) ProcessMessagesFor(20);
  ProcessMessages();
  timer->Stop();
  EXPECT_GE(ticks, 2);
}

TEST(FormContract, TabFollowsTheOrderGiven) {
  auto form = Dialog();
  TEdit* first = form->AddEdit(nullptr, "Edit1", {8, 8, 100, 21});
  TEdit* second = form->AddEdit(nullptr, "Edit2", {8, 32, 100, 21});
  TButton* button = form->AddButton(nullptr, "Button1", {8, 64, 75, 25}, "Cancel");
  form->SetTabOrder({second, button, first});
  form->Show();
  second->SetFocus();
  ProcessMessages();
  for (TControl* next : std::vector<TControl*>{button, first, second}) {
    form->PressKey(TKey::kTab);
    EXPECT_EQ(form->FocusedControl(), next) << next->Name();
  }
}

TEST(FormContract, AccessKeyOfTheMenuBarChoosesTheCommand) {
  auto form = CreateForm({"TMain", "Hlavní", TFormStyle::kMainWindow, 600, 400});
  form->AddMainMenu("MainMenu1");
  int connects = 0, ends = 0;
  form->AddMenuItem(nullptr, "Pipojen1", "&Připojení")->OnClick = [&] { ++connects; };
  form->AddMenuItem(nullptr, "Konec2", "&Konec")->OnClick = [&] { ++ends; };
  form->Show();
  ProcessMessages();
  form->PressAltKey('P');
  ProcessMessages();
  EXPECT_EQ(connects, 1);
  EXPECT_EQ(ends, 0);
}

TEST(FormContract, LabelsSizeToTheirText) {
  auto form = Dialog();
  TLabel* grow = form->AddLabel(nullptr, "Label1", {8, 8, 10, 13}, "Inicializační hodnota");
  TLabel* keep = form->AddLabel(nullptr, "Label2", {8, 24, 400, 13}, "DIN0");
  grow->WidenToText();
  keep->WidenToText();
  EXPECT_GT(grow->Bounds().width, 10);
  EXPECT_EQ(keep->Bounds().width, 400);  // never narrower
  keep->AutoSize();
  EXPECT_LT(keep->Bounds().width, 400);
  EXPECT_GT(keep->Bounds().width, 0);
}

}  // namespace
