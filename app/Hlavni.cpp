#include "app/Hlavni.h"

#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <filesystem>
#include <new>

#include "dialogs/NastavAOUT.h"
#include "dialogs/NastavAdr.h"
#include "dialogs/NastavDIO.h"
#include "dialogs/OkamAOUT.h"
#include "dialogs/OkamDIN.h"
#include "dialogs/OkamDOUT.h"
#include "dialogs/Pripojeni.h"
#include "dialogs/StatReg.h"
#include "link/QBLxxx.h"
#include "widgets/Widgets.h"

namespace {

constexpr int kOuterWidth = 600;
constexpr int kOuterHeight = 400;
enum Panel { kModulePanel = 0, kAddressPanel = 1, kRatePanel = 2, kMessagePanel = 3 };

}  // namespace

std::unique_ptr<TData> TForm1::NewData() {
  return std::unique_ptr<TData>(new (std::nothrow) TData);
}

TForm1::TForm1(QWidget* parent, DataFactory factory) : QMainWindow(parent) {
  setObjectName(QStringLiteral("TForm1"));
  setWindowTitle(QStringLiteral(" QM-90 (v.1.02) -  nastavení modulu"));
  qm90ui::ApplyFormLook(this);
  setCentralWidget(new QWidget(this));
  CreateMenu();
  StatusBar1 = new qm90ui::TStatusBar(this, {140, 80, 120, 50});
  StatusBar1->SetPanelText(kModulePanel, QStringLiteral(" Modul"));
  StatusBar1->SetPanelText(kAddressPanel, QStringLiteral(" Adresa"));
  StatusBar1->SetPanelText(kRatePanel, QStringLiteral(" Rychlost"));
  ConnectHandlers();
  qm90ui::CenterOnScreen(this, QSize(kOuterWidth, kOuterHeight));
  FormCreate(factory);
}

TForm1::~TForm1() {
  FormClose();
}

void TForm1::CreateMenu() {
  auto item = [this](QWidget* owner, const char* name, const QString& text, Handler handler) {
    auto* action = new QAction(text, owner);
    action->setObjectName(QString::fromLatin1(name));
    owner->addAction(action);
    menu_handlers_.emplace_back(action, handler);
  };
  auto submenu = [this](const char* name, const QString& title) {
    QMenu* menu = menuBar()->addMenu(title);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
  };
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));
  item(bar, "Pipojen1", QStringLiteral("&Připojení"), &TForm1::Pipojen1Click);
  QMenu* settings = submenu("Nastaven1", QStringLiteral("&Nastavení"));
  item(settings, "AdresaRychlost1", QStringLiteral("Adresa, rychlost"),
       &TForm1::AdresaRychlost1Click);
  item(settings, "NastavDIO1", QStringLiteral("Digitální vstupy/výstupy"),
       &TForm1::NastavDIO1Click);
  item(settings, "Kalibracevstup1", QStringLiteral("Analogový výstup"),
       &TForm1::Kalibracevstup1Click);
  QMenu* live = submenu("Okamitehodnoty1", QStringLiteral("&Okamžité hodnoty"));
  item(live, "OkamAIN2", QStringLiteral("Analogový výstup"), &TForm1::OkamAIN2Click);
  item(live, "OkamDIN2", QStringLiteral("Digitální vstupy"), &TForm1::OkamDIN2Click);
  item(live, "OkamDOUT1", QStringLiteral("Digitální výstupy"), &TForm1::OkamDOUT1Click);
  item(live, "Statusregistr1", QStringLiteral("Status registr"), &TForm1::Statusregistr1Click);
  item(bar, "Konec2", QStringLiteral("&Konec"), &TForm1::Konec2Click);
}

void TForm1::ConnectHandlers() {
  for (const auto& [action, handler] : menu_handlers_)
    connect(action, &QAction::triggered, this, handler);
}

void TForm1::FormCreate(DataFactory factory) {
  data_ = factory ? factory() : nullptr;
  if (!data_) {
    StatusBar1->SetPanelText(kMessagePanel,
                             QStringLiteral(" Nelze vytvořit datové struktury programu"));
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
  QLabel* panel = StatusBar1->Panel(kMessagePanel);
  StatusBar1->SetPanelText(kMessagePanel,
                           QStringLiteral(" Nastavení se neuloží (složka jen pro čtení)"));
  panel->setToolTip(
      QStringLiteral("Soubor %1 nelze zapsat: do složky %2 ani do vlastní složky nastavení "
                     "nemůže tento uživatel zapisovat. "
                     "Nastavení připojení se při ukončení programu neuloží. Spusťte program "
                     "z kopie ve vlastní složce (přenosný archiv), nebo složku zpřístupněte "
                     "pro zápis.")
          .arg(QString::fromStdString(file.string()), QString::fromStdString(folder.string())));
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

void TForm1::closeEvent(QCloseEvent* event) {
  // A close asked for while a dialog is open (a stop signal) ends the dialog
  // first: the record must outlive it.
  if (dialog_open_) {
    close_pending_ = true;
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

template <typename T>
void TForm1::OpenDialog() {
  if (!data_) return;
  dialog_open_ = true;
  try {
    std::unique_ptr<T> dialog(new T(this));
    dialog->Data = data_.get();
    dialog->exec();
  } catch (...) {
    // A dialog that cannot be created or shown leaves the record as it is.
  }
  dialog_open_ = false;
  if (close_pending_) close();
}

void TForm1::Pipojen1Click() {
  if (!data_) return;
  OpenDialog<TForm2>();
  ShowLinkInStatusBar();
}

void TForm1::ShowLinkInStatusBar() {
  if (!data_) return;
  StatusBar1->SetPanelText(kModulePanel,
                           QStringLiteral(" Modul  ") + QString::fromStdString(data_->ModuleName));
  StatusBar1->SetPanelText(kAddressPanel, QStringLiteral(" Adresa  %1").arg(data_->ModuleAddress));
  StatusBar1->SetPanelText(kRatePanel, QStringLiteral(" Rychlost  %1Bd").arg(data_->BaudRate));
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
  close();
}
