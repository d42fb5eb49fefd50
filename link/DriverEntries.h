// The binding's view of a driver library's entries: the shapes (declared once,
// in base/DriverEntries.h, for the libraries and the program alike), the entry
// words in the order they are resolved, and which Init shape a kind has.
#pragma once

#include <cstdint>

#include "base/DriverEntries.h"

namespace qblentry {

using InitParamFn = QblInitParamFn;
using InitPlainFn = QblInitPlainFn;
using InitBlockFn = QblInitBlockFn;
using SetConfigFn = QblSetConfigFn;
using SendFn = QblSendFn;
using DoneFn = QblDoneFn;
using ErrorFn = QblErrorFn;

inline constexpr const char* kEntryWords[7] = {"Version", "Init", "SetConfig", "GetConfig",
                                               "Send",    "Done", "Error"};
enum EntryIndex { kVersion, kInit, kSetConfig, kGetConfig, kSend, kDone, kError, kEntryCount };

// Which of the three Init shapes a kind's library has.
enum class InitShape : std::uint8_t { kParam = 0, kPlain = 1, kBlock = 2 };
constexpr InitShape InitShapeOf(std::uint8_t kind) {
  return kind <= 1 ? InitShape::kParam : kind == 4 ? InitShape::kBlock : InitShape::kPlain;
}

inline constexpr int kSlots = 100;         // a slot buffer
inline constexpr int kBlockSlots = 16;     // the Init block
inline constexpr int kLongestIpText = 64;  // carried to the host; the libraries take 40

}  // namespace qblentry
