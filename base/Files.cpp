#include "base/Files.h"

#include <chrono>
#include <random>

namespace base {
namespace {
constexpr std::string_view kTempInfix = ".qm90-save-";
constexpr std::string_view kTempSuffix = ".tmp";
constexpr std::size_t kTempDigits = 16;
}  // namespace

std::string TempFileName(const std::string& target_name, std::uint64_t random) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name = target_name;
  name += kTempInfix;
  for (int shift = 60; shift >= 0; shift -= 4) name += kHex[(random >> shift) & 0xF];
  name += kTempSuffix;
  return name;
}

bool IsTempFileName(const std::string& target_name, const std::string& candidate) {
  const std::size_t prefix = target_name.size() + kTempInfix.size();
  if (candidate.size() != prefix + kTempDigits + kTempSuffix.size()) return false;
  if (candidate.compare(0, target_name.size(), target_name) != 0 ||
      candidate.compare(target_name.size(), kTempInfix.size(), kTempInfix) != 0 ||
      candidate.compare(prefix + kTempDigits, kTempSuffix.size(), kTempSuffix) != 0)
    return false;
  for (std::size_t i = prefix; i < prefix + kTempDigits; ++i) {
    const char c = candidate[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::uint64_t RandomNumber() {
  static std::uint64_t counter = 0;
  const auto now =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::uint64_t mixed = (now + ++counter) * 0x9E3779B97F4A7C15ull;
  try {
    static std::random_device device;
    const std::uint64_t high = device();
    mixed ^= (high << 32) | device();
  } catch (...) {
    // No entropy source: the clock and the counter still keep names apart,
    // and the exclusive creation catches any collision.
  }
  return mixed;
}

}  // namespace base
