#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "link/ChildProcess.h"

extern char** environ;

namespace platform {

struct Child {
  pid_t pid = -1;
  int fd = -1;  // our end of a socket pair; the child has the other as fds 0 and 1
};

namespace {

int MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for the socket to become ready; false once the deadline has passed.
bool WaitReady(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const int left = MillisecondsUntil(deadline);
    if (left == 0) return false;
    pollfd ready{fd, events, 0};
    const int n = ::poll(&ready, 1, left);
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return true;  // the read or write that follows tells what
  }
}

}  // namespace

Child* StartChild(const std::string& program) {
  if (::access(program.c_str(), X_OK) != 0) return nullptr;
  int pair[2];
  // A socket pair rather than two pipes: writes to a child that died give an
  // error (MSG_NOSIGNAL) instead of a SIGPIPE that would end the program.
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return nullptr;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pair[1], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pair[1], STDOUT_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // Nothing of ours besides the pipe and standard error: a descriptor opened
  // without close-on-exec (a port, a socket, a file being saved) stays ours.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
  // A process group of its own: what the child and its library start can be
  // ended as one (EndChild), and the terminal's Ctrl-C goes to us alone.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pair[1]);
  if (error != 0) {
    ::close(pair[0]);
    return nullptr;
  }
  return new Child{pid, pair[0]};
}

PipeResult WriteToChild(Child* child, const std::uint8_t* data, std::size_t size,
                        std::chrono::steady_clock::time_point deadline) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::send(child->fd, data + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return PipeResult::kEnded;
    if (!WaitReady(child->fd, POLLOUT, deadline)) return PipeResult::kTimedOut;
  }
  return PipeResult::kOk;
}

PipeResult ReadFromChild(Child* child, std::uint8_t* data, std::size_t size,
                         std::chrono::steady_clock::time_point deadline) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::recv(child->fd, data + done, size - done, MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) return PipeResult::kEnded;
    if (!WaitReady(child->fd, POLLIN, deadline)) return PipeResult::kTimedOut;
  }
  return PipeResult::kOk;
}

void EndChild(Child* child, std::chrono::milliseconds grace) {
  if (child == nullptr) return;
  ::close(child->fd);  // the host reads the end of its input and leaves
  // Waited for without reaping it: until it is reaped, its process group
  // number cannot pass to another process, so the kill below ends only what
  // the child and its library started.
  const auto deadline = std::chrono::steady_clock::now() + grace;
  for (;;) {
    siginfo_t info{};
    const int done =
        ::waitid(P_PID, static_cast<id_t>(child->pid), &info, WEXITED | WNOHANG | WNOWAIT);
    if ((done == 0 && info.si_pid == child->pid) || (done < 0 && errno != EINTR)) break;
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ::kill(-child->pid, SIGKILL);  // the group: the child, if still there, and its helpers
  ::kill(child->pid, SIGKILL);   // should it have left the group
  int status = 0;
  while (::waitpid(child->pid, &status, 0) < 0 && errno == EINTR) {
  }
  delete child;
}

std::string DriverHostFileName(bool other_word_size) {
  if (!other_word_size) return "qm90-drvhost";
  return sizeof(void*) == 8 ? "qm90-drvhost32" : "qm90-drvhost64";
}

}  // namespace platform
