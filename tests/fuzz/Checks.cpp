#include "tests/fuzz/Checks.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>
#include <tuple>
#include <vector>

#include "link/Dekl.h"
#include "link/IntText.h"
#include "protocol/Frame.h"
#include "tests/support/TempDir.h"

namespace qm90fuzz {

namespace {

// ---------------------------------------------------------------- settings

// A private folder for the settings file, on tmpfs when there is one so that
// the writer's fsync costs nothing; removed when the process ends.
class WorkDir {
 public:
  WorkDir()
      : dir_("qm90-fuzz", access("/dev/shm", W_OK) == 0 ? std::filesystem::path("/dev/shm")
                                                        : std::filesystem::temp_directory_path()) {}
  std::string File() const { return dir_.Path().empty() ? "" : dir_.File("W_qm90.ini"); }

 private:
  qm90test::TempDir dir_;
};

std::string SettingsPath() {
  static WorkDir dir;
  return dir.File();
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out + "\"";
}

// The writer turns line breaks inside a value into blanks so that a value
// cannot start a line of its own, and the reader trims blanks: a carriage
// return the reader left inside a value may become a blank or vanish.
std::string WithoutCarriageReturns(std::string text) {
  std::replace(text.begin(), text.end(), '\r', ' ');
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool HasLoneCarriageReturn(const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i)
    if (data[i] == '\r' && (i + 1 == size || data[i + 1] != '\n')) return true;
  return false;
}

// Names the first persisted field in which two records differ; empty when none.
// With only_saved, the fields that SaveSettings writes for a's kind; with
// lone_cr, IP addresses that differ only where the file held a CR are equal.
std::string FieldDifference(const TData& a, const TData& b, bool only_saved, bool lone_cr) {
  auto number = [](const char* name, long long x, long long y) -> std::string {
    if (x == y) return {};
    return std::string(name) + " " + std::to_string(x) + " != " + std::to_string(y);
  };
  std::string diff = number("InterfaceKind", a.InterfaceKind, b.InterfaceKind);
  if (diff.empty()) diff = number("ModuleAddress", a.ModuleAddress, b.ModuleAddress);
  if (diff.empty()) diff = number("BaudRate", a.BaudRate, b.BaudRate);
  const bool com = a.InterfaceKind == 0 || a.InterfaceKind > 4;
  if (diff.empty() && (!only_saved || com)) diff = number("ComPort", a.ComPort, b.ComPort);
  if (diff.empty() && (!only_saved || a.InterfaceKind == 1))
    diff = number("IsaBaseAddress", a.IsaBaseAddress, b.IsaBaseAddress);
  if (only_saved && a.InterfaceKind != 4) return diff;
  if (diff.empty()) diff = number("UdpPort", a.UdpPort, b.UdpPort);
  if (diff.empty()) diff = number("UdpTimeout", a.UdpTimeout, b.UdpTimeout);
  const bool same_ip =
      lone_cr ? WithoutCarriageReturns(a.IpAddress) == WithoutCarriageReturns(b.IpAddress)
              : a.IpAddress == b.IpAddress;
  if (diff.empty() && !same_ip)
    diff = "IpAddress " + Quoted(a.IpAddress) + " != " + Quoted(b.IpAddress);
  return diff;
}

// ---------------------------------------------------------------- integers

// Written from the rule, not from the program's code: blanks, then a sign and
// decimal digits, or a hexadecimal prefix and hexadecimal digits.
std::optional<std::int32_t> ReferenceInt(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  int base = 10;
  bool negative = false;
  if (s.starts_with("0x") || s.starts_with("0X")) {
    base = 16;
    s.remove_prefix(2);
  } else if (s.starts_with("$") || s.starts_with("x") || s.starts_with("X")) {
    base = 16;
    s.remove_prefix(1);
  } else if (s.starts_with("+") || s.starts_with("-")) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  const std::string_view digits = base == 16 ? "0123456789abcdefABCDEF" : "0123456789";
  if (s.find_first_not_of(digits) != std::string_view::npos) return std::nullopt;
  const auto first_significant = s.find_first_not_of('0');
  if (first_significant == std::string_view::npos) return 0;
  s.remove_prefix(first_significant);
  if (s.size() > (base == 16 ? 8u : 10u)) return std::nullopt;
  const long long magnitude = std::stoll(std::string(s), nullptr, base);
  if (base == 16) return static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
  const long long value = negative ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

// ---------------------------------------------------------------- frames

using Bytes = std::vector<std::uint8_t>;

// CRC-16/MODBUS, bit by bit, as a second opinion on the program's own.
std::uint16_t ReferenceCrc(const std::uint8_t* data, std::size_t size) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < size; ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      const bool mix = ((crc ^ (data[i] >> bit)) & 1) != 0;
      crc = static_cast<std::uint16_t>((crc >> 1) ^ (mix ? 0xA001 : 0));
    }
  }
  return crc;
}

// The frames a receiver that sees the whole stream at once finds: from left
// to right, a start byte with a sound CRC begins a frame that is taken whole
// (and kept when it is for the expected address and sequence, if an address is
// given); anything else is skipped byte by byte.
std::vector<Bytes> ReferenceFrames(const Bytes& stream, std::uint8_t start, std::size_t size,
                                   std::optional<std::uint8_t> address, std::uint8_t sequence) {
  std::vector<Bytes> frames;
  std::size_t i = 0;
  while (i + size <= stream.size()) {
    const std::uint8_t* p = stream.data() + i;
    const std::uint16_t crc = static_cast<std::uint16_t>(p[size - 2] | (p[size - 1] << 8));
    if (p[0] != start || ReferenceCrc(p, size - 2) != crc) {
      ++i;
      continue;
    }
    if (!address || (p[1] == *address && p[2] == sequence)) frames.emplace_back(p, p + size);
    i += size;
  }
  return frames;
}

std::string CheckDatagrams(const Bytes& bytes, std::uint8_t address, std::uint16_t sequence) {
  const std::uint8_t* p = bytes.data();
  const std::size_t n = bytes.size();
  qm90::Answer answer;
  if (qm90::DecodeUdpAnswer(p, n, address, sequence, answer) == qm90::Decode::kOk &&
      (answer.address != address || qm90::EncodeUdpAnswer(answer, sequence) != bytes))
    return "DecodeUdpAnswer accepted a datagram that is not a sound answer";
  qm90::Request request;
  std::uint16_t got_sequence = 0;
  std::uint8_t baud_index = 0;
  if (qm90::DecodeUdpRequest(p, n, request, got_sequence, baud_index) == qm90::Decode::kOk &&
      qm90::EncodeUdpRequest(request, got_sequence, baud_index) != bytes)
    return "DecodeUdpRequest accepted a datagram that is not a sound request";
  if (qm90::DecodeAnswer(p, n, address, static_cast<std::uint8_t>(sequence), answer) ==
          qm90::Decode::kOk &&
      (answer.address != address || qm90::EncodeAnswer(answer) != bytes))
    return "DecodeAnswer accepted bytes that are not a sound answer";
  if (qm90::DecodeRequest(p, n, request) == qm90::Decode::kOk &&
      qm90::EncodeRequest(request) != bytes)
    return "DecodeRequest accepted bytes that are not a sound request";
  return {};
}

// The most a receiver hands the scanner at once in this check; above the
// serial driver's read of 256 bytes, so every read size it can meet is tried.
constexpr std::size_t kLargestRead = 300;

// Hands the scanners one read as the serial driver and the emulator do
// (FindAnswer / FindRequest over the whole read) and collects every frame.
struct StreamReceiver {
  std::uint8_t address = 0;
  std::uint8_t sequence = 0;
  qm90::StreamScanner answers, requests;
  std::vector<Bytes> got_answers, got_requests;

  void Read(const std::uint8_t* data, std::size_t size) {
    qm90::Answer answer;
    for (std::size_t pos = 0, used = 0;; pos += used) {
      if (!answers.FindAnswer(data + pos, size - pos, address, sequence, answer, used)) break;
      got_answers.push_back(qm90::EncodeAnswer(answer));
    }
    qm90::Request request;
    for (std::size_t pos = 0, used = 0;; pos += used) {
      if (!requests.FindRequest(data + pos, size - pos, request, used)) break;
      got_requests.push_back(qm90::EncodeRequest(request));
    }
  }
};

// Feeds the stream in reads of pseudo-random size (1 up to beyond the serial
// driver's read size), then in one piece; the scanners must find exactly the
// frames a receiver of the whole stream finds, with bounded memory.
std::string CheckStream(const Bytes& stream, std::uint8_t address, std::uint16_t seed) {
  constexpr std::size_t kPendingLimit = 64;
  constexpr std::size_t kRequestSize = 12, kAnswerSize = 11;
  const auto sequence = static_cast<std::uint8_t>(seed);
  const auto expected_answers =
      ReferenceFrames(stream, qm90::kAnswerStart, kAnswerSize, address, sequence);
  const auto expected_requests =
      ReferenceFrames(stream, qm90::kRequestStart, kRequestSize, std::nullopt, sequence);
  std::uint32_t state = seed | 1u;
  for (const bool at_once : {false, true}) {
    StreamReceiver receiver{address, sequence, {}, {}, {}, {}};
    for (std::size_t pos = 0; pos < stream.size();) {
      state = state * 1103515245u + 12345u;
      const std::size_t read =
          at_once ? stream.size() - pos
                  : std::min<std::size_t>(1 + (state >> 8) % kLargestRead, stream.size() - pos);
      receiver.Read(stream.data() + pos, read);
      pos += read;
      if (receiver.answers.Pending() > kPendingLimit || receiver.requests.Pending() > kPendingLimit)
        return "scanner holds more than " + std::to_string(kPendingLimit) + " bytes";
    }
    const std::string how = at_once ? " (stream in one read)" : " (stream in reads of any size)";
    if (receiver.got_answers != expected_answers)
      return "scanner answers differ from the frames in the stream" + how;
    if (receiver.got_requests != expected_requests)
      return "scanner requests differ from the frames in the stream" + how;
  }
  return {};
}

// Load, save, load again, save again, with the settings path set to path.
std::string SettingsRoundTrip(const std::string& path, bool lone_cr) {
  TData defaults, loaded, reloaded;
  SetDataDefaults(&defaults);
  SetDataDefaults(&loaded);
  SetDataDefaults(&reloaded);
  const bool found = LoadSettings(&loaded);
  std::string diff = FieldDifference(defaults, loaded, false, false);
  if (!found && !diff.empty()) return "LoadSettings returned false but changed the record: " + diff;

  if (!SaveSettings(&loaded)) return "SaveSettings failed in a writable folder";
  const std::string first_save = ReadFile(path);
  if (!LoadSettings(&reloaded)) return "LoadSettings found no interface in a file just saved";
  // Fields the first load did not read come from whatever the file held.
  diff = FieldDifference(loaded, reloaded, !found, lone_cr);
  if (!diff.empty()) return "record changed by saving and loading again: " + diff;

  if (!SaveSettings(&reloaded)) return "second SaveSettings failed";
  const std::string second_save = ReadFile(path);
  if (!lone_cr) {
    if (second_save != first_save) return "saving the same record twice wrote different bytes";
    return {};
  }
  // A value that kept a carriage return is written once with a blank in its
  // place; from then on saving must be stable.
  TData third;
  SetDataDefaults(&third);
  if (!LoadSettings(&third) || !SaveSettings(&third)) return "third load or save failed";
  if (ReadFile(path) != second_save) return "saving the same record again wrote different bytes";
  return {};
}

}  // namespace

bool IsValidUtf8(const std::string& text, std::size_t& code_points) {
  code_points = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t cp = 0;
    if (c < 0x80) {
      length = 1, cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      length = 2, cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      length = 3, cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      length = 4, cp = c & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += length;
    ++code_points;
  }
  return true;
}

std::string CheckSettingsFile(const std::uint8_t* data, std::size_t size) {
  const std::string path = SettingsPath();
  if (path.empty()) return "no temporary folder";
  if (!WriteFile(path, std::string(reinterpret_cast<const char*>(data), size)))
    return "cannot write the input file";
  SetSettingsFilePath(path);
  const std::string failure = SettingsRoundTrip(path, HasLoneCarriageReturn(data, size));
  SetSettingsFilePath("");
  return failure;
}

std::string CheckIntText(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  constexpr std::int32_t kUntouched = 0x5A5A5A5A;
  std::int32_t value = kUntouched;
  const bool ok = TryStrToInt(text, value);
  const std::optional<std::int32_t> expected = ReferenceInt(text);
  if (ok != expected.has_value())
    return std::string("TryStrToInt ") + (ok ? "accepted" : "refused") + " the text";
  if (ok && value != *expected)
    return "TryStrToInt gave " + std::to_string(value) + ", expected " + std::to_string(*expected);
  if (!ok && value != kUntouched) return "TryStrToInt changed the value on failure";
  const std::int32_t with_default = StrToIntDef(text, -7);
  if (with_default != (ok ? value : -7)) return "StrToIntDef disagrees with TryStrToInt";
  if (ok) {
    std::int32_t again = 0;
    if (!TryStrToInt(std::to_string(value), again) || again != value)
      return "the decimal form of " + std::to_string(value) + " does not read back";
  }
  return {};
}

std::string CheckSlotText(const std::uint8_t* data, std::size_t size) {
  TSlotBuffer slots{};
  std::copy_n(data, std::min(size, sizeof slots), reinterpret_cast<std::uint8_t*>(slots.data()));

  const std::string text = BufferToText(slots);
  std::size_t chars = 0;
  if (text.find('\0') != std::string::npos) return "BufferToText put a NUL into the text";
  if (!IsValidUtf8(text, chars)) return "BufferToText gave malformed UTF-8";
  if (chars > slots.size()) return "BufferToText gave more characters than slots";

  // Every character of that text has a Windows-1250 code, so it survives
  // the trip into a buffer, cut to the 99 characters a buffer carries.
  TSlotBuffer again{};
  again.fill(-1);
  if (TextToBuffer(text, again) != 0) return "TextToBuffer returned non-zero";
  if (again[0] != 0) return "TextToBuffer wrote into slot 0";
  const std::string back = BufferToText(again);
  std::size_t back_chars = 0;
  if (!IsValidUtf8(back, back_chars) || back_chars != std::min<std::size_t>(chars, 99) ||
      !text.starts_with(back))
    return "text from BufferToText does not survive TextToBuffer";

  // Any bytes as a text: codes 0..255 only, slot 0 empty, at most 99 characters.
  const std::string raw(reinterpret_cast<const char*>(data), size);
  if (TextToBuffer(raw, again) != 0) return "TextToBuffer returned non-zero";
  if (again[0] != 0) return "TextToBuffer wrote into slot 0";
  for (std::int32_t slot : again)
    if (slot < 0 || slot > 255) return "TextToBuffer wrote a slot outside 0..255";
  const std::string raw_back = BufferToText(again);
  if (!IsValidUtf8(raw_back, back_chars) || back_chars > 99)
    return "BufferToText of TextToBuffer gave malformed or long text";
  return {};
}

std::string CheckFrames(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return {};
  const std::uint8_t address = data[0];
  const auto sequence = static_cast<std::uint16_t>((data[1] << 8) | data[2]);
  const std::vector<std::uint8_t> bytes(data + 3, data + size);
  std::string failure = CheckDatagrams(bytes, address, sequence);
  if (failure.empty()) failure = CheckStream(bytes, address, sequence);
  return failure;
}

}  // namespace qm90fuzz
