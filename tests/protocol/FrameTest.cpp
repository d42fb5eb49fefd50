#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "protocol/Frame.h"

namespace qm90 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Request SampleRequest(std::uint8_t address = 7) {
  Request request;
  request.address = address;
  request.command = 103;
  request.subcode = 0;
  request.d[0] = 0xA5;  // start bytes inside the payload must not confuse anyone
  request.d[1] = 63;
  request.d[2] = 63;
  request.d[3] = 0x5A;
  request.d[4] = 0xFF;
  request.sequence = 0xA5;
  return request;
}

Answer SampleAnswer(std::uint8_t address = 7) {
  Answer answer;
  answer.address = address;
  answer.status = kAnswerUnknownRegister;
  for (int i = 0; i < 5; ++i) answer.d[i] = static_cast<std::uint8_t>(0x5A + i);
  answer.sequence = 0x5A;
  return answer;
}

bool Same(const Request& a, const Request& b) {
  return a.address == b.address && a.command == b.command && a.subcode == b.subcode &&
         a.sequence == b.sequence && std::equal(a.d, a.d + 5, b.d);
}

bool Same(const Answer& a, const Answer& b) {
  return a.address == b.address && a.status == b.status && a.sequence == b.sequence &&
         std::equal(a.d, a.d + 5, b.d);
}

TEST(Crc16, MatchesTheModbusCheckValue) {
  const std::string check = "123456789";
  EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0x4B37);
}

TEST(Frame, RoundTripsOnEveryTransport) {
  for (std::uint8_t address : {0, 1, 0xA5, 255}) {
    SCOPED_TRACE(int{address});
    const Request request = SampleRequest(address);
    const Answer answer = SampleAnswer(address);

    Request got_request;
    Bytes frame = EncodeRequest(request);
    ASSERT_EQ(frame.size(), RequestFrameSize());
    ASSERT_EQ(DecodeRequest(frame.data(), frame.size(), got_request), Decode::kOk);
    EXPECT_TRUE(Same(got_request, request));

    Answer got_answer;
    frame = EncodeAnswer(answer);
    ASSERT_EQ(frame.size(), AnswerFrameSize());
    ASSERT_EQ(DecodeAnswer(frame.data(), frame.size(), address, answer.sequence, got_answer),
              Decode::kOk);
    EXPECT_TRUE(Same(got_answer, answer));

    // On UDP the frame's sequence byte is the low byte of the datagram's.
    Request udp_request = request;
    udp_request.sequence = 0xEF;
    Answer udp_answer = answer;
    udp_answer.sequence = 0xEF;
    std::uint16_t sequence = 0;
    std::uint8_t baud = 0;
    frame = EncodeUdpRequest(request, 0xBEEF, 8);
    ASSERT_EQ(frame.size(), UdpRequestSize());
    ASSERT_EQ(DecodeUdpRequest(frame.data(), frame.size(), got_request, sequence, baud),
              Decode::kOk);
    EXPECT_TRUE(Same(got_request, udp_request));
    EXPECT_EQ(sequence, 0xBEEF);
    EXPECT_EQ(baud, 8);

    frame = EncodeUdpAnswer(answer, 0xBEEF);
    ASSERT_EQ(frame.size(), UdpAnswerSize());
    ASSERT_EQ(DecodeUdpAnswer(frame.data(), frame.size(), address, 0xBEEF, got_answer),
              Decode::kOk);
    EXPECT_TRUE(Same(got_answer, udp_answer));
  }
}

// Other programs and converters depend on where each byte sits.
TEST(Frame, LayoutCarriesTheSequenceByteAfterTheAddress) {
  const Bytes request = EncodeRequest(SampleRequest());
  ASSERT_EQ(request.size(), 12u);
  EXPECT_EQ(Bytes(request.begin(), request.begin() + 5), (Bytes{kRequestStart, 7, 0xA5, 103, 0}));
  const Bytes answer = EncodeAnswer(SampleAnswer());
  ASSERT_EQ(answer.size(), 11u);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 4),
            (Bytes{kAnswerStart, 7, 0x5A, kAnswerUnknownRegister}));
  for (const Bytes& frame : {request, answer}) {
    const std::uint16_t crc = Crc16(frame.data(), frame.size() - 2);
    EXPECT_EQ(frame[frame.size() - 2], crc & 0xFF);
    EXPECT_EQ(frame[frame.size() - 1], crc >> 8);
  }
  const Bytes udp_request = EncodeUdpRequest(SampleRequest(), 0x1234, 6);
  ASSERT_EQ(udp_request.size(), 15u);
  EXPECT_EQ(Bytes(udp_request.begin(), udp_request.begin() + 6),
            (Bytes{0x12, 0x34, 6, kRequestStart, 7, 0x34}));
  const Bytes udp_answer = EncodeUdpAnswer(SampleAnswer(), 0x1234);
  ASSERT_EQ(udp_answer.size(), 13u);
  EXPECT_EQ(Bytes(udp_answer.begin(), udp_answer.begin() + 5),
            (Bytes{0x12, 0x34, kAnswerStart, 7, 0x34}));
}

// A sound answer is taken only from the addressed module and only for the
// request in flight; the output stays untouched otherwise.
TEST(Frame, AnswerDecoderTakesOnlyTheAnswerToTheRequestInFlight) {
  Answer previous = SampleAnswer();
  previous.sequence = 0x59;
  Bytes damaged_sequence = EncodeAnswer(SampleAnswer());
  damaged_sequence[2] ^= 0x03;
  struct Case {
    const char* name;
    Bytes frame;
    std::uint8_t address;
    std::uint8_t sequence;
    Decode expected;
  };
  const std::vector<Case> cases = {
      {"current", EncodeAnswer(SampleAnswer()), 7, 0x5A, Decode::kOk},
      {"answer to the previous request", EncodeAnswer(previous), 7, 0x5A, Decode::kBadSequence},
      {"answer to a later request", EncodeAnswer(SampleAnswer()), 7, 0x59, Decode::kBadSequence},
      {"other module", EncodeAnswer(SampleAnswer()), 8, 0x5A, Decode::kBadAddress},
      {"sequence byte damaged", damaged_sequence, 7, 0x5A, Decode::kBadCrc},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Answer out;
    out.status = 99;
    EXPECT_EQ(DecodeAnswer(c.frame.data(), c.frame.size(), c.address, c.sequence, out), c.expected);
    EXPECT_EQ(out.status, c.expected == Decode::kOk ? kAnswerUnknownRegister : 99);
  }
}

// Each case damages a good answer datagram; the decoder must refuse it with
// the right reason and leave the output untouched.
TEST(Frame, UdpAnswerDecoderRefusesMalformedDatagrams) {
  const Bytes good = EncodeUdpAnswer(SampleAnswer(), 300);
  struct Case {
    const char* name;
    Bytes datagram;
    std::uint8_t address;
    std::uint16_t sequence;
    Decode expected;
  };
  auto with = [&](std::size_t index, std::uint8_t xor_mask) {
    Bytes copy = good;
    copy[index] ^= xor_mask;
    return copy;
  };
  Bytes longer = good;
  longer.push_back(0);
  // Sound frame, but its sequence byte is not the header's low byte (300 = 0x12C).
  Bytes disagreeing{0x01, 0x2C};
  Answer inner = SampleAnswer();
  inner.sequence = 0x2D;
  for (std::uint8_t b : EncodeAnswer(inner)) disagreeing.push_back(b);
  const std::vector<Case> cases = {
      {"empty", {}, 7, 300, Decode::kShort},
      {"truncated by one", Bytes(good.begin(), good.end() - 1), 7, 300, Decode::kShort},
      {"one byte too long", longer, 7, 300, Decode::kBadLength},
      {"start byte", with(2, 0xFF), 7, 300, Decode::kBadMarker},
      {"request start byte", with(2, kAnswerStart ^ kRequestStart), 7, 300, Decode::kBadMarker},
      {"frame sequence damaged", with(4, 0x01), 7, 300, Decode::kBadCrc},
      {"status damaged", with(5, 0x01), 7, 300, Decode::kBadCrc},
      {"frame sequence disagrees with header", disagreeing, 7, 300, Decode::kBadSequence},
      {"crc damaged", with(good.size() - 1, 0x80), 7, 300, Decode::kBadCrc},
      {"stale sequence", good, 7, 299, Decode::kBadSequence},
      {"other module", good, 8, 300, Decode::kBadAddress},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Answer out;
    out.status = 99;
    EXPECT_EQ(DecodeUdpAnswer(c.datagram.data(), c.datagram.size(), c.address, c.sequence, out),
              c.expected);
    EXPECT_EQ(out.status, 99);
  }
}

TEST(Frame, RequestDecodersRefuseMalformedInput) {
  const Bytes serial = EncodeRequest(SampleRequest());
  const Bytes udp = EncodeUdpRequest(SampleRequest(), 1, 4);
  struct Case {
    const char* name;
    Bytes bytes;
    bool is_udp;
    Decode expected;
  };
  Bytes bad_crc = serial;
  bad_crc[3] ^= 0x10;
  Bytes answer_frame = EncodeAnswer(SampleAnswer());
  answer_frame.push_back(0);  // padded to request length
  Bytes udp_long(600, 0);
  Bytes udp_disagreeing{0x00, 0x01, 4};  // header sequence 1, frame sequence 0xA5
  for (std::uint8_t b : serial) udp_disagreeing.push_back(b);
  const std::vector<Case> cases = {
      {"serial truncated", Bytes(serial.begin(), serial.end() - 2), false, Decode::kShort},
      {"serial bad crc", bad_crc, false, Decode::kBadCrc},
      {"serial answer frame", answer_frame, false, Decode::kBadMarker},
      {"udp no header", serial, true, Decode::kShort},
      {"udp long", udp_long, true, Decode::kBadLength},
      {"udp null", {}, true, Decode::kShort},
      {"udp frame sequence disagrees", udp_disagreeing, true, Decode::kBadSequence},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Request out;
    std::uint16_t sequence = 0;
    std::uint8_t baud = 0;
    const Decode result = c.is_udp ? DecodeUdpRequest(c.bytes.empty() ? nullptr : c.bytes.data(),
                                                      c.bytes.size(), out, sequence, baud)
                                   : DecodeRequest(c.bytes.data(), c.bytes.size(), out);
    EXPECT_EQ(result, c.expected);
  }
}

// Streams fed to the scanner in pieces of every size, as a serial line delivers them.
TEST(StreamScanner, FindsFramesBehindNoiseWhateverTheChunking) {
  const Bytes frame = EncodeRequest(SampleRequest());
  Bytes damaged = frame;
  damaged[5] ^= 0x01;
  struct Case {
    const char* name;
    Bytes stream;
    int frames;
  };
  auto join = [](std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  };
  const std::vector<Case> cases = {
      {"clean", frame, 1},
      {"stray bytes before", join({{0x00, 0xFF, 0x13}, frame}), 1},
      {"stray start bytes before", join({{kRequestStart, kRequestStart, 0x01}, frame}), 1},
      {"damaged then good", join({damaged, frame}), 1},
      {"truncated then good", join({Bytes(frame.begin(), frame.begin() + 6), frame}), 1},
      {"two back to back", join({frame, frame}), 2},
      {"answer frame ignored", join({EncodeAnswer(SampleAnswer()), frame}), 1},
  };
  for (const Case& c : cases) {
    for (std::size_t chunk = 1; chunk <= c.stream.size(); ++chunk) {
      SCOPED_TRACE(std::string(c.name) + " chunk " + std::to_string(chunk));
      StreamScanner scanner;
      int found = 0;
      Request out;
      for (std::size_t at = 0; at < c.stream.size(); at += chunk) {
        scanner.Feed(c.stream.data() + at, std::min(chunk, c.stream.size() - at));
        while (scanner.NextRequest(out)) {
          EXPECT_TRUE(Same(out, SampleRequest()));
          ++found;
        }
      }
      EXPECT_EQ(found, c.frames);
    }
  }
}

// What arrives before the answer to the request in flight (module 7, sequence
// 0x5A): sound frames are skipped whole and are not noise; anything else is.
TEST(StreamScanner, SkipsAnswersOfOtherModulesAndRequestsAndKeepsOwn) {
  Answer late = SampleAnswer();
  late.sequence = 0x59;
  const Bytes own = EncodeAnswer(SampleAnswer());
  Bytes damaged = own;
  damaged[6] ^= 0x40;
  struct Case {
    const char* name;
    Bytes before;
    bool noise;
  };
  const std::vector<Case> cases = {
      {"nothing", {}, false},
      {"another module's answer", EncodeAnswer(SampleAnswer(3)), false},
      {"late answer to the previous request", EncodeAnswer(late), false},
      {"damaged answer", damaged, true},
      {"stray bytes", {0x00, 0x5A, 0x13}, true},
  };
  for (const Case& c : cases) {
    for (bool own_follows : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (own_follows ? ", then own" : ", alone"));
      Bytes stream = c.before;
      if (own_follows) stream.insert(stream.end(), own.begin(), own.end());
      StreamScanner scanner;
      scanner.Feed(stream.data(), stream.size());
      Answer out;
      EXPECT_EQ(scanner.NextAnswer(7, 0x5A, out), own_follows);
      if (own_follows) {
        EXPECT_TRUE(Same(out, SampleAnswer()));
      }
      EXPECT_FALSE(scanner.NextAnswer(7, 0x5A, out));
      EXPECT_EQ(scanner.NoiseBytes() + scanner.Pending() > 0, c.noise);
      scanner.Clear();
      EXPECT_EQ(scanner.NoiseBytes(), 0u);
    }
  }
}

TEST(StreamScanner, RandomGarbageYieldsNothingAndStaysBounded) {
  std::mt19937 random(42);
  std::uniform_int_distribution<int> byte(0, 255);
  StreamScanner scanner;
  Request request;
  Answer answer;
  int frames = 0;
  for (int round = 0; round < 20000; ++round) {
    std::uint8_t chunk[37];
    for (auto& b : chunk) b = static_cast<std::uint8_t>(byte(random));
    scanner.Feed(chunk, sizeof chunk);
    while (scanner.NextRequest(request)) ++frames;
    while (scanner.NextAnswer(1, 0, answer)) ++frames;
    ASSERT_LE(scanner.Pending(), 64u);
  }
  // A CRC-16 lets about one random window in 65536 through; the stream above
  // is far shorter than what that would need to show up reliably.
  EXPECT_LE(frames, 2);
  scanner.Feed(nullptr, 10);
  EXPECT_LE(scanner.Pending(), 64u);
}

TEST(StreamScanner, OversizedFeedKeepsTheNewestFrame) {
  Bytes stream(1000, 0x00);
  const Bytes frame = EncodeRequest(SampleRequest());
  stream.insert(stream.end(), frame.begin(), frame.end());
  StreamScanner scanner;
  scanner.Feed(stream.data(), stream.size());
  Request out;
  EXPECT_TRUE(scanner.NextRequest(out));
}

}  // namespace
}  // namespace qm90
