// Under Wine the emulator is the native one the test run started; its control
// lines go over a TCP connection to its control port on 127.0.0.1.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <optional>

#include "emulator/ControlGrammar.h"
#include "link/Platform.h"
#include "tests/live/TestSim.h"

namespace livetest {
namespace {

constexpr DWORD kReplyTimeoutMs = 5000;

int PortFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) return 0;
  char* end = nullptr;
  const long port = std::strtol(value, &end, 10);
  return (*end == '\0' && port > 0 && port < 65536) ? static_cast<int>(port) : 0;
}

class SocketControl : public qm90sim::SimControl {
 public:
  ~SocketControl() override {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    if (started_) WSACleanup();
  }

  bool Connect(int port) {
    WSADATA wsa{};
    started_ = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
    if (!started_) return false;
    // Overlapped, or the receive time-out is not kept.
    socket_ = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (socket_ == INVALID_SOCKET) return false;
    const DWORD timeout = kReplyTimeoutMs;
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof timeout);
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
    for (std::string reply; ReadLine(reply);)
      if (qm90emulator::ParseReply(reply)) return reply;
    return "error no reply from the simulator";
  }

 private:
  bool ReadLine(std::string& line) {
    for (;;) {
      const auto end = pending_.find('\n');
      if (end != std::string::npos) {
        line = pending_.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        pending_.erase(0, end + 1);
        return true;
      }
      char buffer[512];
      const int got = recv(socket_, buffer, sizeof buffer, 0);
      if (got <= 0) return false;
      pending_.append(buffer, static_cast<std::size_t>(got));
    }
  }

  SOCKET socket_ = INVALID_SOCKET;
  bool started_ = false;
  std::string pending_;
};

}  // namespace

struct TestSim::TImpl {
  SocketControl control;
  int udp_port = 0;
  int com_port = 0;
  std::string error;
};

TestSim::TestSim() : impl_(std::make_unique<TImpl>()) {}
TestSim::~TestSim() = default;

bool TestSim::Start(bool serial) {
  impl_->udp_port = PortFromEnvironment("QM90_SIM_UDP_PORT");
  if (serial) {
    impl_->com_port = PortFromEnvironment("QM90_SIM_COM");
    if (impl_->com_port == 0) {
      impl_->error = "QM90_SIM_COM not set (./test --windows sets it)";
      return false;
    }
  }
  const int control_port = PortFromEnvironment("QM90_SIM_CONTROL");
  if (impl_->udp_port == 0 || control_port == 0) {
    impl_->error = "QM90_SIM_UDP_PORT or QM90_SIM_CONTROL not set (./test --windows sets both)";
    return false;
  }
  if (!impl_->control.Connect(control_port)) {
    impl_->error = "no control connection to 127.0.0.1:" + std::to_string(control_port);
    return false;
  }
  return true;
}

std::string TestSim::Error() const {
  return impl_->error;
}

int TestSim::UdpPort() const {
  return impl_->udp_port;
}

int TestSim::ComPort() const {
  return impl_->com_port;
}

qm90sim::SimControl& TestSim::Control() {
  return impl_->control;
}

// The libraries lie in bin/, beside the program, not beside the tests.
std::string TestSim::DriverDirectory() {
  return platform::JoinPath(platform::ExecutableDir(), "..\\bin");
}

}  // namespace livetest
