// The messages between the binding and qm90-drvhost over its pipe pair: one
// request, one answer, each a 32-bit length (little-endian) and that many
// bytes. docs/protocol.md describes every field. Used by both sides; every
// read is checked against the message's end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hostproto {

enum Call : std::uint8_t {
  kLoad = 1,
  kInit = 2,
  kSetConfig = 3,
  kSend = 4,
  kDone = 5,
  kError = 6,
};

// Outcome of kLoad.
enum LoadOutcome : std::int32_t { kLoaded = 0, kCannotLoad = 1, kEntryMissing = 2 };

// Flags of the pointer arguments that were null (the callee sees null too).
enum NullFlags : std::uint8_t {
  kNullRequest = 1,
  kNullAnswer = 2,
  kNullReturned = 4,
  kNullStatus = 8,
  kNullHandle = 16,
  kNullText = 32,
};

inline constexpr std::size_t kLengthSize = 4;
inline constexpr std::size_t kLongestMessage = 70000;  // a path of up to 65535 bytes and the rest

class Writer {
 public:
  Writer& U8(std::uint8_t value);
  Writer& U16(std::uint16_t value);
  Writer& I32(std::int32_t value);
  Writer& I64(std::int64_t value);
  Writer& Slots(const std::int32_t* slots, int count);  // zeros for a null buffer
  Writer& Text(const std::string& text);                // 16-bit length, then the bytes
  // The whole message: length, then the bytes written.
  std::vector<std::uint8_t> Message() const;

 private:
  std::vector<std::uint8_t> bytes_;
};

class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t U8();
  std::uint16_t U16();
  std::int32_t I32();
  std::int64_t I64();
  void Slots(std::int32_t* slots, int count);
  std::string Text();
  // True while every read stayed inside the message.
  bool Ok() const { return ok_; }
  // True when the message was read to its very end.
  bool Done() const { return ok_ && at_ == size_; }

 private:
  bool Take(std::size_t count);
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

// Length field of a message; false when it is beyond kLongestMessage.
bool ParseLength(const std::uint8_t* four_bytes, std::size_t& length);

}  // namespace hostproto
