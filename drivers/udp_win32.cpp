// LAN converter transport on Winsock: one UDP socket connect()ed to the
// converter, so the system delivers only datagrams from that address and port.
// A receive time-out (SO_RCVTIMEO) is kept only by a socket made with
// WSA_FLAG_OVERLAPPED; on another one a wait could last for ever.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>

#include <chrono>
#include <cstring>

#include "drivers/Codes.h"
#include "drivers/Transport.h"

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace qm90drivers {
namespace {

constexpr std::intptr_t kDefaultTimeoutMs = 100;  // a time-out of 0 asks for the default
constexpr std::intptr_t kHighestTimeoutMs = 65535;
constexpr std::intptr_t kHighestPort = 65535;
constexpr std::size_t kLongestIpText = 40;  // "255.255.255.255" with room for blanks

struct UdpLink {
  SOCKET socket = INVALID_SOCKET;
  int timeout_ms = kDefaultTimeoutMs;
  Micros wait{};     // for one answer: the time-out plus the converter's relay
  int armed_ms = 0;  // receive time-out the socket holds now
  std::uint16_t sequence = 0;
  std::uint8_t baud_index = 4;
};

// Copies the IP text without reading past its terminator or a sane length.
bool ParseIp(const char* text, in_addr& out) {
  if (text == nullptr) return false;
  char copy[kLongestIpText + 1] = {};
  for (std::size_t i = 0; i < kLongestIpText + 1; ++i) {
    copy[i] = text[i];
    if (text[i] == '\0') return inet_pton(AF_INET, copy, &out) == 1;
  }
  return false;
}

std::int32_t UdpConfigure(void* context, const LinkSettings& settings) {
  auto* link = static_cast<UdpLink*>(context);
  link->baud_index = settings.baud_index;
  link->wait = UdpAnswerWait(link->timeout_ms, settings.baud);
  return kOk;
}

// An ICMP "port unreachable" for an earlier datagram: Windows reports it as
// WSAECONNRESET unless told not to, Wine as WSAECONNREFUSED.
bool IsRefusal(int error) {
  return error == WSAECONNRESET || error == WSAECONNREFUSED;
}

std::int32_t SendDatagram(SOCKET socket, const std::vector<std::uint8_t>& datagram) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (send(socket, reinterpret_cast<const char*>(datagram.data()),
             static_cast<int>(datagram.size()), 0) == static_cast<int>(datagram.size())) {
      return kOk;
    }
    // A refusal left over from an earlier datagram is reported once; try again.
    if (!IsRefusal(WSAGetLastError())) return kSocketError;
  }
  return kSocketError;
}

bool SetReceiveTimeout(SOCKET socket, int ms) {
  const DWORD wait = static_cast<DWORD>(ms);
  return setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&wait),
                    sizeof wait) == 0;
}

// Waits for the answer with the current sequence number. Stale, duplicate,
// malformed and over-long datagrams are dropped; the deadline stays where it
// was, and only the clock ends the wait (the socket's time-out may end it a
// little early or late).
std::int32_t ReceiveAnswer(UdpLink& link, std::uint8_t address, qm90::Answer& answer,
                           Clock::time_point deadline) {
  bool damaged = false;
  char buffer[512];
  for (Micros left = TimeLeft(deadline); left.count() > 0; left = TimeLeft(deadline)) {
    const int wait_ms =
        static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
    if (wait_ms != link.armed_ms) {
      if (!SetReceiveTimeout(link.socket, wait_ms)) return kSocketError;
      link.armed_ms = wait_ms;
    }
    const int n = recv(link.socket, buffer, sizeof buffer, 0);
    if (n == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      // A time-out, a datagram longer than any answer (the rest is discarded),
      // or a refusal: the clock decides.
      if (error == WSAETIMEDOUT || error == WSAEMSGSIZE || IsRefusal(error)) continue;
      return kSocketError;
    }
    const qm90::Decode result =
        qm90::DecodeUdpAnswer(reinterpret_cast<const std::uint8_t*>(buffer),
                              static_cast<std::size_t>(n), address, link.sequence, answer);
    if (result == qm90::Decode::kOk) return kOk;
    if (result == qm90::Decode::kBadCrc) damaged = true;
  }
  return damaged ? kDamagedAnswer : kTimeout;
}

std::int32_t UdpExchange(void* context, const qm90::Request& request, qm90::Answer& answer) {
  auto* link = static_cast<UdpLink*>(context);
  ++link->sequence;
  const Clock::time_point deadline = Clock::now() + link->wait;
  const std::int32_t code =
      SendDatagram(link->socket, qm90::EncodeUdpRequest(request, link->sequence, link->baud_index));
  if (code != kOk) return code;
  return ReceiveAnswer(*link, request.address, answer, deadline);
}

void UdpClose(void* context) {
  auto* link = static_cast<UdpLink*>(context);
  if (link->socket != INVALID_SOCKET) closesocket(link->socket);
  delete link;
  WSACleanup();
}

constexpr Transport kUdp{UdpConfigure, UdpExchange, UdpClose};

// A new link starts its sequence numbers somewhere else than the last one did.
std::uint16_t FirstSequence() {
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return static_cast<std::uint16_t>(ticks ^ (ticks >> 16) ^ GetCurrentProcessId());
}

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

std::int32_t OpenUdp(const std::intptr_t* block, OpenedLink& out) {
  if (block == nullptr) return kInvalidParameter;
  WSADATA data{};
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return kSocketError;
  sockaddr_in target{};
  target.sin_family = AF_INET;
  std::int32_t code = kOk;
  if (!ParseIp(reinterpret_cast<const char*>(block[0]), target.sin_addr)) {
    code = kInvalidIpAddress;
  } else if (block[1] < 1 || block[1] > kHighestPort) {
    code = kUdpPortRange;
  } else if (block[2] < 0 || block[2] > kHighestTimeoutMs) {
    code = kUdpTimeoutRange;
  }
  target.sin_port = htons(static_cast<std::uint16_t>(block[1]));
  const SOCKET socket = code == kOk ? ConnectedSocket(target) : INVALID_SOCKET;
  if (code == kOk && socket == INVALID_SOCKET) code = kSocketError;
  if (code != kOk) {
    WSACleanup();
    return code;
  }
  auto* link = new UdpLink;
  link->socket = socket;
  link->timeout_ms = static_cast<int>(block[2] == 0 ? kDefaultTimeoutMs : block[2]);
  link->wait = UdpAnswerWait(link->timeout_ms, LinkSettings{}.baud);
  link->sequence = FirstSequence();
  out = {&kUdp, link};
  return kOk;
}

}  // namespace qm90drivers
