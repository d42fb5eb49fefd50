#include "protocol/Frame.h"

#include <algorithm>

namespace qm90 {

namespace {

constexpr std::size_t kRequestBody = 10;  // start, address, sequence, command, sub-code, d0..d4
constexpr std::size_t kAnswerBody = 9;    // start, address, sequence, status, d0..d4
constexpr std::size_t kAddressAt = 1;
constexpr std::size_t kSequenceAt = 2;
constexpr std::size_t kCrcSize = 2;
constexpr std::size_t kSequenceSize = 2;
constexpr std::size_t kUdpRequestHeader = kSequenceSize + 1;  // + baud index
constexpr std::size_t kScannerLimit = 64;

void AppendCrc(std::vector<std::uint8_t>& frame) {
  const std::uint16_t crc = Crc16(frame.data(), frame.size());
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

// Length, start byte and CRC of one frame of exactly frame_size bytes.
Decode CheckFrame(const std::uint8_t* data, std::size_t size, std::size_t frame_size,
                  std::uint8_t start) {
  if (data == nullptr || size < frame_size) return Decode::kShort;
  if (size > frame_size) return Decode::kBadLength;
  if (data[0] != start) return Decode::kBadMarker;
  const std::size_t body = frame_size - kCrcSize;
  const std::uint16_t received = static_cast<std::uint16_t>(data[body] | (data[body + 1] << 8));
  if (Crc16(data, body) != received) return Decode::kBadCrc;
  return Decode::kOk;
}

void PutSequence(std::vector<std::uint8_t>& out, std::uint16_t sequence) {
  out.push_back(static_cast<std::uint8_t>(sequence >> 8));
  out.push_back(static_cast<std::uint8_t>(sequence & 0xFF));
}

std::uint16_t GetSequence(const std::uint8_t* data) {
  return static_cast<std::uint16_t>((data[0] << 8) | data[1]);
}

std::uint8_t LowByte(std::uint16_t sequence) {
  return static_cast<std::uint8_t>(sequence & 0xFF);
}

}  // namespace

std::uint16_t Crc16(const std::uint8_t* data, std::size_t size) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                      : static_cast<std::uint16_t>(crc >> 1);
    }
  }
  return crc;
}

std::size_t RequestFrameSize() {
  return kRequestBody + kCrcSize;
}
std::size_t AnswerFrameSize() {
  return kAnswerBody + kCrcSize;
}

std::vector<std::uint8_t> EncodeRequest(const Request& request) {
  std::vector<std::uint8_t> frame{kRequestStart, request.address, request.sequence, request.command,
                                  request.subcode};
  frame.insert(frame.end(), std::begin(request.d), std::end(request.d));
  AppendCrc(frame);
  return frame;
}

std::vector<std::uint8_t> EncodeAnswer(const Answer& answer) {
  std::vector<std::uint8_t> frame{kAnswerStart, answer.address, answer.sequence, answer.status};
  frame.insert(frame.end(), std::begin(answer.d), std::end(answer.d));
  AppendCrc(frame);
  return frame;
}

Decode DecodeRequest(const std::uint8_t* data, std::size_t size, Request& out) {
  const Decode check = CheckFrame(data, size, RequestFrameSize(), kRequestStart);
  if (check != Decode::kOk) return check;
  out.address = data[kAddressAt];
  out.sequence = data[kSequenceAt];
  out.command = data[3];
  out.subcode = data[4];
  std::copy(data + 5, data + 10, out.d);
  return Decode::kOk;
}

Decode DecodeAnswer(const std::uint8_t* data, std::size_t size, std::uint8_t expected_address,
                    std::uint8_t expected_sequence, Answer& out) {
  const Decode check = CheckFrame(data, size, AnswerFrameSize(), kAnswerStart);
  if (check != Decode::kOk) return check;
  if (data[kAddressAt] != expected_address) return Decode::kBadAddress;
  if (data[kSequenceAt] != expected_sequence) return Decode::kBadSequence;
  out.address = data[kAddressAt];
  out.sequence = data[kSequenceAt];
  out.status = data[3];
  std::copy(data + 4, data + 9, out.d);
  return Decode::kOk;
}

std::size_t UdpRequestSize() {
  return kUdpRequestHeader + RequestFrameSize();
}
std::size_t UdpAnswerSize() {
  return kSequenceSize + AnswerFrameSize();
}

std::vector<std::uint8_t> EncodeUdpRequest(const Request& request, std::uint16_t sequence,
                                           std::uint8_t baud_index) {
  std::vector<std::uint8_t> datagram;
  datagram.reserve(UdpRequestSize());
  PutSequence(datagram, sequence);
  datagram.push_back(baud_index);
  Request inner = request;
  inner.sequence = LowByte(sequence);
  const std::vector<std::uint8_t> frame = EncodeRequest(inner);
  datagram.insert(datagram.end(), frame.begin(), frame.end());
  return datagram;
}

std::vector<std::uint8_t> EncodeUdpAnswer(const Answer& answer, std::uint16_t sequence) {
  std::vector<std::uint8_t> datagram;
  datagram.reserve(UdpAnswerSize());
  PutSequence(datagram, sequence);
  Answer inner = answer;
  inner.sequence = LowByte(sequence);
  const std::vector<std::uint8_t> frame = EncodeAnswer(inner);
  datagram.insert(datagram.end(), frame.begin(), frame.end());
  return datagram;
}

Decode DecodeUdpRequest(const std::uint8_t* data, std::size_t size, Request& out,
                        std::uint16_t& sequence, std::uint8_t& baud_index) {
  if (data == nullptr || size < UdpRequestSize()) return Decode::kShort;
  if (size > UdpRequestSize()) return Decode::kBadLength;
  Request request;
  const Decode frame = DecodeRequest(data + kUdpRequestHeader, RequestFrameSize(), request);
  if (frame != Decode::kOk) return frame;
  if (request.sequence != LowByte(GetSequence(data))) return Decode::kBadSequence;
  out = request;
  sequence = GetSequence(data);
  baud_index = data[kSequenceSize];
  return Decode::kOk;
}

Decode DecodeUdpAnswer(const std::uint8_t* data, std::size_t size, std::uint8_t expected_address,
                       std::uint16_t expected_sequence, Answer& out) {
  if (data == nullptr || size < UdpAnswerSize()) return Decode::kShort;
  if (size > UdpAnswerSize()) return Decode::kBadLength;
  const Decode check =
      CheckFrame(data + kSequenceSize, AnswerFrameSize(), AnswerFrameSize(), kAnswerStart);
  if (check != Decode::kOk) return check;
  if (GetSequence(data) != expected_sequence) return Decode::kBadSequence;
  return DecodeAnswer(data + kSequenceSize, AnswerFrameSize(), expected_address,
                      LowByte(expected_sequence), out);
}

const char* DecodeName(Decode result) {
  switch (result) {
    case Decode::kOk:
      return "ok";
    case Decode::kShort:
      return "short";
    case Decode::kBadLength:
      return "bad length";
    case Decode::kBadMarker:
      return "bad start byte";
    case Decode::kBadCrc:
      return "bad CRC";
    case Decode::kBadAddress:
      return "wrong address";
    case Decode::kBadSequence:
      return "wrong sequence";
  }
  return "unknown";
}

void StreamScanner::Feed(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size == 0) return;
  // Only the newest bytes can belong to a frame still in flight.
  if (size >= kScannerLimit) {
    noise_ += buffer_.size() + (size - kScannerLimit);
    buffer_.assign(data + (size - kScannerLimit), data + size);
    return;
  }
  buffer_.insert(buffer_.end(), data, data + size);
  if (buffer_.size() > kScannerLimit) {
    const std::size_t excess = buffer_.size() - kScannerLimit;
    noise_ += excess;
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(excess));
  }
}

std::size_t StreamScanner::Room() const {
  return buffer_.size() < kScannerLimit ? kScannerLimit - buffer_.size() : 0;
}

namespace {

// After a drain fewer bytes than one frame are left, so there is always room.
template <typename Next>
bool FeedInPieces(StreamScanner& scanner, const std::uint8_t* data, std::size_t size,
                  std::size_t& used, Next next) {
  used = 0;
  while (used < size) {
    const std::size_t piece = std::min(size - used, std::max<std::size_t>(scanner.Room(), 1));
    scanner.Feed(data + used, piece);
    used += piece;
    if (next()) return true;
  }
  return false;
}

}  // namespace

bool StreamScanner::FindAnswer(const std::uint8_t* data, std::size_t size,
                               std::uint8_t expected_address, std::uint8_t expected_sequence,
                               Answer& out, std::size_t& used) {
  if (NextAnswer(expected_address, expected_sequence, out)) {
    used = 0;
    return true;
  }
  if (data == nullptr) size = 0;
  return FeedInPieces(*this, data, size, used,
                      [&] { return NextAnswer(expected_address, expected_sequence, out); });
}

bool StreamScanner::FindRequest(const std::uint8_t* data, std::size_t size, Request& out,
                                std::size_t& used) {
  if (NextRequest(out)) {
    used = 0;
    return true;
  }
  if (data == nullptr) size = 0;
  return FeedInPieces(*this, data, size, used, [&] { return NextRequest(out); });
}

// Drops bytes up to the next start byte; true when a whole frame may follow.
bool StreamScanner::AlignTo(std::uint8_t start, std::size_t frame_size) {
  const auto found = std::find(buffer_.begin(), buffer_.end(), start);
  noise_ += static_cast<std::size_t>(found - buffer_.begin());
  buffer_.erase(buffer_.begin(), found);
  return buffer_.size() >= frame_size;
}

void StreamScanner::Consume(std::size_t count) {
  buffer_.erase(buffer_.begin(),
                buffer_.begin() + static_cast<std::ptrdiff_t>(std::min(count, buffer_.size())));
}

bool StreamScanner::NextRequest(Request& out) {
  const std::size_t frame_size = RequestFrameSize();
  while (AlignTo(kRequestStart, frame_size)) {
    if (DecodeRequest(buffer_.data(), frame_size, out) == Decode::kOk) {
      Consume(frame_size);
      return true;
    }
    ++noise_;
    Consume(1);  // a start byte inside noise: look for the next one
  }
  return false;
}

bool StreamScanner::NextAnswer(std::uint8_t expected_address, std::uint8_t expected_sequence,
                               Answer& out) {
  const std::size_t frame_size = AnswerFrameSize();
  while (AlignTo(kAnswerStart, frame_size)) {
    const Decode result =
        DecodeAnswer(buffer_.data(), frame_size, expected_address, expected_sequence, out);
    if (result == Decode::kOk) {
      Consume(frame_size);
      return true;
    }
    // A sound frame of another module or another request is skipped whole,
    // noise byte by byte.
    if (result == Decode::kBadAddress || result == Decode::kBadSequence) {
      Consume(frame_size);
    } else {
      ++noise_;
      Consume(1);
    }
  }
  return false;
}

}  // namespace qm90
