// Status codes the program keeps for itself. They share one number space with
// the codes a driver library returns (a window shows either through the
// library's Error text), so no library may return them.
#pragma once

#include <cstdint>

namespace qm90codes {

inline constexpr std::int32_t kReadBackMismatch = 9;  // a register read back differs
inline constexpr std::int32_t kNotBound = 10;         // no library bound, or an entry missing

constexpr bool IsReserved(std::int32_t code) {
  return code == kReadBackMismatch || code == kNotBound;
}

}  // namespace qm90codes
