#include <signal.h>
#include <unistd.h>

#include "cli/Console.h"

namespace qm90cli::console {

namespace {

volatile sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) {
  interrupted = 1;
}

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocking wait returns at once
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a closed pipe shows as a write error instead
}

bool Interrupted() {
  return interrupted != 0;
}

void ClearInterrupt() {
  interrupted = 0;
}

bool IsTerminal(Stream stream) {
  return isatty(stream == Stream::kOut ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

void UseUtf8Output() {}

}  // namespace qm90cli::console
