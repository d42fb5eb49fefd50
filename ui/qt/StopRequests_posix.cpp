// SIGINT and SIGTERM, turned into a byte on a socket pair that the event loop
// watches: the handler itself only writes.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QWidget>

#include "ui/Application.h"
#include "ui/qt/QtForm.h"

namespace {

int stop_pipe[2] = {-1, -1};

void OnStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = write(stop_pipe[1], &byte, 1);
}

}  // namespace

namespace qm90ui {

void CloseOnStopRequests(TForm& form) {
  QWidget* window = qm90qt::WidgetOf(form);
  if (!window || socketpair(AF_UNIX, SOCK_STREAM, 0, stop_pipe) != 0) return;
  auto* notifier = new QSocketNotifier(stop_pipe[0], QSocketNotifier::Read, window);
  QObject::connect(notifier, &QSocketNotifier::activated, window, [&form]() { form.Close(); });
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace qm90ui
