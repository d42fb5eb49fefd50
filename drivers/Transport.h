// What the shared library code needs of one transport: a small set of
// functions over an opaque context, filled in by the transport's open function.
#pragma once

#include <chrono>
#include <cstdint>

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

}  // namespace qm90drivers
