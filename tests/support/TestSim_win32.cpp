// Windows (under Wine): the native qm90-sim that ./test --windows started,
// reached over UDP and the COM port it names, and over its TCP control port.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <string>

#include "link/Platform.h"
#include "tests/support/TestSim.h"

namespace qm90test {

namespace {

int NumberFrom(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value ? std::atoi(value) : 0;
}

// One control line, its reply line ("" when the channel fails).
std::string ControlLine(int port, const std::string& line) {
  WSADATA wsa{};
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return {};
  std::string reply;
  SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
  if (s != INVALID_SOCKET) {
    DWORD timeout_ms = 5000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout_ms),
               sizeof timeout_ms);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<u_short>(port));
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::string sent = line + "\n";
    if (connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0 &&
        send(s, sent.data(), static_cast<int>(sent.size()), 0) == static_cast<int>(sent.size())) {
      char c = 0;
      while (recv(s, &c, 1, 0) == 1 && c != '\n') reply += c;
    }
    closesocket(s);
  }
  WSACleanup();
  if (!reply.empty() && reply.back() == '\r') reply.pop_back();
  return reply;
}

}  // namespace

struct TestSim::TImpl {
  int udp_port = NumberFrom("QM90_SIM_UDP_PORT");
  int com = NumberFrom("QM90_SIM_COM");
  int control_port = NumberFrom("QM90_SIM_CONTROL");
  std::string why;
};

TestSim::TestSim() : impl_(std::make_unique<TImpl>()) {}
TestSim::~TestSim() = default;

bool TestSim::Start(bool serial) {
  if (impl_->udp_port > 0 && impl_->control_port > 0 && (!serial || impl_->com > 0)) return true;
  impl_->why =
      "QM90_SIM_UDP_PORT, QM90_SIM_COM or QM90_SIM_CONTROL not set (./test --windows sets them)";
  return false;
}
const std::string& TestSim::Why() const {
  return impl_->why;
}
bool TestSim::Shared() const {
  return true;
}
int TestSim::UdpPort() const {
  return impl_->udp_port;
}
int TestSim::ComPort() const {
  return impl_->com;
}
long TestSim::Get(int address, const std::string& what) {
  const std::string reply =
      ControlLine(impl_->control_port, "get " + std::to_string(address) + " " + what);
  if (reply.rfind("ok ", 0) != 0) return -1;
  return std::strtol(reply.c_str() + 3, nullptr, 10);
}
bool TestSim::PowerCycle(int address) {
  return ControlLine(impl_->control_port, "power " + std::to_string(address)).rfind("ok", 0) == 0;
}

std::string DriverFolder() {
  return platform::JoinPath(platform::ExecutableDir(), "..\\bin");
}

}  // namespace qm90test
