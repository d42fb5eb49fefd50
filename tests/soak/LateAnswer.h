// At 9600 Bd: what a silent module costs (the shortest the driver waits), and
// a delay past the longest it waits once bytes came, yet short enough that
// the late answer lands while the next request waits. Over UDP QBL314 waits
// its time-out plus the relay; over the serial link QBL310 waits for the
// first byte of an answer, and once bytes came for the whole answer.
#pragma once

#include <chrono>

#include "drivers/Timing.h"
#include "link/Dekl.h"

namespace soak {

inline int CeilMs(std::chrono::microseconds wait) {
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
}

inline int AnswerTimeoutMs(bool udp, int udp_timeout_ms) {
  return CeilMs(udp ? qm90drivers::UdpAnswerWait(udp_timeout_ms, 9600)
                    : qm90drivers::SerialAnswerWaits(9600, TimingFromIndex(4)).first_byte);
}

inline int LateAnswerDelayMs(bool udp, int udp_timeout_ms) {
  const int longest =
      udp ? AnswerTimeoutMs(udp, udp_timeout_ms)
          : CeilMs(qm90drivers::SerialAnswerWaits(9600, TimingFromIndex(4)).whole_answer);
  return longest + AnswerTimeoutMs(udp, udp_timeout_ms) / 2;
}

}  // namespace soak
