// A UDP socket as the platform gives it: open (connected to one peer), send,
// receive, close. A receive waits at most the time it is handed and may
// return sooner; the UDP transport keeps the deadline.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "drivers/Timing.h"

namespace qm90drivers {

class DatagramSocket {
 public:
  virtual ~DatagramSocket() = default;  // closes the socket

  // Sends one datagram; a code (kOk, kSocketError).
  virtual std::int32_t Send(const std::uint8_t* bytes, std::size_t size) = 0;
  // Receives one datagram within `wait`. `got` is its length, more than `size`
  // when it did not fit (its start is in `buffer`), and 0 when none came. A
  // wait of 0 takes only a datagram that is already there. A refusal reported
  // for an earlier datagram counts as none. A code (kOk, kSocketError).
  virtual std::int32_t Receive(std::uint8_t* buffer, std::size_t size, Micros wait,
                               std::size_t& got) = 0;
};

// A socket that exchanges datagrams only with `ip`:`port`; a code (kOk,
// kSocketError) and `out` on success.
std::int32_t OpenDatagramSocket(const std::array<std::uint8_t, 4>& ip, std::uint16_t port,
                                std::unique_ptr<DatagramSocket>& out);

}  // namespace qm90drivers
