// SHA-256 of a text, as lower-case hex: what a report prints so that a later
// change to its file shows.
#pragma once

#include <string>
#include <string_view>

namespace qm90commission {

std::string Sha256Hex(std::string_view data);

}  // namespace qm90commission
