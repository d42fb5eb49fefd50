// W_QM90: configuration and test tool for the QM-90 remote I/O module.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>

#include "app/Hlavni.h"

namespace {

int stop_pipe[2] = {-1, -1};

void OnStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = write(stop_pipe[1], &byte, 1);
}

// Ctrl+C or a terminate request close the main window the normal way, so the
// settings are saved and an open link is closed as on "Konec".
void CloseOnStopSignals(TForm1& form) {
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, stop_pipe) != 0) return;
  auto* notifier = new QSocketNotifier(stop_pipe[0], QSocketNotifier::Read, &form);
  QObject::connect(notifier, &QSocketNotifier::activated, &form, [&form]() { form.close(); });
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  TForm1 form;
  CloseOnStopSignals(form);
  form.show();
  return application.exec();
}
