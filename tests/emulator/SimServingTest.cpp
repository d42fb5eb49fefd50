// qm90-sim as a server: a register write it cannot store, output nobody
// reads, a flood of delayed answers, the serial line's pace and the control
// socket's events.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "emulator/launcher/SimProcess.h"
#include "protocol/Frame.h"

extern char** environ;

namespace {

using qm90::Answer;
using qm90::Request;
using qm90sim::SimProcess;
namespace fs = std::filesystem;

Request Make(std::uint8_t address, std::uint8_t command, std::uint8_t subcode,
             std::vector<std::uint8_t> d = {}) {
  Request request;
  request.address = address;
  request.command = command;
  request.subcode = subcode;
  for (std::size_t i = 0; i < d.size() && i < 5; ++i) request.d[i] = d[i];
  return request;
}

std::string After(const std::string& line, const std::string& key) {
  const std::size_t at = line.find(key);
  if (at == std::string::npos) return {};
  return line.substr(at + key.size(), line.find(' ', at) - at - key.size());
}

long StatsValue(const std::string& stats, const std::string& key) {
  const std::string text = After(stats, " " + key + "=");
  return text.empty() ? -1 : std::stol(text);
}

// Lines over a TCP connection to the control port on 127.0.0.1.
class LineClient {
 public:
  explicit LineClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
  }
  ~LineClient() { ::close(fd_); }
  bool Connected() const { return connected_; }
  void Send(const std::string& line) {
    const std::string out = line + "\n";
    ASSERT_EQ(::send(fd_, out.data(), out.size(), MSG_NOSIGNAL), static_cast<ssize_t>(out.size()));
  }
  std::optional<std::string> Next(int timeout_ms = 3000) {
    for (;;) {
      const std::size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return line;
      }
      pollfd in{fd_, POLLIN, 0};
      if (::poll(&in, 1, timeout_ms) <= 0) return std::nullopt;
      char chunk[4096];
      const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) return std::nullopt;
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }
  // Reads on until a line starting with prefix; nullopt if none comes.
  std::optional<std::string> Until(const std::string& prefix) {
    for (std::optional<std::string> line; (line = Next());) {
      if (line->rfind(prefix, 0) == 0) return line;
    }
    return std::nullopt;
  }
  std::string Command(const std::string& line) {
    Send(line);
    std::optional<std::string> reply;
    while ((reply = Next()) && reply->rfind("event ", 0) == 0) {
    }
    return reply.value_or("no reply");
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
  std::string buffer_;
};

class UdpPeer {
 public:
  explicit UdpPeer(int port) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    to_.sin_family = AF_INET;
    to_.sin_port = htons(static_cast<std::uint16_t>(port));
    to_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  ~UdpPeer() { ::close(fd_); }
  void Send(const Request& request) {
    const auto datagram = qm90::EncodeUdpRequest(request, ++sequence_, 4);
    ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to_),
             sizeof to_);
  }
  std::optional<Answer> Exchange(const Request& request, int timeout_ms = 3000) {
    Send(request);
    pollfd in{fd_, POLLIN, 0};
    std::uint8_t datagram[64];
    while (::poll(&in, 1, timeout_ms) > 0) {
      const ssize_t n = ::recv(fd_, datagram, sizeof datagram, 0);
      Answer answer;
      if (n > 0 && qm90::DecodeUdpAnswer(datagram, static_cast<std::size_t>(n), request.address,
                                         sequence_, answer) == qm90::Decode::kOk) {
        return answer;
      }
    }
    return std::nullopt;
  }

 private:
  int fd_ = -1;
  sockaddr_in to_{};
  std::uint16_t sequence_ = 0;
};

class SimServing : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::path(testing::TempDir()) / ("sim-serving-" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "runtime");
    fs::permissions(folder_ / "runtime", fs::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", (folder_ / "runtime").c_str(), 1);
  }
  void TearDown() override {
    sim_.Stop();
    fs::remove_all(folder_);
  }
  fs::path folder_;
  SimProcess sim_;
};

TEST_F(SimServing, WriteThatCannotBeStoredIsRefusedAndTheOldValueStands) {
  const fs::path eeprom = folder_ / "eeprom";
  fs::create_directories(eeprom);
  ASSERT_TRUE(sim_.Start({"--udp", "127.0.0.1:0", "--state", (eeprom / "state").string()}));
  UdpPeer peer(sim_.UdpPort());
  ASSERT_EQ(peer.Exchange(Make(1, 103, 0, {0, 33, 33, 0x42, 0x42}))->status, qm90::kAnswerOk);

  // The state file's folder becomes a plain file: no write can succeed, root or not.
  fs::rename(eeprom, folder_ / "moved");
  std::ofstream(eeprom) << "not a folder\n";
  const std::optional<Answer> refused = peer.Exchange(Make(1, 103, 0, {0, 33, 33, 0x24, 0x24}));
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(refused->status, qm90::kAnswerNotStored);
  EXPECT_EQ(sim_.Get(1, "reg 33"), 0x42);
  EXPECT_EQ(peer.Exchange(Make(1, 102, 0, {0, 33, 33}))->d[3], 0x42);
  sim_.Stop();

  ASSERT_TRUE(sim_.Start({"--udp", "127.0.0.1:0", "--state", (folder_ / "moved/state").string()}));
  EXPECT_EQ(sim_.Get(1, "reg 33"), 0x42);
}

// stdout and stderr are pipes whose reader reads the ready line and no more.
TEST_F(SimServing, OutputNobodyReadsNeverStopsServing) {
  int out[2];
  int in[2];
  ASSERT_EQ(::pipe(out), 0);
  ASSERT_EQ(::pipe(in), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
  const std::string program = qm90sim::BinDir() + "/qm90-sim";
  std::vector<std::string> args{program,     "--udp",       "127.0.0.1:0",
                                "--control", "127.0.0.1:0", "--verbose"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(in[0]);

  std::string ready;
  char c = 0;
  while (ready.find('\n') == std::string::npos && ::read(out[0], &c, 1) == 1) ready += c;
  const std::string udp = After(ready, "udp=127.0.0.1:");
  const std::string control = After(ready, "control=127.0.0.1:");
  ASSERT_FALSE(udp.empty() || control.empty()) << ready;
  const std::string subscribe = "subscribe\n";  // events on stdout too
  ASSERT_EQ(::write(in[1], subscribe.data(), subscribe.size()), 10);

  UdpPeer peer(std::stoi(udp));
  LineClient client(std::stoi(control));
  ASSERT_TRUE(client.Connected());
  // Far more log and event lines than the pipe holds; a barrier every 50.
  for (int round = 0; round < 60; ++round) {
    for (int i = 0; i < 50; ++i) peer.Send(Make(1, 0, 64));
    ASSERT_EQ(client.Command("get 1 address"), "ok 1");
  }
  UdpPeer fresh(std::stoi(udp));  // the first one's buffer is full of answers
  EXPECT_TRUE(fresh.Exchange(Make(1, 100, 0)).has_value());
  EXPECT_GT(StatsValue(client.Command("stats"), "output-drops"), 0);
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ::close(out[0]);
  ::close(in[1]);
}

// qm90-sim on the given stdin and stdout (stderr: /dev/null).
pid_t SpawnSim(int in, int out) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const std::string program = qm90sim::BinDir() + "/qm90-sim";
  std::vector<std::string> args{program, "--udp", "127.0.0.1:0"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Processor time the process has used, in clock ticks.
long CpuTicks(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return utime + stime;
}

TEST_F(SimServing, ControlInputAtEndIsNoLongerPolled) {
  const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int out = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  const pid_t pid = SpawnSim(in, out);
  ::close(in);
  ::close(out);
  ASSERT_GT(pid, 0);
  const long before = CpuTicks(pid);
  ::usleep(1000 * 1000);
  EXPECT_LT(CpuTicks(pid) - before, ::sysconf(_SC_CLK_TCK) / 10);
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
}

// Endless input (no line ends, as from /dev/zero) is taken at a bounded rate:
// a writer that never stops gets rid of little in a second. A loaded machine
// only lowers the figure.
TEST_F(SimServing, EndlessControlInputIsReadAtABoundedRate) {
  int in[2];
  ASSERT_EQ(::pipe2(in, O_CLOEXEC), 0);
  const int out = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  const pid_t pid = SpawnSim(in[0], out);
  ::close(in[0]);
  ::close(out);
  ASSERT_GT(pid, 0);
  ::fcntl(in[1], F_SETFL, O_NONBLOCK);
  const std::string zeros(65536, '\0');
  std::size_t written = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (std::chrono::steady_clock::now() < end) {
    const ssize_t n = ::write(in[1], zeros.data(), zeros.size());
    if (n > 0) written += static_cast<std::size_t>(n);
    if (n < 0) ::usleep(1000);
  }
  // 8 KiB per 10 ms is 800 KiB a second, and the pipe holds 64 KiB more.
  EXPECT_LT(written, 2u * 1024 * 1024);
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  ::close(in[1]);
}

TEST_F(SimServing, RepliesToASlowControllerAreNeverDropped) {
  constexpr int kLines = 40000;
  int in[2];
  int out[2];
  ASSERT_EQ(::pipe2(in, O_CLOEXEC), 0);
  ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
  const pid_t pid = SpawnSim(in[0], out[1]);
  ::close(in[0]);
  ::close(out[1]);
  ASSERT_GT(pid, 0);
  std::thread writer([fd = in[1]] {
    std::string lines;
    for (int i = 0; i < kLines; ++i) lines += "get 1 address\n";
    lines += "quit\n";
    for (std::size_t done = 0; done < lines.size();) {
      const ssize_t n = ::write(fd, lines.data() + done, lines.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::close(fd);
  });
  ::usleep(300 * 1000);  // the controller reads late: its replies back up meanwhile
  std::string text;
  char chunk[65536];
  for (ssize_t n; (n = ::read(out[0], chunk, sizeof chunk)) > 0;) {
    text.append(chunk, static_cast<std::size_t>(n));
  }
  writer.join();
  ::close(out[0]);
  ::waitpid(pid, nullptr, 0);
  std::size_t replies = 0;
  for (std::size_t at = 0; (at = text.find("\nok 1\n", at)) != std::string::npos; at += 5) {
    ++replies;
  }
  EXPECT_EQ(replies, static_cast<std::size_t>(kLines));
}

TEST_F(SimServing, DelayedAnswersBeyondTheBoundAreDroppedAndCounted) {
  ASSERT_TRUE(sim_.Start({"--udp", "127.0.0.1:0", "--delay", "60000"}));
  UdpPeer peer(sim_.UdpPort());
  for (int round = 0; round < 30; ++round) {
    for (int i = 0; i < 50; ++i) peer.Send(Make(1, 0, 64));
    ASSERT_EQ(sim_.Control("get 1 address"), "ok 1");
  }
  const std::string stats = sim_.Control("stats");
  EXPECT_EQ(StatsValue(stats, "requests"), 1500) << stats;
  EXPECT_EQ(StatsValue(stats, "queued"), 1000) << stats;
  EXPECT_EQ(StatsValue(stats, "queue-drops"), 500) << stats;
}

// One exchange on the pty; the milliseconds from writing the request to the
// answer's last byte, or a negative number when no answer came.
double TimedSerialExchange(int fd, speed_t speed, const Request& request, Answer& answer) {
  termios mode{};
  ::tcgetattr(fd, &mode);
  ::cfmakeraw(&mode);
  ::cfsetispeed(&mode, speed);
  ::cfsetospeed(&mode, speed);
  ::tcsetattr(fd, TCSANOW, &mode);
  const auto frame = qm90::EncodeRequest(request);
  const auto start = std::chrono::steady_clock::now();
  if (::write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) return -1;
  qm90::StreamScanner scanner;
  for (;;) {
    pollfd in{fd, POLLIN, 0};
    std::uint8_t chunk[64];
    if (::poll(&in, 1, 3000) <= 0) return -1;
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n <= 0) return -1;
    scanner.Feed(chunk, static_cast<std::size_t>(n));
    if (scanner.NextAnswer(request.address, request.sequence, answer)) break;
  }
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// A client writes its request at once; the module hears it only when the
// line could have carried it, and its answer takes the line's time too.
TEST_F(SimServing, SerialAnswerTakesTheWireTimeOfBothFrames) {
  ASSERT_TRUE(sim_.Start({"--serial", "COM7", "--turnaround", "2"})) << sim_.Error();
  const int fd = ::open(sim_.PtyPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  struct Rate {
    speed_t speed;
    int baud;
    std::uint8_t index;
  };
  speed_t current = B9600;
  for (const Rate rate : {Rate{B9600, 9600, 4}, Rate{B1200, 1200, 1}}) {
    SCOPED_TRACE(rate.baud);
    Answer answer;
    if (sim_.Get(1, "baud") != rate.index) {
      Request write = Make(1, 103, 0, {0, 62, 62, rate.index, rate.index});
      write.sequence = 1;
      ASSERT_GT(TimedSerialExchange(fd, current, write, answer), 0);
      ASSERT_TRUE(sim_.PowerCycle(1));
    }
    current = rate.speed;
    Request request = Make(1, 100, 0);
    request.sequence = 9;
    const double elapsed_ms = TimedSerialExchange(fd, rate.speed, request, answer);
    const double wire_ms = 23.0 * 10 * 1000 / rate.baud + 2;
    EXPECT_GE(elapsed_ms, wire_ms - 0.5);
  }
  ::close(fd);
}

TEST_F(SimServing, SubscriberIsToldValuesChangesAndExchanges) {
  ASSERT_TRUE(sim_.Start({"--udp", "127.0.0.1:0", "--control", "127.0.0.1:0"}));
  const std::string port = After(sim_.ReadyLine(), "control=127.0.0.1:");
  ASSERT_FALSE(port.empty());
  LineClient client(std::stoi(port));
  ASSERT_TRUE(client.Connected());
  client.Send("subscribe");
  EXPECT_EQ(client.Next(), "ok");
  EXPECT_EQ(client.Next(), "event module 1");
  EXPECT_EQ(client.Until("event faults"), "event faults 0 0 0");

  UdpPeer peer(sim_.UdpPort());
  ASSERT_TRUE(peer.Exchange(Make(1, 1, 64, {0, 0x81})).has_value());
  const std::string exchange = client.Until("event exchange").value_or("");
  EXPECT_NE(exchange.find(" udp 1 1 64 0 129 0 0 0 ok 0 0 0 0 0 0"), std::string::npos) << exchange;
  EXPECT_EQ(client.Next(), "event outputs 1 126");
  EXPECT_EQ(sim_.Control("status-set #1 0x40"), "ok");  // another client, by identity
  EXPECT_EQ(client.Next(), "event status 1 80");
  EXPECT_EQ(client.Command("modules"), "ok 1:1:4");
}

}  // namespace
