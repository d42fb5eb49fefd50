// The entry types of a driver library. Every entry takes and returns 32-bit
// values, except the LAN converter's Init block whose slots are pointer-sized.
#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define QBL_CALL __stdcall
#elif defined(__i386__)
#define QBL_CALL __attribute__((stdcall))
#else
#define QBL_CALL
#endif

namespace qblentry {

using InitParamFn = std::int32_t(QBL_CALL*)(std::int32_t* handle, std::int32_t param);
using InitPlainFn = std::int32_t(QBL_CALL*)(std::int32_t* handle);
using InitBlockFn = std::int32_t(QBL_CALL*)(std::int32_t* handle, const std::intptr_t* block);
using SetConfigFn = std::int32_t(QBL_CALL*)(std::int32_t handle, std::int32_t baud,
                                            std::int32_t timing, std::int32_t mode);
using SendFn = std::int32_t(QBL_CALL*)(std::int32_t handle, std::int32_t* request,
                                       std::int32_t* answer, std::int32_t* returned,
                                       std::int32_t* status);
using DoneFn = std::int32_t(QBL_CALL*)(std::int32_t* handle);
using ErrorFn = std::int32_t(QBL_CALL*)(std::int32_t code, std::int32_t* text);

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
