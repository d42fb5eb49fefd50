// The QM-90 wire frame, shared by the driver libraries and the module emulator.
// Request: address, sequence, command, sub-code, d0..d4, CRC-16. Answer:
// address, sequence, status, d0..d4, CRC-16. The module echoes the request's
// sequence byte, so that a late answer cannot pass for the answer to a later
// request. On UDP each datagram also carries a 16-bit sequence number (whose
// low byte is the frame's sequence byte) and the baud index the converter
// relays at. Every decoder checks length before reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qm90 {

struct Request {
  std::uint8_t address = 0;
  std::uint8_t command = 0;
  std::uint8_t subcode = 0;
  std::uint8_t d[5] = {};
  std::uint8_t sequence = 0;  // set by the sender, echoed in the answer
};

// Answer status byte as the module sends it.
enum AnswerStatus : std::uint8_t {
  kAnswerOk = 0,
  kAnswerUnknownCommand = 1,   // NAK: command or sub-code not known
  kAnswerUnknownRegister = 2,  // NAK: register not known
  kAnswerBadValue = 3,         // NAK: value refused (e.g. baud index above 8)
  kAnswerNotStored = 4,        // NAK: the value could not be stored; the old one stands
};

struct Answer {
  std::uint8_t address = 0;
  std::uint8_t status = kAnswerOk;
  std::uint8_t d[5] = {};
  std::uint8_t sequence = 0;  // the request's, echoed
};

enum class Decode {
  kOk,
  kShort,      // fewer bytes than a frame
  kBadLength,  // more bytes than a frame (datagram) or a length field off
  kBadMarker,  // start byte or frame type wrong
  kBadCrc,
  kBadAddress,   // answer from another module
  kBadSequence,  // answer to another request, or UDP header and frame disagree
};

// First byte of every serial frame; different per direction so that a
// receiver on a shared line can tell requests from answers and resync.
inline constexpr std::uint8_t kRequestStart = 0xA5;
inline constexpr std::uint8_t kAnswerStart = 0x5A;

// CRC-16/MODBUS (poly 0xA001 reflected, init 0xFFFF), sent low byte first.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t size);

// Serial line frames. Encoders return the frame bytes.
std::vector<std::uint8_t> EncodeRequest(const Request& request);
std::vector<std::uint8_t> EncodeAnswer(const Answer& answer);
std::size_t RequestFrameSize();
std::size_t AnswerFrameSize();
Decode DecodeRequest(const std::uint8_t* data, std::size_t size, Request& out);
// Accepts only the answer of expected_address to the request that carried
// expected_sequence.
Decode DecodeAnswer(const std::uint8_t* data, std::size_t size, std::uint8_t expected_address,
                    std::uint8_t expected_sequence, Answer& out);

// UDP datagrams (LAN converter): sequence number and baud index in front of
// the serial frame. The encoders set the frame's sequence byte to the low
// byte of `sequence`; the decoders refuse a datagram where the two disagree.
std::vector<std::uint8_t> EncodeUdpRequest(const Request& request, std::uint16_t sequence,
                                           std::uint8_t baud_index);
std::vector<std::uint8_t> EncodeUdpAnswer(const Answer& answer, std::uint16_t sequence);
Decode DecodeUdpRequest(const std::uint8_t* data, std::size_t size, Request& out,
                        std::uint16_t& sequence, std::uint8_t& baud_index);
Decode DecodeUdpAnswer(const std::uint8_t* data, std::size_t size, std::uint8_t expected_address,
                       std::uint16_t expected_sequence, Answer& out);
std::size_t UdpRequestSize();
std::size_t UdpAnswerSize();

// Short English name of a decode result, for logs.
const char* DecodeName(Decode result);

// Finds frames in a serial byte stream: skips stray bytes and damaged frames,
// never reads past what it was fed. Bounded memory whatever the stream holds:
// only the newest 64 bytes are kept, so drain it after every Feed, or hand it
// a whole read through FindAnswer / FindRequest, which feed it in pieces it
// can hold.
class StreamScanner {
 public:
  void Feed(const std::uint8_t* data, std::size_t size);
  // Bytes Feed takes without pushing any out.
  std::size_t Room() const;
  // Feeds `size` bytes piece by piece, draining after each, and stops at the
  // first frame found; `used` tells how many of the bytes were taken (all of
  // them when none was found). A frame anywhere in the bytes is found.
  bool FindAnswer(const std::uint8_t* data, std::size_t size, std::uint8_t expected_address,
                  std::uint8_t expected_sequence, Answer& out, std::size_t& used);
  bool FindRequest(const std::uint8_t* data, std::size_t size, Request& out, std::size_t& used);
  bool NextRequest(Request& out);
  // Sound answers of another module or to another request are skipped whole.
  bool NextAnswer(std::uint8_t expected_address, std::uint8_t expected_sequence, Answer& out);
  void Clear() {
    buffer_.clear();
    noise_ = 0;
  }
  std::size_t Pending() const { return buffer_.size(); }
  // Bytes dropped since Clear that were not part of a sound frame: stray
  // bytes, damaged frames and bytes pushed out by the size bound.
  std::size_t NoiseBytes() const { return noise_; }

 private:
  bool AlignTo(std::uint8_t start, std::size_t frame_size);
  void Consume(std::size_t count);
  std::vector<std::uint8_t> buffer_;
  std::size_t noise_ = 0;
};

}  // namespace qm90
