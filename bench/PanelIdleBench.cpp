// CPU of an idle qm90-panel (and of its qm90-sim) while a client polls the
// inputs every 100 ms, as the program's inputs view does: one exchange and
// one traffic event per poll. Prints figures; asserts nothing.
//   qm90-bench-panel [--seconds N]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "emulator/ControlGrammar.h"
#include "emulator/launcher/SimProcess.h"
#include "protocol/Frame.h"

extern char** environ;

namespace {

// User + system time of a process in seconds.
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  long ticks = 0;
  for (int i = 3; fields >> field; ++i) {
    if (i == 14 || i == 15) ticks += std::stol(field);
    if (i == 15) break;
  }
  return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

pid_t ChildOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  pid_t child = -1;
  in >> child;
  return child;
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 30;
  if (argc == 3 && std::strcmp(argv[1], "--seconds") == 0)
    seconds = std::max(1, std::atoi(argv[2]));
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int out[2];
  if (::pipe(out) != 0) return 1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  const std::string program = qm90sim::BinDir() + "/qm90-panel";
  std::vector<std::string> args{program, "--udp", "127.0.0.1:0"};
  std::vector<char*> argv_child;
  for (std::string& arg : args) argv_child.push_back(arg.data());
  argv_child.push_back(nullptr);
  pid_t panel = -1;
  if (posix_spawn(&panel, program.c_str(), &actions, nullptr, argv_child.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", program.c_str());
    return 1;
  }
  ::close(out[1]);
  std::string ready;
  char c = 0;
  while (ready.find('\n') == std::string::npos && ::read(out[0], &c, 1) == 1) ready += c;
  if (!ready.empty()) ready.pop_back();  // the line end
  const std::optional<qm90emulator::ReadyLine> parsed = qm90emulator::ParseReady(ready);
  const int port = parsed ? qm90emulator::PortOf(parsed->udp) : 0;
  if (port == 0) {
    std::fprintf(stderr, "no ready line from qm90-panel: '%s'\n", ready.c_str());
    ::kill(panel, SIGTERM);
    return 1;
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));  // start-up is not idle
  const pid_t sim = ChildOf(panel);

  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  qm90::Request request;
  request.address = 1;
  request.command = 0;
  request.subcode = 64;

  const double panel_before = CpuSeconds(panel);
  const double sim_before = sim > 0 ? CpuSeconds(sim) : 0;
  const auto start = std::chrono::steady_clock::now();
  int answered = 0;
  const int polls = seconds * 10;
  for (int i = 0; i < polls; ++i) {
    const auto datagram = qm90::EncodeUdpRequest(request, static_cast<std::uint16_t>(i), 4);
    ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    pollfd in{fd, POLLIN, 0};
    std::uint8_t answer[64];
    if (::poll(&in, 1, 100) > 0 && ::recv(fd, answer, sizeof answer, 0) > 0) ++answered;
    std::this_thread::sleep_until(start + std::chrono::milliseconds(100) * (i + 1));
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double panel_cpu = CpuSeconds(panel) - panel_before;
  const double sim_cpu = sim > 0 ? CpuSeconds(sim) - sim_before : -1;
  std::printf(
      "qm90-panel idle, inputs polled every 100 ms over UDP for %.1f s (%d polls, %d answered)\n",
      wall, polls, answered);
  std::printf("  qm90-panel CPU: %.3f s = %.2f %% of one core\n", panel_cpu,
              100 * panel_cpu / wall);
  if (sim > 0)
    std::printf("  qm90-sim CPU:   %.3f s = %.2f %% of one core\n", sim_cpu, 100 * sim_cpu / wall);
  ::close(fd);
  ::kill(panel, SIGTERM);
  int status = 0;
  ::waitpid(panel, &status, 0);
  return 0;
}
