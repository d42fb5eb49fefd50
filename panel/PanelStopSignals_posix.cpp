#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QProcess>
#include <QSocketNotifier>
#include <csignal>

#include "panel/PanelStopSignals.h"

namespace qm90panel {

namespace {

int g_stop_pipe[2] = {-1, -1};

void OnStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(g_stop_pipe[1], &byte, 1);
}

}  // namespace

void QuitOnStopSignals() {
  if (::pipe2(g_stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier =
      new QSocketNotifier(g_stop_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

void StopChildWithParent(QProcess& child) {
  child.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

}  // namespace qm90panel
