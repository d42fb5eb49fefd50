// What the shared library code needs of one transport: a small set of
// functions over an opaque context, filled in by the transport's open function.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "drivers/Timing.h"
#include "protocol/Frame.h"

namespace qm90drivers {

// Line settings after SetConfig (before it: 9600 Bd, index 4, timing 13).
struct LinkSettings {
  std::int32_t baud = 9600;
  std::uint8_t baud_index = 4;
  std::int32_t timing = 13;
};

struct Transport {
  // Applies new line settings; returns a code.
  std::int32_t (*configure)(void* context, const LinkSettings& settings);
  // One request and its answer; returns a code (kOk with the answer filled,
  // whatever status the module gave).
  std::int32_t (*exchange)(void* context, const qm90::Request& request, qm90::Answer& answer);
  // Closes the port or socket and frees the context.
  void (*close)(void* context);
  // After a successful exchange: how many answers came to it (two modules at
  // one address both answering), counting those already there and those that
  // come within `listen`; 0 without `listen` (nothing looked at); null when
  // the transport cannot tell.
  std::int32_t (*answers)(void* context, Micros listen) = nullptr;
};

struct OpenedLink {
  const Transport* transport = nullptr;
  void* context = nullptr;
};

// One open function per transport file; each returns a code and fills `out`
// only on success.
std::int32_t OpenSerial(std::int32_t com_number, OpenedLink& out);
std::int32_t OpenUdp(const std::intptr_t* block, OpenedLink& out);
std::int32_t OpenInProcess(const char* library_name, OpenedLink& out);

// The serial and UDP transports over a port or socket already open, waiting by
// `clock`, which must outlive the link. The open functions above use them with
// the platform's port or socket and the steady clock; tests with their own.
class SerialPort;
class DatagramSocket;
OpenedLink OpenSerialOver(std::unique_ptr<SerialPort> port, const WaitClock& clock,
                          std::uint8_t first_sequence);
OpenedLink OpenUdpOver(std::unique_ptr<DatagramSocket> socket, const WaitClock& clock,
                       std::int32_t timeout_ms, std::uint16_t first_sequence);

// A first sequence number unlike the last link's: from the clock and `salt`
// (an address that differs between processes).
std::uint32_t FirstSequence(const void* salt);

}  // namespace qm90drivers
