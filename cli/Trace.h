// Texts of time stamps and of the --trace line.
#pragma once

#include <chrono>
#include <string>

#include "cli/ModuleAccess.h"

namespace qm90cli {

// Local time of day with microseconds: "14:03:07.123456".
std::string TimeOfDay(std::chrono::system_clock::time_point when);
// Local date and time with milliseconds and offset: "2026-12-09T14:03:07.123+0100".
std::string IsoTimestamp(std::chrono::system_clock::time_point when);

// One exchange in one line:
// "14:03:07.123456 addr 1 cmd 0 sub 64 sent 00 00 00 00 00 -> status 0 recv 00 A5 00 00 00 412 us"
std::string TraceLine(const ExchangeRecord& record);

}  // namespace qm90cli
