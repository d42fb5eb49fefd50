// The real qm90-sim, driven over a raw UDP socket on 127.0.0.1 and over its
// published pty, with its control interface on stdin/stdout.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "emulator/launcher/SimProcess.h"
#include "protocol/Frame.h"

namespace {

using qm90::Answer;
using qm90::Decode;
using qm90::Request;
using qm90sim::SimProcess;
using Bytes = std::vector<std::uint8_t>;

constexpr int kAnswerWaitMs = 3000;
constexpr int kSilenceWaitMs = 200;

Request Make(std::uint8_t address, std::uint8_t command, std::uint8_t subcode,
             std::vector<std::uint8_t> d = {}) {
  Request request;
  request.address = address;
  request.command = command;
  request.subcode = subcode;
  for (std::size_t i = 0; i < d.size() && i < 5; ++i) request.d[i] = d[i];
  return request;
}

// A LAN-converter-like client: one socket on 127.0.0.1, answers only from the sim's port.
class UdpClient {
 public:
  explicit UdpClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sim_.sin_family = AF_INET;
    sim_.sin_port = htons(static_cast<std::uint16_t>(port));
    sim_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  ~UdpClient() { ::close(fd_); }

  void SendRaw(const Bytes& datagram) {
    ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&sim_),
             sizeof sim_);
  }
  std::optional<Bytes> Receive(int timeout_ms) {
    pollfd fd{fd_, POLLIN, 0};
    if (::poll(&fd, 1, timeout_ms) <= 0) return std::nullopt;
    Bytes datagram(512);
    const ssize_t n = ::recv(fd_, datagram.data(), datagram.size(), 0);
    if (n < 0) return std::nullopt;
    datagram.resize(static_cast<std::size_t>(n));
    return datagram;
  }
  // One exchange; the decode result, or nullopt when nothing came back.
  std::optional<Decode> Exchange(const Request& request, Answer& answer, std::uint8_t baud = 4,
                                 int timeout_ms = kAnswerWaitMs) {
    ++sequence_;
    SendRaw(qm90::EncodeUdpRequest(request, sequence_, baud));
    const std::optional<Bytes> datagram = Receive(timeout_ms);
    if (!datagram) return std::nullopt;
    return qm90::DecodeUdpAnswer(datagram->data(), datagram->size(), request.address, sequence_,
                                 answer);
  }
  Answer Must(const Request& request) {
    Answer answer;
    const std::optional<Decode> result = Exchange(request, answer);
    EXPECT_EQ(result, Decode::kOk);
    return answer;
  }

 private:
  int fd_ = -1;
  sockaddr_in sim_{};
  std::uint16_t sequence_ = 100;
};

class SimEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    // Own runtime folder: the COM links of parallel tests never meet.
    static const std::string base = [] {
      const char* env = std::getenv("XDG_RUNTIME_DIR");
      return std::string(env && *env ? env : testing::TempDir().c_str());
    }();
    runtime_ = base + "/emu-e2e-" + std::to_string(::getpid());
    std::filesystem::create_directories(runtime_);
    std::filesystem::permissions(runtime_, std::filesystem::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
  }
  void TearDown() override {
    sim_.Stop();
    std::error_code ignored;
    std::filesystem::remove_all(runtime_, ignored);
  }
  void StartUdp(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"--udp", "127.0.0.1:0"};
    args.insert(args.end(), extra.begin(), extra.end());
    ASSERT_TRUE(sim_.Start(args)) << sim_.Error();
    ASSERT_GT(sim_.UdpPort(), 0);
    client_.emplace(sim_.UdpPort());
  }
  std::string runtime_;
  SimProcess sim_;
  std::optional<UdpClient> client_;
};

TEST_F(SimEndToEnd, IdentifiesOverUdpWithChainedD0) {
  StartUdp();
  std::string text;
  std::uint8_t d0 = 0;
  for (std::uint8_t sub = 0; sub < 3; ++sub) {
    const Answer answer = client_->Must(Make(1, 200, sub, {d0}));
    EXPECT_EQ(answer.status, qm90::kAnswerOk);
    d0 = answer.d[0];
    text.append(answer.d + 1, answer.d + 5);
  }
  EXPECT_EQ(text, "QM-90   1.02");
}

TEST_F(SimEndToEnd, UnansweredRequestsLeaveTheSimServing) {
  StartUdp({"--address", "1", "--address", "2"});
  Bytes bad_crc = qm90::EncodeUdpRequest(Make(1, 100, 0), 5, 4);
  bad_crc.back() ^= 0x01;
  Bytes disagreeing{0x00, 0x07, 4};  // header sequence 7, frame sequence 8
  Request inner = Make(1, 100, 0);
  inner.sequence = 8;
  for (std::uint8_t b : qm90::EncodeRequest(inner)) disagreeing.push_back(b);
  struct Case {
    const char* name;
    Bytes datagram;
  };
  const std::vector<Case> cases = {
      {"another address", qm90::EncodeUdpRequest(Make(3, 100, 0), 1, 4)},
      {"wrong baud index", qm90::EncodeUdpRequest(Make(1, 100, 0), 2, 5)},
      {"baud index out of range", qm90::EncodeUdpRequest(Make(1, 100, 0), 3, 200)},
      {"bad crc", bad_crc},
      {"frame sequence disagrees with header", disagreeing},
      {"too short", Bytes{1, 2, 3}},
      {"too long", Bytes(2000, qm90::kRequestStart)},
      {"empty", Bytes{}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    client_->SendRaw(c.datagram);
    EXPECT_FALSE(client_->Receive(kSilenceWaitMs).has_value());
  }
  EXPECT_EQ(client_->Must(Make(2, 100, 0)).address, 2);
  EXPECT_EQ(client_->Must(Make(1, 102, 0, {0, 99, 99})).status, qm90::kAnswerUnknownRegister);
}

TEST_F(SimEndToEnd, ControlInterfaceMeetsTheWire) {
  StartUdp();
  ASSERT_TRUE(sim_.SetInputs(1, 0x0F));
  EXPECT_EQ(client_->Must(Make(1, 0, 64)).d[1], 0xF0);  // factory input negation 0xFF
  EXPECT_EQ(sim_.Get(1, "inputs"), 0xF0);

  client_->Must(Make(1, 1, 64, {0, 0x81}));
  EXPECT_EQ(sim_.Get(1, "outputs"), 0x7E);
  client_->Must(Make(1, 1, 0, {0, 0xCD, 0xAB}));
  EXPECT_EQ(sim_.Get(1, "aout"), 0xABCD);

  ASSERT_TRUE(sim_.SetStatusBits(1, 0x40));
  EXPECT_EQ(client_->Must(Make(1, 100, 0)).d[1], 0x50);
  EXPECT_EQ(sim_.Control("status-clear 1 0x10"), "ok");
  EXPECT_EQ(sim_.Get(1, "status"), 0x40);
  client_->Must(Make(1, 101, 0));
  EXPECT_EQ(sim_.Get(1, "status"), 0);

  client_->Must(Make(1, 103, 0, {0, 35, 35, 0x55, 0x55}));
  EXPECT_EQ(sim_.Get(1, "reg 35"), 0x55);

  struct Reply {
    const char* line;
    const char* starts;
  };
  for (const Reply& r : {Reply{"get 9 status", "error no module"}, Reply{"get 1 reg 40", "error"},
                         Reply{"inputs 1 256", "error"}, Reply{"get 1 colour", "error"},
                         Reply{"faults 101 0 0", "error"}, Reply{"launch", "error"},
                         Reply{"", "error"}, Reply{"status-set 1 0x100000000", "error"},
                         Reply{"get 1 baud", "ok 4"}, Reply{"get 1 address", "ok 1"}}) {
    SCOPED_TRACE(r.line);
    EXPECT_EQ(sim_.Control(r.line).rfind(r.starts, 0), 0u);
  }
  EXPECT_EQ(sim_.Control(std::string(5000, 'x')), "error line too long");
  EXPECT_EQ(sim_.Control("get 1 baud"), "ok 4");
}

TEST_F(SimEndToEnd, NewAddressAndBaudAnswerOnlyAfterPowerCycle) {
  StartUdp();
  client_->Must(Make(1, 103, 0, {0, 63, 63, 7, 7}));
  client_->Must(Make(1, 103, 0, {0, 62, 62, 8, 8}));
  EXPECT_EQ(client_->Must(Make(1, 102, 0, {0, 63, 63})).d[3], 7);  // read-back at the old address
  ASSERT_TRUE(sim_.PowerCycle(1));
  Answer answer;
  EXPECT_FALSE(client_->Exchange(Make(1, 100, 0), answer, 4, kSilenceWaitMs).has_value());
  EXPECT_FALSE(client_->Exchange(Make(7, 100, 0), answer, 4, kSilenceWaitMs).has_value());
  EXPECT_EQ(client_->Exchange(Make(7, 100, 0), answer, 8), Decode::kOk);
  EXPECT_EQ(sim_.Get(7, "baud"), 8);
}

TEST_F(SimEndToEnd, FaultInjectionDropsAndDamagesThenRecovers) {
  StartUdp();
  Answer answer;
  ASSERT_TRUE(sim_.SetFaults(100, 0, 0));
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(client_->Exchange(Make(1, 100, 0), answer, 4, kSilenceWaitMs).has_value());
  }
  ASSERT_TRUE(sim_.SetFaults(0, 100, 0));
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(client_->Exchange(Make(1, 100, 0), answer), Decode::kBadCrc);
  ASSERT_TRUE(sim_.SetFaults(0, 0, 50));
  EXPECT_EQ(client_->Exchange(Make(1, 100, 0), answer), Decode::kOk);
  ASSERT_TRUE(sim_.SetFaults(0, 0, 0));
  EXPECT_EQ(client_->Exchange(Make(1, 100, 0), answer), Decode::kOk);
}

TEST_F(SimEndToEnd, SameSeedDropsTheSameAnswers) {
  auto pattern = [this](const std::string& seed) {
    SimProcess sim;
    EXPECT_TRUE(sim.Start({"--udp", "127.0.0.1:0", "--drop", "50", "--seed", seed}));
    UdpClient client(sim.UdpPort());
    std::string answered;
    Bytes request = qm90::EncodeUdpRequest(Make(1, 100, 0), 1, 4);
    for (int i = 0; i < 24; ++i) {
      client.SendRaw(request);
      // The control reply follows the answer to every request already received.
      EXPECT_EQ(sim.Control("get 1 address"), "ok 1");
      answered += client.Receive(kSilenceWaitMs / 2) ? '1' : '0';
    }
    return answered;
  };
  const std::string first = pattern("11");
  EXPECT_EQ(pattern("11"), first);
  EXPECT_NE(first.find('0'), std::string::npos);
  EXPECT_NE(first.find('1'), std::string::npos);
}

TEST_F(SimEndToEnd, StateFileSurvivesRestartAndBadFileIsRefusedUntouched) {
  const std::string state = runtime_ + "/eeprom.txt";
  std::filesystem::remove(state);
  StartUdp({"--state", state});
  client_->Must(Make(1, 103, 0, {0, 33, 33, 0x42, 0x42}));
  client_->Must(Make(1, 103, 0, {0, 63, 63, 5, 5}));
  sim_.Stop();

  StartUdp({"--state", state});
  EXPECT_EQ(sim_.Get(5, "reg 33"), 0x42);  // restart is a power-up: new address in force
  sim_.Stop();

  std::ofstream(state) << "1: 32=0 33=nonsense\n";
  SimProcess refused;
  EXPECT_FALSE(refused.Start({"--udp", "127.0.0.1:0", "--state", state}));
  std::ifstream in(state);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "1: 32=0 33=nonsense");
}

TEST_F(SimEndToEnd, RefusesNonLoopbackHostsAndBadOptions) {
  for (std::vector<std::string> args :
       {std::vector<std::string>{"--udp", "192.168.1.254:5000"},
        {"--udp", "0.0.0.0:0"},
        {"--udp", "localhost"},
        {"--udp", "localhost.example:0"},
        {"--udp", "127.0.0.1:70000"},
        {"--serial", "COM0"},
        {"--serial", "ttyS0"},
        {"--udp", "127.0.0.1:0", "--address", "1", "--address", "1"},
        {"--udp", "127.0.0.1:0", "--drop", "150"},
        {}}) {
    SCOPED_TRACE(args.empty() ? "nothing to serve" : args[1]);
    SimProcess sim;
    EXPECT_FALSE(sim.Start(args));
  }
}

// The serial side: the published COMn link, raw mode, speed from termios.
class SerialLine {
 public:
  explicit SerialLine(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    SetSpeed(B9600);
  }
  ~SerialLine() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool IsOpen() const { return fd_ >= 0; }
  bool HungUp() const {
    pollfd fd{fd_, POLLIN, 0};
    return ::poll(&fd, 1, kAnswerWaitMs) > 0 && (fd.revents & (POLLHUP | POLLERR)) != 0;
  }
  void SetSpeed(speed_t speed) {
    termios mode{};
    ::tcgetattr(fd_, &mode);
    ::cfmakeraw(&mode);
    ::cfsetispeed(&mode, speed);
    ::cfsetospeed(&mode, speed);
    ::tcsetattr(fd_, TCSANOW, &mode);
  }
  void Write(const Bytes& bytes) {
    ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  bool Transact(const Request& request, Answer& answer, int timeout_ms = kAnswerWaitMs,
                const Bytes& noise = {}) {
    Bytes out = noise;
    Request numbered = request;
    numbered.sequence = ++sequence_;
    const Bytes frame = qm90::EncodeRequest(numbered);
    out.insert(out.end(), frame.begin(), frame.end());
    Write(out);
    qm90::StreamScanner scanner;
    for (;;) {
      pollfd fd{fd_, POLLIN, 0};
      if (::poll(&fd, 1, timeout_ms) <= 0) return false;
      std::uint8_t chunk[64];
      const ssize_t n = ::read(fd_, chunk, sizeof chunk);
      if (n <= 0) return false;
      scanner.Feed(chunk, static_cast<std::size_t>(n));
      if (scanner.NextAnswer(request.address, sequence_, answer)) return true;
    }
  }

 private:
  int fd_ = -1;
  std::uint8_t sequence_ = 0xFE;  // wraps within the test
};

TEST_F(SimEndToEnd, ServesThePublishedPtyAtTheModulesBaudRate) {
  ASSERT_TRUE(sim_.Start({"--serial", "COM7", "--address", "1", "--address", "4"})) << sim_.Error();
  EXPECT_NE(sim_.ReadyLine().find(" com=COM7"), std::string::npos);
  const std::string link = runtime_ + "/qm90/COM7";
  ASSERT_EQ(std::filesystem::read_symlink(link).string(), sim_.PtyPath());
  {
    SerialLine line(link);
    ASSERT_TRUE(line.IsOpen());
    Answer answer;
    ASSERT_TRUE(line.Transact(Make(1, 200, 0), answer));
    EXPECT_EQ(std::string(answer.d + 1, answer.d + 5), "QM-9");
    ASSERT_TRUE(line.Transact(Make(4, 100, 0), answer, kAnswerWaitMs, {0x00, 0xA5, 0x13, 0x5A}));
    EXPECT_EQ(answer.address, 4);
    EXPECT_FALSE(line.Transact(Make(2, 100, 0), answer, kSilenceWaitMs));

    line.SetSpeed(B19200);
    EXPECT_FALSE(line.Transact(Make(1, 100, 0), answer, kSilenceWaitMs));
    line.SetSpeed(B9600);
    EXPECT_TRUE(line.Transact(Make(1, 100, 0), answer));
  }
  {
    SerialLine reopened(link);  // a driver that closed and opened again
    Answer answer;
    EXPECT_TRUE(reopened.Transact(Make(1, 0, 64), answer));
  }
  sim_.CloseControl();  // end of control input: still serving
  {
    SerialLine line(link);
    Answer answer;
    EXPECT_TRUE(line.Transact(Make(1, 0, 64), answer));
  }
  sim_.Stop();
  EXPECT_FALSE(std::filesystem::is_symlink(link));  // clean stop withdraws the link
}

TEST_F(SimEndToEnd, LoopbackWiringAndStuckChannelsShowInWhatTheModuleReads) {
  StartUdp({"--loopback"});
  // Factory negations 0xFF on both sides: commanded 0x0F is 0xF0 at the output
  // terminals, read back through the input negation as 0x0F.
  ASSERT_EQ(client_->Must(Make(1, 1, 64, {0, 0x0F})).status, qm90::kAnswerOk);
  EXPECT_EQ(client_->Must(Make(1, 0, 64)).d[1], 0x0F);
  EXPECT_EQ(sim_.Get(1, "outputs"), 0xF0);
  ASSERT_TRUE(sim_.SetStuck(1, true, 0, 0));   // DIN0 reads 0: bit 0 read as 1
  ASSERT_TRUE(sim_.SetStuck(1, false, 7, 0));  // DOUT7 stays 0
  EXPECT_EQ(client_->Must(Make(1, 0, 64)).d[1], 0x8F);
  EXPECT_EQ(sim_.Get(1, "outputs"), 0x70);
  ASSERT_TRUE(sim_.SetStuck(1, true, 0, -1));
  ASSERT_TRUE(sim_.SetLoopback(1, false));
  EXPECT_EQ(client_->Must(Make(1, 0, 64)).d[1], 0xFF);  // nothing wired: all terminals 0
  for (const char* bad : {"stuck 1 din 8 1", "stuck 1 dout 0 2", "stuck 1 pin 0 1", "wiring 1 on",
                          "twin 1 yes", "unplug"}) {
    EXPECT_EQ(sim_.Control(bad).rfind("error ", 0), 0u) << bad;
  }
}

TEST_F(SimEndToEnd, TwinAnswersTwiceOverUdpAndGarblesTheSerialLine) {
  ASSERT_TRUE(sim_.Start({"--udp", "localhost:0", "--serial", "COM8"})) << sim_.Error();
  client_.emplace(sim_.UdpPort());
  ASSERT_TRUE(sim_.SetTwin(1, true));
  Answer answer;
  ASSERT_EQ(client_->Exchange(Make(1, 100, 0), answer), Decode::kOk);
  EXPECT_TRUE(client_->Receive(kAnswerWaitMs).has_value()) << "the twin's answer";
  SerialLine line(runtime_ + "/qm90/COM8");
  EXPECT_FALSE(line.Transact(Make(1, 100, 0), answer, kSilenceWaitMs));
  ASSERT_TRUE(sim_.SetTwin(1, false));
  EXPECT_TRUE(line.Transact(Make(1, 100, 0), answer));
  EXPECT_FALSE(client_->Receive(kSilenceWaitMs).has_value());
}

TEST_F(SimEndToEnd, UnpluggedPortDisappearsAndComesBackUnderItsName) {
  ASSERT_TRUE(sim_.Start({"--serial", "COM6"})) << sim_.Error();
  const std::string link = runtime_ + "/qm90/COM6";
  SerialLine held(link);
  ASSERT_EQ(sim_.Control("unplug"), "ok");
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  EXPECT_TRUE(held.HungUp());
  EXPECT_EQ(sim_.Control("replug"), "ok");
  Answer answer;
  SerialLine again(link);
  ASSERT_TRUE(again.IsOpen());
  EXPECT_TRUE(again.Transact(Make(1, 100, 0), answer));
}

}  // namespace

namespace {

// Other programs and scripts rely on these names.
TEST(SimCommandLine, HelpNamesEveryOptionAndControlCommand) {
  const std::string command = qm90sim::BinDir() + "/qm90-sim --help";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string help;
  char chunk[512];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) help.append(chunk, n);
  EXPECT_EQ(::pclose(pipe), 0);
  for (const char* name : {"--udp",
                           "--serial",
                           "--address",
                           "--state",
                           "--drop",
                           "--corrupt",
                           "--delay",
                           "--seed",
                           "--verbose",
                           "inputs ADDR",
                           "status-set",
                           "status-clear",
                           "get ADDR reg N",
                           "power ADDR",
                           "faults",
                           "quit",
                           "qm90-sim ready udp=",
                           "--control",
                           "--turnaround",
                           "subscribe",
                           "--loopback",
                           "wiring ADDR loopback|none",
                           "stuck ADDR din K",
                           "twin ADDR",
                           "unplug",
                           "replug",
                           "stats",
                           "modules"}) {
    EXPECT_NE(help.find(name), std::string::npos) << name;
  }
}

}  // namespace
