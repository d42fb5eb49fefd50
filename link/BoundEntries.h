// The binding's view of a driver library's entries: the shapes (declared once,
// in base/DriverEntries.h, for the libraries and the program alike), the entry
// words in the order they are resolved, and which Init shape a kind has.
#pragma once

#include <cstdint>

#include "base/DriverEntries.h"

namespace qm90link {

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

// The three shapes of Init (after the address of the handle variable); the
// values travel to the driver host. Which kind has which: InterfaceKinds.h.
enum class InitShape : std::uint8_t {
  kParam = 0,  // one int32: InitBlock slot 0 (serial port number, ISA base address)
  kPlain = 1,  // nothing more
  kBlock = 2,  // the address of a copy of the 16-slot InitBlock
};

inline constexpr int kSlots = QBL_SLOTS;            // a slot buffer
inline constexpr int kBlockSlots = QBL_INIT_SLOTS;  // the Init block
inline constexpr int kLongestIpText = 64;           // carried to the host; the libraries take 40

}  // namespace qm90link
