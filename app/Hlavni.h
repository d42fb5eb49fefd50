// Hlavni: the main window TForm1. Owns the run's one TData record, opens every
// dialog modally from its menu and shows in its status bar which module the
// link reaches. Closing it saves the settings and closes an open link.
#pragma once

#include <QMainWindow>
#include <memory>
#include <utility>
#include <vector>

#include "link/Dekl.h"

class QAction;
class QCloseEvent;
namespace qm90ui {
class TStatusBar;
}

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  // Allocates the run's record; returns null when that is impossible.
  using DataFactory = std::unique_ptr<TData> (*)();
  static std::unique_ptr<TData> NewData();

  explicit TForm1(QWidget* parent = nullptr, DataFactory factory = &TForm1::NewData);
  ~TForm1() override;

  TData* Data() const { return data_.get(); }
  qm90ui::TStatusBar* StatusBar() const { return StatusBar1; }

 public slots:
  void Pipojen1Click();
  void AdresaRychlost1Click();
  void NastavDIO1Click();
  void Kalibracevstup1Click();
  void OkamAIN2Click();
  void OkamDIN2Click();
  void OkamDOUT1Click();
  void Statusregistr1Click();
  void Konec2Click();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::unique_ptr<TData> data_;
  qm90ui::TStatusBar* StatusBar1 = nullptr;
  bool closed_ = false;
  bool dialog_open_ = false;
  bool close_pending_ = false;
  using Handler = void (TForm1::*)();
  std::vector<std::pair<QAction*, Handler>> menu_handlers_;

  void FormCreate(DataFactory factory);
  void FormClose();
  void WarnIfSettingsCannotBeSaved();
  void CreateMenu();
  void ConnectHandlers();
  void ShowLinkInStatusBar();

  // Creates the dialog with this window as owner, hands it the record, shows it
  // modally and destroys it, whatever happens while it is shown.
  template <typename T>
  void OpenDialog();
};
