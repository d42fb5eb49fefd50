// The serial and UDP transports on a simulated clock, over a port and a
// socket of the test's own: each wait ends exactly at its documented bound,
// however the platform's waits return, and only the right answer is taken.
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "drivers/Codes.h"
#include "drivers/DatagramSocket.h"
#include "drivers/SerialPort.h"
#include "drivers/Transport.h"
#include "protocol/Frame.h"

namespace drvtest {
namespace {

using namespace qm90drivers;
using Bytes = std::vector<std::uint8_t>;

class SimulatedClock final : public WaitClock {
 public:
  Clock::time_point Now() const override { return now_; }
  void Advance(Micros by) { now_ += by; }
  Micros Since(Clock::time_point start) const {
    return std::chrono::duration_cast<Micros>(now_ - start);
  }

 private:
  Clock::time_point now_{};
};

// Bytes or a datagram that arrive at a time after the request was sent.
struct Arrival {
  Micros at;
  Bytes bytes;
};

// How the fake platform's waits behave: to the microsecond, or returning
// early with nothing (a signal, a coarse system timer).
enum class Waits { kExact, kEarly };

// Plays the platform under a transport: hands out each arrival when the
// simulated clock reaches it, and lets time pass only inside its waits.
class Script {
 public:
  Script(SimulatedClock& clock, Waits waits, std::vector<Arrival> arrivals)
      : clock_(clock), waits_(waits), arrivals_(arrivals.begin(), arrivals.end()) {}

  void Sent() { sent_ = clock_.Now(); }

  // Waits at most `wait` for the next arrival; returns it or nothing.
  bool Next(Micros wait, Bytes& out) {
    const Micros now = clock_.Since(sent_);
    if (!arrivals_.empty() && arrivals_.front().at <= now + wait) {
      if (arrivals_.front().at > now) clock_.Advance(arrivals_.front().at - now);
      out = std::move(arrivals_.front().bytes);
      arrivals_.pop_front();
      return true;
    }
    clock_.Advance(waits_ == Waits::kEarly && wait > Micros(1) ? wait / 2 : wait);
    return false;
  }

  std::int32_t fail_with = kOk;  // a broken device or socket

 private:
  SimulatedClock& clock_;
  Waits waits_;
  std::deque<Arrival> arrivals_;
  Clock::time_point sent_{};
};

class FakePort final : public SerialPort {
 public:
  explicit FakePort(Script& script) : script_(script) {}
  std::int32_t SetBaud(std::int32_t) override { return kOk; }
  void DiscardInput() override {}
  std::int32_t Write(const std::uint8_t*, std::size_t size, Micros, std::size_t& written) override {
    script_.Sent();
    written = size;
    return kOk;
  }
  std::int32_t Read(std::uint8_t* buffer, std::size_t size, Micros wait,
                    std::size_t& got) override {
    got = 0;
    if (script_.fail_with != kOk) return script_.fail_with;
    Bytes bytes;
    if (!script_.Next(wait, bytes)) return kOk;
    got = std::min(size, bytes.size());
    std::copy_n(bytes.begin(), got, buffer);
    return kOk;
  }

 private:
  Script& script_;
};

class FakeSocket final : public DatagramSocket {
 public:
  explicit FakeSocket(Script& script) : script_(script) {}
  std::int32_t Send(const std::uint8_t*, std::size_t) override {
    script_.Sent();
    return kOk;
  }
  std::int32_t Receive(std::uint8_t* buffer, std::size_t size, Micros wait,
                       std::size_t& got) override {
    got = 0;
    if (script_.fail_with != kOk) return script_.fail_with;
    Bytes datagram;
    if (!script_.Next(wait, datagram)) return kOk;
    got = datagram.size();
    std::copy_n(datagram.begin(), std::min(size, datagram.size()), buffer);
    return kOk;
  }

 private:
  Script& script_;
};

constexpr std::uint8_t kAddress = 5;
constexpr std::uint8_t kFirstSerialSequence = 40;  // the first request carries 41
constexpr std::uint16_t kFirstUdpSequence = 700;   // the first request carries 701

Bytes SerialAnswer(std::uint8_t sequence, std::uint8_t address = kAddress) {
  qm90::Answer answer;
  answer.address = address;
  answer.sequence = sequence;
  answer.d[3] = 0x42;
  return qm90::EncodeAnswer(answer);
}

Bytes UdpAnswer(std::uint16_t sequence, std::uint8_t address = kAddress) {
  qm90::Answer answer;
  answer.address = address;
  answer.d[3] = 0x42;
  return qm90::EncodeUdpAnswer(answer, sequence);
}

// The frame with one bit of its body flipped: its CRC no longer fits.
Bytes Damaged(Bytes frame) {
  if (frame.size() > 4) frame[frame.size() / 2] ^= 0x01;
  return frame;
}

Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t to) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
               bytes.begin() + static_cast<std::ptrdiff_t>(std::min(to, bytes.size())));
}

struct Outcome {
  std::int32_t code;
  Micros took;
  std::uint8_t d3;
};

Outcome Exchange(const OpenedLink& link, SimulatedClock& clock) {
  qm90::Request request;
  request.address = kAddress;
  request.command = 33;
  qm90::Answer answer;
  const Clock::time_point start = clock.Now();
  const std::int32_t code = link.transport->exchange(link.context, request, answer);
  return {code, clock.Since(start), answer.d[3]};
}

TEST(SerialTransport, EndsEachWaitExactlyAndTakesOnlyItsAnswer) {
  const LinkSettings settings{9600, 4, 13};
  const SerialWaits waits = SerialAnswerWaits(settings.baud, settings.timing);
  const Micros first = waits.first_byte;
  const Micros whole = waits.whole_answer;
  const std::uint8_t ours = kFirstSerialSequence + 1;
  const Bytes answer = SerialAnswer(ours);
  struct Case {
    const char* name;
    Waits waits;
    std::vector<Arrival> line;
    std::int32_t code;
    Micros took;  // zero: not checked (the answer's time)
  };
  const Case cases[] = {
      {"silence", Waits::kExact, {}, kTimeout, first},
      {"silence, early waits", Waits::kEarly, {}, kTimeout, first},
      {"one stray byte", Waits::kExact, {{Micros(500), {0x17}}}, kDamagedAnswer, whole},
      {"one stray byte, early waits",
       Waits::kEarly,
       {{Micros(500), {0x17}}},
       kDamagedAnswer,
       whole},
      {"the answer in one piece", Waits::kExact, {{Micros(2000), answer}}, kOk, Micros(2000)},
      {"the answer in three pieces, the last at the bound",
       Waits::kEarly,
       {{first - Micros(1), Slice(answer, 0, 3)},
        {first + Micros(5), Slice(answer, 3, 6)},
        {whole, Slice(answer, 6, answer.size())}},
       kOk,
       whole},
      {"the answer's last byte after the bound",
       Waits::kExact,
       {{Micros(1000), Slice(answer, 0, answer.size() - 1)},
        {whole + Micros(1), Slice(answer, answer.size() - 1, answer.size())}},
       kDamagedAnswer,
       whole},
      {"the first byte just after the first wait",
       Waits::kExact,
       {{first + Micros(1), answer}},
       kTimeout,
       first},
      {"an earlier request's answer, then ours",
       Waits::kExact,
       {{Micros(100), SerialAnswer(ours - 1)}, {Micros(3000), answer}},
       kOk,
       Micros(3000)},
      {"another module's answer only",
       Waits::kExact,
       {{Micros(100), SerialAnswer(ours, kAddress + 1)}},
       kTimeout,
       whole},
      {"a damaged answer only",
       Waits::kExact,
       {{Micros(100), Damaged(answer)}},
       kDamagedAnswer,
       whole},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedClock clock;
    Script script(clock, c.waits, c.line);
    const OpenedLink link =
        OpenSerialOver(std::make_unique<FakePort>(script), clock, kFirstSerialSequence);
    ASSERT_EQ(link.transport->configure(link.context, settings), kOk);
    const Outcome outcome = Exchange(link, clock);
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_EQ(outcome.took.count(), c.took.count());
    if (c.code == kOk) {
      EXPECT_EQ(outcome.d3, 0x42);
    }
    link.transport->close(link.context);
  }
}

TEST(SerialTransport, ABrokenDeviceEndsTheExchangeAtOnce) {
  SimulatedClock clock;
  Script script(clock, Waits::kExact, {});
  script.fail_with = kPortReadFailed;
  const OpenedLink link =
      OpenSerialOver(std::make_unique<FakePort>(script), clock, kFirstSerialSequence);
  const Outcome outcome = Exchange(link, clock);
  EXPECT_EQ(outcome.code, kPortReadFailed);
  EXPECT_EQ(outcome.took.count(), 0);
  link.transport->close(link.context);
}

TEST(UdpTransport, EndsTheWaitExactlyAndTakesOnlyItsAnswer) {
  constexpr std::int32_t kTimeoutMs = 7;
  const LinkSettings settings{115200, 8, 13};
  const Micros wait = UdpAnswerWait(kTimeoutMs, settings.baud);
  const std::uint16_t ours = kFirstUdpSequence + 1;
  const Bytes answer = UdpAnswer(ours);
  struct Case {
    const char* name;
    Waits waits;
    std::vector<Arrival> datagrams;
    std::int32_t code;
    Micros took;
  };
  const Case cases[] = {
      {"silence", Waits::kExact, {}, kTimeout, wait},
      {"silence, early waits", Waits::kEarly, {}, kTimeout, wait},
      {"the answer", Waits::kExact, {{Micros(900), answer}}, kOk, Micros(900)},
      {"the answer at the bound", Waits::kEarly, {{wait, answer}}, kOk, wait},
      {"the answer after the bound", Waits::kExact, {{wait + Micros(1), answer}}, kTimeout, wait},
      {"a stale answer, then ours",
       Waits::kExact,
       {{Micros(10), UdpAnswer(ours - 1)}, {Micros(20), answer}},
       kOk,
       Micros(20)},
      {"a stale answer only", Waits::kExact, {{Micros(10), UdpAnswer(ours - 1)}}, kTimeout, wait},
      {"a damaged answer, then ours",
       Waits::kExact,
       {{Micros(10), Damaged(answer)}, {Micros(30), answer}},
       kOk,
       Micros(30)},
      {"a damaged answer only",
       Waits::kExact,
       {{Micros(10), Damaged(answer)}},
       kDamagedAnswer,
       wait},
      {"an over-long datagram starting with the answer",
       Waits::kExact,
       {{Micros(10),
         [&] {
           Bytes longer = answer;
           longer.resize(600, 0);
           return longer;
         }()}},
       kTimeout,
       wait},
      {"an empty datagram", Waits::kExact, {{Micros(10), {}}}, kTimeout, wait},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedClock clock;
    Script script(clock, c.waits, c.datagrams);
    const OpenedLink link =
        OpenUdpOver(std::make_unique<FakeSocket>(script), clock, kTimeoutMs, kFirstUdpSequence);
    ASSERT_EQ(link.transport->configure(link.context, settings), kOk);
    const Outcome outcome = Exchange(link, clock);
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_EQ(outcome.took.count(), c.took.count());
    if (c.code == kOk) {
      EXPECT_EQ(outcome.d3, 0x42);
    }
    link.transport->close(link.context);
  }
}

// A second answer to the same request (two modules at one address) is counted
// when the caller asked the link to listen: already there behind the first,
// or come within the time asked for. Without that nothing is looked at.
TEST(UdpTransport, CountsSecondAnswersOnlyWhenAskedToListen) {
  const std::uint16_t ours = kFirstUdpSequence + 1;
  const Bytes answer = UdpAnswer(ours);
  constexpr Micros kListen(2000);
  struct Case {
    const char* name;
    std::vector<Arrival> datagrams;
    Micros listen;
    std::int32_t answers;
    Micros took;  // the exchange and the count together
  };
  const Case cases[] = {
      {"not asked", {{Micros(900), answer}, {Micros(900), answer}}, Micros(0), 0, Micros(900)},
      {"one answer", {{Micros(900), answer}}, kListen, 1, Micros(2900)},
      {"two at once", {{Micros(900), answer}, {Micros(900), answer}}, kListen, 2, Micros(2900)},
      {"the second within the time",
       {{Micros(900), answer}, {Micros(950), answer}},
       kListen,
       2,
       Micros(2900)},
      {"the second too late",
       {{Micros(900), answer}, {Micros(3000), answer}},
       kListen,
       1,
       Micros(2900)},
      {"a stale one and another module's behind",
       {{Micros(900), answer},
        {Micros(900), UdpAnswer(ours - 1)},
        {Micros(900), UdpAnswer(ours, kAddress + 1)}},
       kListen,
       1,
       Micros(2900)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedClock clock;
    Script script(clock, Waits::kExact, c.datagrams);
    const OpenedLink link =
        OpenUdpOver(std::make_unique<FakeSocket>(script), clock, 7, kFirstUdpSequence);
    const Clock::time_point start = clock.Now();
    EXPECT_EQ(Exchange(link, clock).code, kOk);
    EXPECT_EQ(link.transport->answers(link.context, c.listen), c.answers);
    EXPECT_EQ(clock.Since(start).count(), c.took.count());
    link.transport->close(link.context);
  }
}

// The Init block's address text: what the system's IPv4 parser takes, and
// nothing read past a sane length.
TEST(UdpTransport, OpenChecksTheInitBlock) {
  struct Case {
    const char* ip;
    std::intptr_t port, timeout_ms;
    std::int32_t code;
  };
  const std::string endless(4096, '1');
  const Case cases[] = {
      {"1.2.3", 1, 0, kInvalidIpAddress},     {"1.2.3.4.5", 1, 0, kInvalidIpAddress},
      {"256.1.1.1", 1, 0, kInvalidIpAddress}, {"01.1.1.1", 1, 0, kInvalidIpAddress},
      {"1.2.3.4 ", 1, 0, kInvalidIpAddress},  {"", 1, 0, kInvalidIpAddress},
      {nullptr, 1, 0, kInvalidIpAddress},     {endless.c_str(), 1, 0, kInvalidIpAddress},
      {"127.0.0.1", 0, 0, kUdpPortRange},     {"127.0.0.1", 65536, 0, kUdpPortRange},
      {"127.0.0.1", 1, -1, kUdpTimeoutRange}, {"127.0.0.1", 1, 65536, kUdpTimeoutRange},
      {"1.2.3.4x", 0, 0, kInvalidIpAddress},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ip == nullptr ? "null" : std::string(c.ip).substr(0, 20));
    const std::intptr_t block[16] = {reinterpret_cast<std::intptr_t>(c.ip), c.port, c.timeout_ms};
    OpenedLink link;
    EXPECT_EQ(OpenUdp(block, link), c.code);
    EXPECT_EQ(link.transport, nullptr);
  }
}

}  // namespace
}  // namespace drvtest
