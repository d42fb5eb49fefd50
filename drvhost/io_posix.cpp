#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "drvhost/HostIo.h"

namespace qm90drvhost {
namespace {
int pipe_in = -1;
int pipe_out = -1;

// The parent gone (ended, killed, crashed) closes its end of the pipe. The
// main thread notices only between calls; while a library call hangs, this
// thread ends the host, which would otherwise live on with the library's port
// or socket open. Between calls this changes nothing: the input ends either way.
void LeaveWhenTheParentIsGone(int fd) {
  for (;;) {
    pollfd watch{fd, POLLRDHUP, 0};
    const int n = poll(&watch, 1, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || (watch.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0) {
      EndWithHelpers(0);
    }
  }
}
}  // namespace

void EndWithHelpers(int status) {
  // Only a group of our own: a host started by hand shares its shell's.
  if (getpgrp() == getpid()) kill(0, SIGKILL);
  _exit(status);
}

bool TakePipes() {
  // A parent that has gone makes writes fail instead of ending us by signal.
  signal(SIGPIPE, SIG_IGN);
  // Ctrl-C on a terminal reaches the whole job, us too. The program decides
  // what it means and closes the library through Done; we end when it does.
  signal(SIGINT, SIG_IGN);
  signal(SIGQUIT, SIG_IGN);
  pipe_in = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
  pipe_out = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (pipe_in < 0 || pipe_out < 0) return false;
  const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (nothing < 0 || dup2(nothing, STDIN_FILENO) < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
    return false;
  close(nothing);
  std::thread(LeaveWhenTheParentIsGone, pipe_in).detach();
  return true;
}

bool ReadExactly(std::uint8_t* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = read(pipe_in, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool WriteAll(const std::uint8_t* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = write(pipe_out, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace qm90drvhost
