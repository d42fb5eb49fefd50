// A UDP socket on Winsock, connect()ed to its peer, so the system delivers
// only datagrams from that address and port. A receive time-out (SO_RCVTIMEO)
// is kept only by a socket made with WSA_FLAG_OVERLAPPED; on another one a
// wait could last for ever.
#include <winsock2.h>
#include <mstcpip.h>
#include <ws2tcpip.h>

#include <cstring>

#include "drivers/Codes.h"
#include "drivers/DatagramSocket.h"

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace qm90drivers {
namespace {

// An ICMP "port unreachable" for an earlier datagram: Windows reports it as
// WSAECONNRESET unless told not to, Wine as WSAECONNREFUSED.
bool IsRefusal(int error) {
  return error == WSAECONNRESET || error == WSAECONNREFUSED;
}

class Win32DatagramSocket final : public DatagramSocket {
 public:
  explicit Win32DatagramSocket(SOCKET socket) : socket_(socket) {}
  ~Win32DatagramSocket() override {
    closesocket(socket_);
    WSACleanup();
  }
  Win32DatagramSocket(const Win32DatagramSocket&) = delete;
  Win32DatagramSocket& operator=(const Win32DatagramSocket&) = delete;

  std::int32_t Send(const std::uint8_t* bytes, std::size_t size) override {
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (send(socket_, reinterpret_cast<const char*>(bytes), static_cast<int>(size), 0) ==
          static_cast<int>(size)) {
        return kOk;
      }
      // A refusal left over from an earlier datagram is reported once; try again.
      if (!IsRefusal(WSAGetLastError())) return kSocketError;
    }
    return kSocketError;
  }

  std::int32_t Receive(std::uint8_t* buffer, std::size_t size, Micros wait,
                       std::size_t& got) override {
    got = 0;
    if (wait.count() <= 0) {
      // Only a datagram already there; the armed time-out stays as it is.
      u_long waiting = 0;
      if (ioctlsocket(socket_, FIONREAD, &waiting) != 0) return kSocketError;
      if (waiting == 0) return kOk;
    } else if (!Arm(CeilMilliseconds(wait))) {
      return kSocketError;
    }
    const int n = recv(socket_, reinterpret_cast<char*>(buffer), static_cast<int>(size), 0);
    if (n != SOCKET_ERROR) {
      got = static_cast<std::size_t>(n);
      return kOk;
    }
    const int error = WSAGetLastError();
    if (error == WSAEMSGSIZE) {  // longer than any answer; the rest is discarded
      got = size + 1;
      return kOk;
    }
    return error == WSAETIMEDOUT || IsRefusal(error) ? kOk : kSocketError;
  }

 private:
  bool Arm(int wait_ms) {
    if (wait_ms == armed_ms_) return true;
    const DWORD limit = static_cast<DWORD>(wait_ms);
    if (setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit),
                   sizeof limit) != 0)
      return false;
    armed_ms_ = wait_ms;
    return true;
  }

  SOCKET socket_;
  int armed_ms_ = 0;  // receive time-out the socket holds now
};

// Without this, an ICMP "port unreachable" for one datagram makes a later
// receive fail with WSAECONNRESET.
void IgnoreRefusals(SOCKET socket) {
  BOOL report = FALSE;
  DWORD returned = 0;
  WSAIoctl(socket, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr,
           nullptr);
}

// A connected datagram socket, or INVALID_SOCKET.
SOCKET ConnectedSocket(const sockaddr_in& target) {
  const SOCKET socket = WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0,
                                   WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET) return INVALID_SOCKET;
  IgnoreRefusals(socket);
  if (connect(socket, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    closesocket(socket);
    return INVALID_SOCKET;
  }
  return socket;
}

}  // namespace

std::int32_t OpenDatagramSocket(const std::array<std::uint8_t, 4>& ip, std::uint16_t port,
                                std::unique_ptr<DatagramSocket>& out) {
  WSADATA data{};
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return kSocketError;
  sockaddr_in target{};
  target.sin_family = AF_INET;
  std::memcpy(&target.sin_addr, ip.data(), ip.size());
  target.sin_port = htons(port);
  const SOCKET socket = ConnectedSocket(target);
  if (socket == INVALID_SOCKET) {
    WSACleanup();
    return kSocketError;
  }
  out = std::make_unique<Win32DatagramSocket>(socket);
  return kOk;
}

}  // namespace qm90drivers
