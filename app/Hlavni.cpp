#include "app/Hlavni.h"

#include <filesystem>
#include <new>
#include <string>

#include "app/FolderAccess.h"
#include "dialogs/NastavAOUT.h"
#include "dialogs/NastavAdr.h"
#include "dialogs/NastavDIO.h"
#include "dialogs/OkamAOUT.h"
#include "dialogs/OkamDIN.h"
#include "dialogs/OkamDOUT.h"
#include "dialogs/Pripojeni.h"
#include "dialogs/StatReg.h"
#include "link/QBLxxx.h"

namespace {

constexpr int kOuterWidth = 600;
constexpr int kOuterHeight = 400;
enum Panel { kModulePanel = 0, kAddressPanel = 1, kRatePanel = 2, kMessagePanel = 3 };

}  // namespace

std::unique_ptr<TData> TForm1::NewData() {
  return std::unique_ptr<TData>(new (std::nothrow) TData);
}

TForm1::TForm1(DataFactory factory)
    : TFormWindow({"TForm1", " QM-90 (v.1.02) -  nastavení modulu", qm90ui::TFormStyle::kMainWindow,
                   kOuterWidth, kOuterHeight, nullptr}) {
  CreateMenu();
  StatusBar1 = form_->AddStatusBar("StatusBar1", {140, 80, 120, 50});
  StatusBar1->SetPanelText(kModulePanel, " Modul");
  StatusBar1->SetPanelText(kAddressPanel, " Adresa");
  StatusBar1->SetPanelText(kRatePanel, " Rychlost");
  form_->OnCloseQuery = [this] { return FormCloseQuery(); };
  form_->OnClose = [this] { FormClose(); };
  FormCreate(factory);
}

TForm1::~TForm1() {
  FormClose();
}

void TForm1::CreateMenu() {
  qm90ui::TForm& f = *form_;
  auto item = [this, &f](qm90ui::TMenuItem* submenu, const char* name, const char* caption,
                         void (TForm1::*handler)()) {
    f.AddMenuItem(submenu, name, caption)->OnClick = [this, handler] { (this->*handler)(); };
  };
  f.AddMainMenu("MainMenu1");
  item(nullptr, "Pipojen1", "&Připojení", &TForm1::Pipojen1Click);
  qm90ui::TMenuItem* settings = f.AddSubmenu("Nastaven1", "&Nastavení");
  item(settings, "AdresaRychlost1", "Adresa, rychlost", &TForm1::AdresaRychlost1Click);
  item(settings, "NastavDIO1", "Digitální vstupy/výstupy", &TForm1::NastavDIO1Click);
  item(settings, "Kalibracevstup1", "Analogový výstup", &TForm1::Kalibracevstup1Click);
  qm90ui::TMenuItem* live = f.AddSubmenu("Okamitehodnoty1", "&Okamžité hodnoty");
  item(live, "OkamAIN2", "Analogový výstup", &TForm1::OkamAIN2Click);
  item(live, "OkamDIN2", "Digitální vstupy", &TForm1::OkamDIN2Click);
  item(live, "OkamDOUT1", "Digitální výstupy", &TForm1::OkamDOUT1Click);
  item(live, "Statusregistr1", "Status registr", &TForm1::Statusregistr1Click);
  item(nullptr, "Konec2", "&Konec", &TForm1::Konec2Click);
}

void TForm1::FormCreate(DataFactory factory) {
  data_ = factory ? factory() : nullptr;
  if (!data_) {
    StatusBar1->SetPanelText(kMessagePanel, " Nelze vytvořit datové struktury programu");
    return;
  }
  SetDataDefaults(data_.get());
  LoadSettings(data_.get());
  WarnIfSettingsCannotBeSaved();
}

// Where neither the program's folder nor the user's own folder can be
// written, the user is told at once that the settings will not be kept,
// instead of finding out at the next start.
void TForm1::WarnIfSettingsCannotBeSaved() {
  if (!CurrentSettingsLocation().write.empty()) return;
  const std::filesystem::path file = std::filesystem::path(SettingsFilePath());
  const std::filesystem::path folder = file.parent_path().empty() ? "." : file.parent_path();
  StatusBar1->SetPanelText(kMessagePanel, " Nastavení se neuloží (složka jen pro čtení)");
  StatusBar1->SetPanelHint(
      kMessagePanel, "Soubor " + file.string() + " nelze zapsat: do složky " + folder.string() +
                         " ani do vlastní složky nastavení nemůže tento uživatel zapisovat. "
                         "Nastavení připojení se při ukončení programu neuloží. Spusťte program "
                         "z kopie ve vlastní složce (přenosný archiv), nebo složku zpřístupněte "
                         "pro zápis.");
}

// Runs once, whatever ends the window: the close box, "Konec", the window
// manager, or the window being destroyed without a close.
void TForm1::FormClose() {
  if (closed_) return;
  closed_ = true;
  if (!data_) return;
  SaveSettings(data_.get());
  if (data_->LinkOpen && data_->LinkHandle != 0) {
    std::int32_t handle = data_->LinkHandle;
    DrvClose(data_->InterfaceKind, &handle);
  }
  data_.reset();
}

bool TForm1::FormCloseQuery() {
  // A close asked for while a dialog is open (a stop request) ends the dialog
  // first: the record must outlive it.
  if (!open_dialog_) return true;
  close_pending_ = true;
  open_dialog_->Close();
  return false;
}

template <typename T>
void TForm1::OpenDialog() {
  if (!data_) return;
  try {
    std::unique_ptr<T> dialog(new T(form_.get()));
    dialog->Data = data_.get();
    open_dialog_ = &dialog->Form();
    dialog->ShowModal();
  } catch (...) {
    // A dialog that cannot be created or shown leaves the record as it is.
  }
  open_dialog_ = nullptr;
  if (close_pending_) form_->Close();
}

void TForm1::Pipojen1Click() {
  if (!data_) return;
  OpenDialog<TForm2>();
  ShowLinkInStatusBar();
}

void TForm1::ShowLinkInStatusBar() {
  if (!data_) return;
  StatusBar1->SetPanelText(kModulePanel, " Modul  " + data_->ModuleName);
  StatusBar1->SetPanelText(kAddressPanel, " Adresa  " + std::to_string(data_->ModuleAddress));
  StatusBar1->SetPanelText(kRatePanel, " Rychlost  " + std::to_string(data_->BaudRate) + "Bd");
}

void TForm1::AdresaRychlost1Click() {
  OpenDialog<TForm12>();
}
void TForm1::NastavDIO1Click() {
  OpenDialog<TForm14>();
}
void TForm1::Kalibracevstup1Click() {
  OpenDialog<TForm4>();
}
void TForm1::OkamAIN2Click() {
  OpenDialog<TForm3>();
}
void TForm1::OkamDIN2Click() {
  OpenDialog<TForm11>();
}
void TForm1::OkamDOUT1Click() {
  OpenDialog<TForm9>();
}
void TForm1::Statusregistr1Click() {
  OpenDialog<TForm15>();
}
void TForm1::Konec2Click() {
  form_->Close();
}
