// SHA-256 of a byte string, as lower-case hex: the fingerprint a backup's
// manifest keeps of each file, so that a later change to a file shows.
#pragma once

#include <string>
#include <string_view>

namespace commission {

std::string Sha256Hex(std::string_view bytes);

}  // namespace commission
