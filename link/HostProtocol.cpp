#include "link/HostProtocol.h"

namespace hostproto {

Writer& Writer::U8(std::uint8_t value) {
  bytes_.push_back(value);
  return *this;
}

Writer& Writer::U16(std::uint16_t value) {
  bytes_.push_back(static_cast<std::uint8_t>(value & 0xFF));
  bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
  return *this;
}

Writer& Writer::I32(std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8)
    bytes_.push_back(static_cast<std::uint8_t>((bits >> shift) & 0xFF));
  return *this;
}

Writer& Writer::I64(std::int64_t value) {
  const auto bits = static_cast<std::uint64_t>(value);
  for (int shift = 0; shift < 64; shift += 8)
    bytes_.push_back(static_cast<std::uint8_t>((bits >> shift) & 0xFF));
  return *this;
}

Writer& Writer::Slots(const std::int32_t* slots, int count) {
  for (int i = 0; i < count; ++i) I32(slots ? slots[i] : 0);
  return *this;
}

Writer& Writer::Text(const std::string& text) {
  const std::size_t size = text.size() > 0xFFFF ? 0xFFFF : text.size();
  U16(static_cast<std::uint16_t>(size));
  bytes_.insert(bytes_.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size));
  return *this;
}

std::vector<std::uint8_t> Writer::Message() const {
  std::vector<std::uint8_t> message;
  message.reserve(kLengthSize + bytes_.size());
  const auto size = static_cast<std::uint32_t>(bytes_.size());
  for (int shift = 0; shift < 32; shift += 8)
    message.push_back(static_cast<std::uint8_t>((size >> shift) & 0xFF));
  message.insert(message.end(), bytes_.begin(), bytes_.end());
  return message;
}

bool Reader::Take(std::size_t count) {
  if (!ok_ || size_ - at_ < count) {
    ok_ = false;
    return false;
  }
  return true;
}

std::uint8_t Reader::U8() {
  if (!Take(1)) return 0;
  return data_[at_++];
}

std::uint16_t Reader::U16() {
  if (!Take(2)) return 0;
  const auto value = static_cast<std::uint16_t>(data_[at_] | (data_[at_ + 1] << 8));
  at_ += 2;
  return value;
}

std::int32_t Reader::I32() {
  if (!Take(4)) return 0;
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = (bits << 8) | data_[at_ + static_cast<std::size_t>(i)];
  at_ += 4;
  return static_cast<std::int32_t>(bits);
}

std::int64_t Reader::I64() {
  if (!Take(8)) return 0;
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | data_[at_ + static_cast<std::size_t>(i)];
  at_ += 8;
  return static_cast<std::int64_t>(bits);
}

void Reader::Slots(std::int32_t* slots, int count) {
  for (int i = 0; i < count; ++i) {
    const std::int32_t value = I32();
    if (slots) slots[i] = value;
  }
}

std::string Reader::Text() {
  const std::size_t size = U16();
  if (!Take(size)) return {};
  std::string text(reinterpret_cast<const char*>(data_ + at_), size);
  at_ += size;
  return text;
}

bool ParseLength(const std::uint8_t* four_bytes, std::size_t& length) {
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = (bits << 8) | four_bytes[i];
  length = bits;
  return length <= kLongestMessage;
}

}  // namespace hostproto
