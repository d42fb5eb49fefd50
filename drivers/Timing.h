// How long the transports wait for an answer, and deadlines that never end
// early. Shared by every transport file so the waits are the same on every
// platform; drivers/README.md explains each wait and why.
#pragma once

#include <chrono>
#include <cstdint>

#include "protocol/Frame.h"

namespace qm90drivers {

using Clock = std::chrono::steady_clock;
using Micros = std::chrono::microseconds;

// A module starts its answer within this time of the request's last byte
// (qm90-sim keeps to it as well).
inline constexpr int kModuleTurnaroundMs = 3;
inline constexpr int kBitsPerByte = 10;  // start, eight data bits, stop

// Time `bytes` take on the line at `baud`, rounded up to whole microseconds.
constexpr Micros LineTime(std::int64_t bytes, std::int32_t baud) {
  const std::int64_t bits = bytes * kBitsPerByte * 1000000;
  return Micros((bits + baud - 1) / baud);
}

// The two waits of a serial exchange, both counted from the moment the request
// is handed to the port. No byte by first_byte: the module is silent. A byte by
// then: the answer must be whole by whole_answer.
struct SerialWaits {
  Micros first_byte;
  Micros whole_answer;
};

// `allowance_ms` is SetConfig's timing value: how much later than the line and
// the module's turnaround allow the bytes may reach us (adapter buffering,
// scheduling).
inline SerialWaits SerialAnswerWaits(std::int32_t baud, std::int32_t allowance_ms) {
  const Micros allowance = std::chrono::milliseconds(allowance_ms);
  const Micros first = LineTime(static_cast<std::int64_t>(qm90::RequestFrameSize()) + 1, baud) +
                       std::chrono::milliseconds(kModuleTurnaroundMs) + allowance;
  const Micros rest =
      LineTime(static_cast<std::int64_t>(qm90::AnswerFrameSize()) - 1, baud) + allowance;
  return {first, first + rest};
}

// Over UDP the answer comes in one datagram: the time-out given at Init covers
// the network, and the converter's relay on its serial side (request,
// turnaround, answer at the rate in force) comes on top.
inline Micros UdpAnswerWait(std::int32_t timeout_ms, std::int32_t baud) {
  const auto frames = static_cast<std::int64_t>(qm90::RequestFrameSize() + qm90::AnswerFrameSize());
  // Whole milliseconds, so that the socket's receive time-out is armed once.
  return std::chrono::ceil<std::chrono::milliseconds>(
      std::chrono::milliseconds(timeout_ms + kModuleTurnaroundMs) + LineTime(frames, baud));
}

// Where the transports take the time of their waits from: the system's
// steady clock in the libraries, a simulated one in tests.
class WaitClock {
 public:
  virtual ~WaitClock() = default;
  virtual Clock::time_point Now() const = 0;
};

// The system's steady clock.
const WaitClock& SteadyClock();

// Time left until a deadline; zero or less once it has passed.
inline Micros TimeLeft(const WaitClock& clock, Clock::time_point deadline) {
  return std::chrono::ceil<Micros>(deadline - clock.Now());
}

// Whole milliseconds, rounded up, so that a system wait of this length never
// ends before `wait`; at least 1.
inline int CeilMilliseconds(Micros wait) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
  return ms > 0 ? static_cast<int>(ms) : 1;
}

}  // namespace qm90drivers
