#include "emulator/launcher/SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>

#include "emulator/ControlGrammar.h"

namespace qm90sim {

namespace {

constexpr int kReadyTimeoutMs = 10000;
constexpr int kControlTimeoutMs = 5000;
constexpr int kStopGraceMs = 3000;

bool WaitForExit(pid_t pid, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    const pid_t done = ::waitpid(pid, nullptr, WNOHANG);
    if (done == pid || (done < 0 && errno == ECHILD)) return true;
    ::usleep(5000);
  }
  return false;
}

}  // namespace

std::string BinDir() {
  const char* from_env = std::getenv("QM90_BIN_DIR");
  if (from_env != nullptr && from_env[0] != '\0') return from_env;
  char self[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "bin";
  std::string path(self, static_cast<std::size_t>(n));
  return path.substr(0, path.rfind('/')) + "/../bin";
}

SimProcess::~SimProcess() {
  Stop();
}

bool SimProcess::Start(const std::vector<std::string>& args) {
  Stop();
  ::signal(SIGPIPE, SIG_IGN);  // a simulator that died must fail Control, not the test
  int in_pipe[2];
  int out_pipe[2];
  if (::pipe2(in_pipe, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    ::close(in_pipe[0]);
    ::close(in_pipe[1]);
    return false;
  }
  const std::string program = BinDir() + "/qm90-sim";
  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(in_pipe[0], STDIN_FILENO);
    ::dup2(out_pipe[1], STDOUT_FILENO);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  to_child_ = in_pipe[1];
  from_child_ = out_pipe[0];
  if (pid_ < 0) {
    error_ = std::string("fork: ") + std::strerror(errno);
    Stop();
    return false;
  }
  const bool read = ReadLine(ready_line_, kReadyTimeoutMs);
  const std::optional<qm90emulator::ReadyLine> ready =
      read ? qm90emulator::ParseReady(ready_line_) : std::nullopt;
  if (!ready) {
    error_ = "no ready line from " + program + " (got '" + ready_line_ + "')";
    Stop();
    return false;
  }
  udp_port_ = qm90emulator::PortOf(ready->udp);
  pty_path_ = ready->pty;
  return true;
}

void SimProcess::Stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    if (!WaitForExit(pid_, kStopGraceMs)) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  pid_ = -1;
  for (int* fd : {&to_child_, &from_child_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  pending_.clear();
}

bool SimProcess::ReadLine(std::string& line, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const std::size_t newline = pending_.find('\n');
    if (newline != std::string::npos) {
      line = pending_.substr(0, newline);
      pending_.erase(0, newline + 1);
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0 || from_child_ < 0) return false;
    pollfd fd{from_child_, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(left)) <= 0) continue;
    char chunk[256];
    const ssize_t n = ::read(from_child_, chunk, sizeof chunk);
    if (n <= 0) return false;  // the simulator has ended
    pending_.append(chunk, static_cast<std::size_t>(n));
  }
}

std::string SimProcess::Control(const std::string& line) {
  if (to_child_ < 0) return "error simulator not running";
  const std::string text = line + "\n";
  if (::write(to_child_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    return "error cannot write to the simulator";
  }
  std::string reply;
  if (!ReadLine(reply, kControlTimeoutMs)) return "error no reply from the simulator";
  return reply;
}

void SimProcess::CloseControl() {
  if (to_child_ >= 0) ::close(to_child_);
  to_child_ = -1;
}

}  // namespace qm90sim
