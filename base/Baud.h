// The nine line speeds of the module and the timing value each is configured
// with. Index = position in every speed list (600 Bd first).
#pragma once

#include <cstdint>

namespace base {

inline constexpr int kBaudCount = 9;
inline constexpr std::int32_t kBaudRates[kBaudCount] = {600,   1200,  2400,  4800,  9600,
                                                        19200, 38400, 57600, 115200};
inline constexpr std::int32_t kBaudTimings[kBaudCount] = {100, 100, 50, 25, 13, 7, 5, 5, 5};

// 9600 Bd: what a module leaves the factory with and what a link starts at.
inline constexpr std::uint8_t kDefaultBaudIndex = 4;
inline constexpr std::uint8_t kHighestBaudIndex = kBaudCount - 1;

constexpr bool IsBaudIndex(int index) {
  return index >= 0 && index <= kHighestBaudIndex;
}

// Position of a rate in the list, -1 when it is none of the nine.
constexpr int BaudIndexOf(std::int32_t baud) {
  for (int i = 0; i < kBaudCount; ++i)
    if (kBaudRates[i] == baud) return i;
  return -1;
}

}  // namespace base
