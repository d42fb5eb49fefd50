// The LAN converter's transport: the Init block's checks, sequence numbers,
// the answer's wait and the datagrams' validation, over whatever socket the
// platform opened.
#include <algorithm>
#include <utility>

#include "drivers/Codes.h"
#include "drivers/DatagramSocket.h"
#include "drivers/Transport.h"

namespace qm90drivers {
namespace {

constexpr std::intptr_t kDefaultTimeoutMs = 100;  // a time-out of 0 asks for the default
constexpr std::intptr_t kHighestTimeoutMs = 65535;
constexpr std::intptr_t kHighestPort = 65535;
constexpr std::size_t kLongestIpText = 40;  // "255.255.255.255" with room to spare

struct UdpLink {
  std::unique_ptr<DatagramSocket> socket;
  const WaitClock* clock = nullptr;
  std::int32_t timeout_ms = kDefaultTimeoutMs;
  Micros wait{};  // for one answer: the time-out plus the converter's relay
  std::uint16_t sequence = 0;
  std::uint8_t baud_index = 4;
  std::uint8_t address = 0;  // of the last request
};

// A converter never sends more datagrams than this behind an answer.
constexpr int kMostDatagramsBehind = 8;

// Dotted decimal, four parts of 0..255 without leading zeros, as the system's
// own parser takes an IPv4 address. Reads no further than the terminator or
// a sane length.
bool ParseIp(const char* text, std::array<std::uint8_t, 4>& out) {
  if (text == nullptr) return false;
  std::size_t at = 0;
  for (std::size_t part = 0; part < out.size(); ++part) {
    if (part > 0 && text[at++] != '.') return false;
    int value = 0;
    std::size_t digits = 0;
    for (; text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
      if (digits == 3 || (digits == 1 && value == 0)) return false;
      value = value * 10 + (text[at] - '0');
    }
    if (digits == 0 || value > 255 || at > kLongestIpText) return false;
    out[part] = static_cast<std::uint8_t>(value);
  }
  return text[at] == '\0';
}

std::int32_t UdpConfigure(void* context, const LinkSettings& settings) {
  auto* link = static_cast<UdpLink*>(context);
  link->baud_index = settings.baud_index;
  link->wait = UdpAnswerWait(link->timeout_ms, settings.baud);
  return kOk;
}

// Waits for the answer with the current sequence number. Stale, duplicate,
// malformed and over-long datagrams are dropped; the deadline stays where it
// was, and only the clock ends the wait, so it never ends early.
std::int32_t ReceiveAnswer(UdpLink& link, std::uint8_t address, qm90::Answer& answer,
                           Clock::time_point deadline) {
  bool damaged = false;
  std::uint8_t buffer[512];
  for (Micros left = TimeLeft(*link.clock, deadline); left.count() > 0;
       left = TimeLeft(*link.clock, deadline)) {
    std::size_t n = 0;
    const std::int32_t code = link.socket->Receive(buffer, sizeof buffer, left, n);
    if (code != kOk) return code;
    if (n == 0 || n > sizeof buffer) continue;  // none, or far too long to be ours
    const qm90::Decode result = qm90::DecodeUdpAnswer(buffer, n, address, link.sequence, answer);
    if (result == qm90::Decode::kOk) return kOk;
    if (result == qm90::Decode::kBadCrc) damaged = true;
  }
  return damaged ? kDamagedAnswer : kTimeout;
}

std::int32_t UdpExchange(void* context, const qm90::Request& request, qm90::Answer& answer) {
  auto* link = static_cast<UdpLink*>(context);
  ++link->sequence;
  link->address = request.address;
  const Clock::time_point deadline = link->clock->Now() + link->wait;
  const std::vector<std::uint8_t> datagram =
      qm90::EncodeUdpRequest(request, link->sequence, link->baud_index);
  const std::int32_t code = link->socket->Send(datagram.data(), datagram.size());
  if (code != kOk) return code;
  return ReceiveAnswer(*link, request.address, answer, deadline);
}

// Answers to the request just answered, the first and those behind it (another
// module at the same address answering too) that are already there or come
// within `listen`. Without `listen` nothing is looked at (0: not counted), so
// that an ordinary exchange costs not even a look; nothing read here could be
// an answer to a later request.
std::int32_t UdpAnswers(void* context, Micros listen) {
  if (listen.count() <= 0) return 0;
  auto* link = static_cast<UdpLink*>(context);
  const Clock::time_point until = link->clock->Now() + listen;
  std::int32_t answers = 1;
  std::uint8_t buffer[512];
  for (int i = 0; i < kMostDatagramsBehind; ++i) {
    const Micros left = std::max(TimeLeft(*link->clock, until), Micros(0));
    std::size_t n = 0;
    if (link->socket->Receive(buffer, sizeof buffer, left, n) != kOk) break;
    if (n == 0) {
      if (left.count() > 0) continue;  // a wait may end early; the clock ends it
      break;
    }
    qm90::Answer twin;
    if (n <= sizeof buffer &&
        qm90::DecodeUdpAnswer(buffer, n, link->address, link->sequence, twin) == qm90::Decode::kOk)
      ++answers;
  }
  return answers;
}

void UdpClose(void* context) {
  delete static_cast<UdpLink*>(context);
}

constexpr Transport kUdp{UdpConfigure, UdpExchange, UdpClose, UdpAnswers};

}  // namespace

OpenedLink OpenUdpOver(std::unique_ptr<DatagramSocket> socket, const WaitClock& clock,
                       std::int32_t timeout_ms, std::uint16_t first_sequence) {
  auto* link = new UdpLink;
  link->socket = std::move(socket);
  link->clock = &clock;
  link->timeout_ms = timeout_ms;
  link->wait = UdpAnswerWait(timeout_ms, LinkSettings{}.baud);
  link->sequence = first_sequence;
  return {&kUdp, link};
}

std::int32_t OpenUdp(const std::intptr_t* block, OpenedLink& out) {
  if (block == nullptr) return kInvalidParameter;
  std::array<std::uint8_t, 4> ip{};
  if (!ParseIp(reinterpret_cast<const char*>(block[0]), ip)) return kInvalidIpAddress;
  if (block[1] < 1 || block[1] > kHighestPort) return kUdpPortRange;
  if (block[2] < 0 || block[2] > kHighestTimeoutMs) return kUdpTimeoutRange;
  std::unique_ptr<DatagramSocket> socket;
  const std::int32_t code = OpenDatagramSocket(ip, static_cast<std::uint16_t>(block[1]), socket);
  if (code != kOk) return code;
  const auto timeout_ms = static_cast<std::int32_t>(block[2] == 0 ? kDefaultTimeoutMs : block[2]);
  const auto first = static_cast<std::uint16_t>(FirstSequence(socket.get()));
  out = OpenUdpOver(std::move(socket), SteadyClock(), timeout_ms, first);
  return kOk;
}

}  // namespace qm90drivers
