// The module's 32-bit status register: the bits that have a name. The rest
// are reserved and read as 0 on a module.
#pragma once

#include <array>
#include <cstdint>

namespace qm90status {

inline constexpr int kBits = 32;

inline constexpr std::uint32_t kFn = 1u << 1;
inline constexpr std::uint32_t kPrf = 1u << 2;
inline constexpr std::uint32_t kPwr = 1u << 4;  // set by the module at power-up
inline constexpr std::uint32_t kRst = 1u << 5;
inline constexpr std::uint32_t kErr24 = 1u << 6;

struct NamedBit {
  int bit;
  const char* name;
  bool settable;  // the emulator lets a tester set it (as a fault would)
};

inline constexpr std::array<NamedBit, 5> kNamedBits = {{
    {1, "FN", true},
    {2, "PRF", false},
    {4, "PWR", true},
    {5, "RST", false},
    {6, "ERR24", true},
}};

// The name of a status bit, nullptr for one that has none.
constexpr const char* BitName(int bit) {
  for (const NamedBit& named : kNamedBits)
    if (named.bit == bit) return named.name;
  return nullptr;
}

static_assert(kFn == 1u << kNamedBits[0].bit && kPrf == 1u << kNamedBits[1].bit &&
              kPwr == 1u << kNamedBits[2].bit && kRst == 1u << kNamedBits[3].bit &&
              kErr24 == 1u << kNamedBits[4].bit);

}  // namespace qm90status
