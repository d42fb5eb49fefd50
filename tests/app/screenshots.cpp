// Makes the README's pictures of the windows: connects through the in-process
// module library as a user would, opens each window from the main menu and
// saves what it shows. Usage: app_screenshots <output folder>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <string>

#include "app/Hlavni.h"
#include "link/QBLxxx.h"
#include "ui/qt/QtForm.h"

namespace {

// One picture: the menu item that opens the window, the button pressed
// before the picture is taken (nullptr: none) and how long the window runs
// first (the polling views need a tick or two to show live values).
struct Shot {
  const char* file;
  const char* menu_item;
  const char* button;
  int wait_ms = 0;
};

// Add a window here; the connection comes first so the others find a link.
const Shot kShots[] = {
    {"connection.png", "Pipojen1", "Button1"},
    {"live-inputs.png", "OkamDIN2", nullptr, 350},
    {"live-status.png", "Statusregistr1", nullptr, 1200},
    {"live-outputs.png", "OkamDOUT1", "Button1"},
    {"live-analog.png", "OkamAIN2", "Button1"},
    {"settings-address.png", "AdresaRychlost1", "Button2"},
    {"settings-dio.png", "NastavDIO1", "Button2"},
    {"settings-aout.png", "Kalibracevstup1", "Button2"},
};

std::string ProgramFolder() {
  char path[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  std::string exe = n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
  return exe.substr(0, exe.find_last_of('/'));
}

bool TakeShot(TForm1& form, const Shot& shot, const QString& folder) {
  bool saved = false;
  QTimer::singleShot(0, [&]() {
    QWidget* dialog = QApplication::activeModalWidget();
    if (!dialog) return;
    if (shot.button) {
      if (auto* button = dialog->findChild<QPushButton*>(QString::fromLatin1(shot.button)))
        button->click();
    }
    QEventLoop settle;
    QTimer::singleShot(shot.wait_ms, &settle, &QEventLoop::quit);
    settle.exec();
    saved = dialog->grab().save(folder + "/" + QString::fromLatin1(shot.file));
    dialog->close();
  });
  if (auto* item =
          qm90qt::WidgetOf(form.Form())->findChild<QAction*>(QString::fromLatin1(shot.menu_item)))
    item->trigger();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The module library keeps its state in a folder of its own for this run.
  char state[] = "/tmp/qm90-shots-XXXXXX";
  if (mkdtemp(state)) setenv("XDG_STATE_HOME", state, 1);
  const std::string settings = std::string(state) + "/W_qm90.ini";
  SetSettingsFilePath(settings);
  // The in-process library sits in build/bin, this program in build/tests.
  SetDriverDirectory(ProgramFolder() + "/../bin");

  QApplication application(argc, argv);
  const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  QDir().mkpath(folder);
  int failures = 0;
  {
    TForm1 form;
    form.Show();
    form.Data()->InterfaceKind = 2;
    form.Data()->ModuleAddress = 1;
    for (const Shot& shot : kShots) {
      if (!TakeShot(form, shot, folder)) {
        std::fprintf(stderr, "could not save %s\n", shot.file);
        ++failures;
      }
    }
    QApplication::processEvents();
    if (!qm90qt::WidgetOf(form.Form())->grab().save(folder + "/main-window.png")) ++failures;
    form.Close();
  }
  QDir(QString::fromLocal8Bit(state)).removeRecursively();
  return failures == 0 ? 0 : 1;
}
