// Hlavni: the main window TForm1. Owns the run's one TData record, opens every
// dialog modally from its menu and shows in its status bar which module the
// link reaches. Closing it saves the settings and closes an open link.
#pragma once

#include <memory>

#include "dialogs/FormWindow.h"
#include "link/Dekl.h"

class TForm1 : public TFormWindow {
 public:
  // Allocates the run's record; returns null when that is impossible.
  using DataFactory = std::unique_ptr<TData> (*)();
  static std::unique_ptr<TData> NewData();

  explicit TForm1(DataFactory factory = &TForm1::NewData);
  ~TForm1() override;

  TData* Data() const { return data_.get(); }
  qm90ui::TStatusBar* StatusBar() const { return StatusBar1; }

  void Pipojen1Click();
  void AdresaRychlost1Click();
  void NastavDIO1Click();
  void Kalibracevstup1Click();
  void OkamAIN2Click();
  void OkamDIN2Click();
  void OkamDOUT1Click();
  void Statusregistr1Click();
  void Konec2Click();

 private:
  std::unique_ptr<TData> data_;
  qm90ui::TStatusBar* StatusBar1 = nullptr;
  bool closed_ = false;
  qm90ui::TForm* open_dialog_ = nullptr;
  bool close_pending_ = false;

  void FormCreate(DataFactory factory);
  void FormClose();
  bool FormCloseQuery();
  void WarnIfSettingsCannotBeSaved();
  void CreateMenu();
  void ShowLinkInStatusBar();

  // Creates the dialog with this window as owner, hands it the record, shows it
  // modally and destroys it, whatever happens while it is shown.
  template <typename T>
  void OpenDialog();
};
