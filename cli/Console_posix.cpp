#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

std::string CheckAppendTarget(const std::string& path) {
  // Non-blocking: a FIFO without a reader fails at once instead of waiting.
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return errno == ENXIO ? "not a regular file" : std::strerror(errno);
  struct stat info {};
  const bool usable = fstat(fd, &info) == 0 && (S_ISREG(info.st_mode) || isatty(fd) == 1);
  close(fd);
  return usable ? "" : "not a regular file";
}

void EndByBrokenPipe() {
  signal(SIGPIPE, SIG_DFL);
  raise(SIGPIPE);
  std::_Exit(141);
}

}  // namespace qm90cli::console
