// The serial and UDP transports against a peer of the test's own: a pty that
// plays the module byte by byte as the test scripts it, and a UDP socket that
// never answers. How many bytes come at once, and how long a silent peer is
// waited for.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "drivers/Timing.h"
#include "link/QBLxxx.h"
#include "protocol/Frame.h"
#include "tests/drivers/Harness.h"

namespace drvtest {
namespace {

constexpr int kCom = 11;
using Bytes = std::vector<std::uint8_t>;

// A pty published as COM11; a thread answers each request with what `reply`
// makes of it, written in one piece (empty: silence).
class ScriptedLine {
 public:
  template <typename Reply>
  ScriptedLine(const std::string& runtime_folder, Reply reply) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    const std::string slave = ptsname(master_);
    // Held open so the master never sees a hang-up between two links.
    slave_ = open(slave.c_str(), O_RDWR | O_NOCTTY);
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    std::filesystem::create_directories(runtime_folder + "/qm90");
    const std::string link = runtime_folder + "/qm90/COM" + std::to_string(kCom);
    std::filesystem::remove(link);
    std::filesystem::create_symlink(slave, link);
    thread_ = std::thread([this, reply] { Serve(reply); });
  }
  ~ScriptedLine() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }
  ScriptedLine(const ScriptedLine&) = delete;
  ScriptedLine& operator=(const ScriptedLine&) = delete;

 private:
  template <typename Reply>
  void Serve(Reply reply) {
    qm90::StreamScanner scanner;
    std::uint8_t chunk[256];
    while (!stop_) {
      pollfd in{master_, POLLIN, 0};
      if (poll(&in, 1, 10) <= 0) continue;
      const ssize_t n = read(master_, chunk, sizeof chunk);
      if (n <= 0) continue;
      qm90::Request request;
      std::size_t used = 0;
      if (!scanner.FindRequest(chunk, static_cast<std::size_t>(n), request, used)) continue;
      const Bytes bytes = reply(request);
      if (!bytes.empty() && write(master_, bytes.data(), bytes.size()) < 0) return;
    }
  }

  int master_ = -1;
  int slave_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

Bytes AnswerTo(const qm90::Request& request, std::uint8_t sequence_offset = 0) {
  qm90::Answer answer;
  answer.address = request.address;
  answer.sequence = static_cast<std::uint8_t>(request.sequence + sequence_offset);
  answer.d[3] = 0x42;
  return qm90::EncodeAnswer(answer);
}

Bytes Noise(std::size_t count) {
  Bytes noise(count);
  for (std::size_t i = 0; i < count; ++i) noise[i] = static_cast<std::uint8_t>(0x10 + i % 0x40);
  return noise;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class Waits : public ::testing::Test {
 protected:
  void SetUp() override { UseBuiltDrivers(); }
  OwnFolders folder_;  // first member: goes after everything that uses it
};

// However many further bytes arrive in the same read as the answer, and
// whatever came before it, the answer is found.
TEST_F(Waits, AnAnswerAmongManyBytesOfOneReadIsFound) {
  struct Case {
    const char* name;
    Bytes (*line)(const qm90::Request&);
  };
  const Case cases[] = {
      {"answer, then 54 bytes",
       [](const qm90::Request& r) {
         return Join({AnswerTo(r), Noise(54)});
       }},
      {"answer, then 240 bytes",
       [](const qm90::Request& r) {
         return Join({AnswerTo(r), Noise(240)});
       }},
      {"100 bytes, answer, 100 bytes",
       [](const qm90::Request& r) {
         return Join({Noise(100), AnswerTo(r), Noise(100)});
       }},
      {"stale answer, 60 bytes, answer, 60 bytes",
       [](const qm90::Request& r) {
         return Join({AnswerTo(r, 255), Noise(60), AnswerTo(r), Noise(60)});
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedLine line(folder_.path(), c.line);
    Session link(kSerial);
    ASSERT_EQ(link.OpenSerial(kCom), 0);
    // A wide allowance: this is about what a read holds, not about time.
    ASSERT_EQ(DrvSetConfig(kSerial, link.handle(), 9600, 500, 2), 0);
    const Reply reply = link.ReadRegister(35);
    EXPECT_EQ(reply.status, 0);
    EXPECT_EQ(reply.d[3], 0x42);
  }
}

double MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// One wall-clock smoke test per transport: a silent peer is waited for at
// least the documented wait through the real port and socket. The exact
// bounds of every wait are checked on a simulated clock (TransportTest.cpp).
TEST_F(Waits, NoWaitEndsEarlyOnTheWallClock) {
  {
    SCOPED_TRACE("serial, a stray byte");
    ScriptedLine line(folder_.path(), [](const qm90::Request&) { return Noise(1); });
    Session link(kSerial);
    ASSERT_EQ(link.OpenSerial(kCom), 0);
    ASSERT_EQ(DrvSetConfig(kSerial, link.handle(), 115200, 1, 2), 0);
    const auto whole = qm90drivers::SerialAnswerWaits(115200, 1).whole_answer;
    const double expected_ms = std::chrono::duration<double, std::milli>(whole).count();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.ReadRegister(63).status, kDamagedAnswer);
    EXPECT_GE(MsSince(start), expected_ms);
  }

  SCOPED_TRACE("UDP, a silent peer");
  const int silent = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(silent, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(getsockname(silent, reinterpret_cast<sockaddr*>(&address), &size), 0);
  constexpr int kTimeoutMs = 2;
  Session link(kLan);
  ASSERT_EQ(link.OpenUdp(ntohs(address.sin_port), kTimeoutMs), 0);
  ASSERT_EQ(link.Configure(9600), 0);
  const double expected_ms =
      std::chrono::duration<double, std::milli>(qm90drivers::UdpAnswerWait(kTimeoutMs, 9600))
          .count();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(link.ReadRegister(63).status, kTimeout);
  EXPECT_GE(MsSince(start), expected_ms);
  close(silent);
}

}  // namespace
}  // namespace drvtest
