#include "drivers/Transport.h"

namespace qm90drivers {
namespace {

class SystemSteadyClock final : public WaitClock {
 public:
  Clock::time_point Now() const override { return Clock::now(); }
};

}  // namespace

const WaitClock& SteadyClock() {
  static const SystemSteadyClock clock;
  return clock;
}

std::uint32_t FirstSequence(const void* salt) {
  const auto ticks = static_cast<std::uint64_t>(Clock::now().time_since_epoch().count());
  const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(salt));
  const std::uint64_t mixed = ticks ^ (ticks >> 16) ^ (address >> 4) ^ (address >> 20);
  return static_cast<std::uint32_t>(mixed ^ (mixed >> 32));
}

}  // namespace qm90drivers
