// LAN converter transport: one UDP socket connect()ed to the converter, so the
// system delivers only datagrams from that address and port.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "drivers/Codes.h"
#include "drivers/Transport.h"

namespace qm90drivers {
namespace {

constexpr std::intptr_t kDefaultTimeoutMs = 100;  // a time-out of 0 asks for the default
constexpr std::intptr_t kHighestTimeoutMs = 65535;
constexpr std::intptr_t kHighestPort = 65535;
constexpr std::size_t kLongestIpText = 40;  // "255.255.255.255" with room for blanks

struct UdpLink {
  int fd = -1;
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

std::int32_t SendDatagram(int fd, const std::vector<std::uint8_t>& datagram) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (send(fd, datagram.data(), datagram.size(), 0) == static_cast<ssize_t>(datagram.size())) {
      return kOk;
    }
    // A refusal left over from an earlier datagram is reported once; try again.
    if (errno != ECONNREFUSED && errno != EINTR) return kSocketError;
  }
  return kSocketError;
}

bool SetReceiveTimeout(int fd, int ms) {
  timeval wait{};
  wait.tv_sec = ms / 1000;
  wait.tv_usec = (ms % 1000) * 1000;
  return setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) == 0;
}

// Receives one datagram within `left`. Most of the wait blocks in recv under
// the socket's receive time-out (one system call when the answer comes, as it
// mostly does); the system ends such a wait only on its timer's ticks, so the
// last ten milliseconds are waited with ppoll, which keeps to the deadline.
ssize_t ReceiveWithin(UdpLink& link, std::uint8_t* buffer, std::size_t size, Micros left) {
  constexpr Micros kCoarseMargin{10000};  // two ticks of a 250 Hz timer and more
  if (left > kCoarseMargin + Micros(1000)) {
    const int coarse_ms = static_cast<int>(
        std::chrono::floor<std::chrono::milliseconds>(left - kCoarseMargin).count());
    if (coarse_ms != link.armed_ms) {
      if (!SetReceiveTimeout(link.fd, coarse_ms)) return -2;
      link.armed_ms = coarse_ms;
    }
    return recv(link.fd, buffer, size, MSG_TRUNC);
  }
  pollfd in{link.fd, POLLIN, 0};
  const timespec wait{static_cast<time_t>(left.count() / 1000000),
                      static_cast<long>(left.count() % 1000000) * 1000};
  const int ready = ppoll(&in, 1, &wait, nullptr);
  if (ready < 0) return -1;
  if (ready == 0) {
    errno = EAGAIN;
    return -1;
  }
  return recv(link.fd, buffer, size, MSG_TRUNC | MSG_DONTWAIT);
}

// Waits for the answer with the current sequence number. Stale, duplicate and
// malformed datagrams are dropped; the deadline stays where it was, and only
// the clock ends the wait, so it never ends early.
std::int32_t ReceiveAnswer(UdpLink& link, std::uint8_t address, qm90::Answer& answer,
                           Clock::time_point deadline) {
  bool damaged = false;
  std::uint8_t buffer[512];
  for (Micros left = TimeLeft(deadline); left.count() > 0; left = TimeLeft(deadline)) {
    const ssize_t n = ReceiveWithin(link, buffer, sizeof buffer, left);
    if (n == -2) return kSocketError;
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNREFUSED)
        continue;
      return kSocketError;
    }
    if (static_cast<std::size_t>(n) > sizeof buffer) continue;  // far too long: not ours
    const qm90::Decode result =
        qm90::DecodeUdpAnswer(buffer, static_cast<std::size_t>(n), address, link.sequence, answer);
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
      SendDatagram(link->fd, qm90::EncodeUdpRequest(request, link->sequence, link->baud_index));
  if (code != kOk) return code;
  return ReceiveAnswer(*link, request.address, answer, deadline);
}

void UdpClose(void* context) {
  auto* link = static_cast<UdpLink*>(context);
  if (link->fd >= 0) close(link->fd);
  delete link;
}

constexpr Transport kUdp{UdpConfigure, UdpExchange, UdpClose};

// A new link starts its sequence numbers somewhere else than the last one did.
std::uint16_t FirstSequence() {
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return static_cast<std::uint16_t>(ticks ^ (ticks >> 16) ^ getpid());
}

}  // namespace

std::int32_t OpenUdp(const std::intptr_t* block, OpenedLink& out) {
  if (block == nullptr) return kInvalidParameter;
  sockaddr_in target{};
  target.sin_family = AF_INET;
  if (!ParseIp(reinterpret_cast<const char*>(block[0]), target.sin_addr)) return kInvalidIpAddress;
  if (block[1] < 1 || block[1] > kHighestPort) return kUdpPortRange;
  if (block[2] < 0 || block[2] > kHighestTimeoutMs) return kUdpTimeoutRange;
  target.sin_port = htons(static_cast<std::uint16_t>(block[1]));

  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kSocketError;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    close(fd);
    return kSocketError;
  }
  auto* link = new UdpLink;
  link->fd = fd;
  link->timeout_ms = static_cast<int>(block[2] == 0 ? kDefaultTimeoutMs : block[2]);
  link->wait = UdpAnswerWait(link->timeout_ms, LinkSettings{}.baud);
  link->sequence = FirstSequence();
  out = {&kUdp, link};
  return kOk;
}

}  // namespace qm90drivers
