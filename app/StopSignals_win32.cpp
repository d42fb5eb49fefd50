// Ctrl+C and Ctrl+Break in the console the program was started from. Windows
// calls the handler on a thread of its own; the close is queued to the GUI
// thread.
#include <windows.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>

#include "app/StopSignals.h"

namespace {

QPointer<QWidget> stop_window;

BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [] {
        if (stop_window) stop_window->close();
      },
      Qt::QueuedConnection);
  return TRUE;
}

}  // namespace

void CloseOnStopSignals(QWidget& window) {
  stop_window = &window;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}
