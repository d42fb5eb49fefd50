// Windows (under Wine): the native qm90-sim that ./test --windows started,
// reached over UDP and the COM port it names; its control lines go over one
// TCP connection to its control port on 127.0.0.1, held while the test runs.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <cstdlib>
#include <optional>

#include "emulator/ControlGrammar.h"
#include "link/Platform.h"
#include "tests/support/TestSim.h"

namespace qm90test {
namespace {

constexpr std::chrono::milliseconds kReplyTimeout{5000};

int PortFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) return 0;
  char* end = nullptr;
  const long port = std::strtol(value, &end, 10);
  return (*end == '\0' && port > 0 && port < 65536) ? static_cast<int>(port) : 0;
}

class SocketControl : public qm90sim::SimControl {
 public:
  SocketControl() = default;
  SocketControl(const SocketControl&) = delete;
  SocketControl& operator=(const SocketControl&) = delete;
  ~SocketControl() override {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    if (started_) WSACleanup();
  }

  bool Connect(int port) {
    WSADATA wsa{};
    started_ = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
    if (!started_) return false;
    socket_ = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (socket_ == INVALID_SOCKET) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }

  std::string Control(const std::string& line) override {
    if (socket_ == INVALID_SOCKET) return "error no control connection";
    const std::string text = line + "\n";
    if (send(socket_, text.data(), static_cast<int>(text.size()), 0) !=
        static_cast<int>(text.size()))
      return "error cannot write to the simulator";
    // Event lines may come between; the reply is the first line that is one.
    const auto deadline = std::chrono::steady_clock::now() + kReplyTimeout;
    for (std::string reply; ReadLine(reply, deadline);)
      if (qm90emulator::ParseReply(reply)) return reply;
    // A reply that comes later would be taken for the next line's: no more lines.
    closesocket(socket_);
    socket_ = INVALID_SOCKET;
    return "error no reply from the simulator";
  }

 private:
  bool ReadLine(std::string& line, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
      const auto end = pending_.find('\n');
      if (end != std::string::npos) {
        line = pending_.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        pending_.erase(0, end + 1);
        return true;
      }
      if (!WaitReadable(deadline)) return false;
      char buffer[512];
      const int got = recv(socket_, buffer, sizeof buffer, 0);
      if (got <= 0) return false;
      pending_.append(buffer, static_cast<std::size_t>(got));
    }
  }

  // Bounded by select rather than by a receive time-out on the socket, which
  // holds only where the socket layer keeps it.
  bool WaitReadable(std::chrono::steady_clock::time_point deadline) const {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket_, &readable);
    timeval wait{static_cast<long>(left.count() / 1000000),
                 static_cast<long>(left.count() % 1000000)};
    return select(0, &readable, nullptr, nullptr, &wait) == 1;
  }

  SOCKET socket_ = INVALID_SOCKET;
  bool started_ = false;
  std::string pending_;
};

}  // namespace

struct TestSim::TImpl {
  SocketControl control;
  int udp_port = 0;
};

TestSim::TestSim() : impl_(std::make_unique<TImpl>()) {}
TestSim::~TestSim() = default;

bool TestSim::Start(bool serial) {
  TImpl& impl = *impl_;
  impl.udp_port = PortFromEnvironment("QM90_SIM_UDP_PORT");
  const int control_port = PortFromEnvironment("QM90_SIM_CONTROL");
  const int com = serial ? PortFromEnvironment("QM90_SIM_COM") : 0;
  if (impl.udp_port == 0 || control_port == 0 || (serial && com == 0)) {
    error_ = std::string(serial ? "QM90_SIM_UDP_PORT, QM90_SIM_COM or QM90_SIM_CONTROL"
                                : "QM90_SIM_UDP_PORT or QM90_SIM_CONTROL") +
             " not set (./test --windows sets them)";
    return false;
  }
  if (!impl.control.Connect(control_port)) {
    error_ = "no control connection to 127.0.0.1:" + std::to_string(control_port);
    return false;
  }
  com_ = com;
  return true;
}

bool TestSim::Shared() const {
  return true;
}

int TestSim::UdpPort() const {
  return impl_->udp_port;
}

qm90sim::SimControl& TestSim::Control() {
  return impl_->control;
}

// The libraries lie in bin/, beside the program, not beside the tests.
std::string TestSim::DriverDirectory() {
  return platform::JoinPath(platform::ExecutableDir(), "..\\bin");
}

}  // namespace qm90test
