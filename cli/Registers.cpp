#include "cli/Registers.h"

#include <cstdio>

#include "base/Baud.h"
#include "link/Dekl.h"
#include "link/IntText.h"

namespace qm90cli {

namespace {

std::size_t IndexOf(std::uint8_t number) {
  for (std::size_t i = 0; i < kRegisters.size(); ++i)
    if (kRegisters[i].number == number) return i;
  return 0;  // callers pass only the table's numbers
}

bool ParseInRange(std::string_view text, std::int32_t minimum, std::int32_t maximum,
                  std::int32_t& value) {
  return TryStrToIntInRange(text, minimum, maximum, value);
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// "DIN3" / "DOUT5" -> channel letter and bit number.
bool ParseChannel(std::string_view text, char& channel, int& bit) {
  const std::string lower = Lower(text);
  std::string_view digits;
  if (lower.rfind("din", 0) == 0) {
    channel = 'I';
    digits = std::string_view(lower).substr(3);
  } else if (lower.rfind("dout", 0) == 0) {
    channel = 'O';
    digits = std::string_view(lower).substr(4);
  } else {
    return false;
  }
  if (digits.size() != 1 || digits[0] < '0' || digits[0] > '7') return false;
  bit = digits[0] - '0';
  return true;
}

std::string SetBit(std::string_view byte_key, std::string_view channel_text,
                   std::string_view value_text, RegisterValues& values) {
  char channel = 0;
  int bit = 0;
  if (!ParseChannel(channel_text, channel, bit))
    return "\"" + std::string(channel_text) + "\" is not a channel DIN0..DIN7 or DOUT0..DOUT7";
  const RegisterInfo* target = nullptr;
  for (const RegisterInfo& info : kRegisters)
    if (info.bits && byte_key == info.name) target = &info;
  if (!target) return "\"" + std::string(byte_key) + "\" has no channel bits";
  if (target->channel != channel)
    return std::string(target->name) + " holds " + (target->channel == 'I' ? "DIN" : "DOUT") +
           " bits, not " + std::string(channel_text);
  std::int32_t bit_value = 0;
  if (!ParseInRange(value_text, 0, 1, bit_value))
    return "a channel takes 0 or 1, not \"" + std::string(value_text) + "\"";
  std::uint8_t& byte = ValueOf(values, target->number);
  const auto mask = static_cast<std::uint8_t>(1u << bit);
  byte = static_cast<std::uint8_t>(bit_value ? (byte | mask) : (byte & ~mask));
  return "";
}

}  // namespace

const RegisterInfo* FindRegister(std::uint8_t number) {
  for (const RegisterInfo& info : kRegisters)
    if (info.number == number) return &info;
  return nullptr;
}

std::uint8_t& ValueOf(RegisterValues& values, std::uint8_t number) {
  return values[IndexOf(number)];
}

std::uint8_t ValueOf(const RegisterValues& values, std::uint8_t number) {
  return values[IndexOf(number)];
}

std::uint16_t AoutInitOf(const RegisterValues& values) {
  return static_cast<std::uint16_t>(ValueOf(values, kRegAoutLow) |
                                    (ValueOf(values, kRegAoutHigh) << 8));
}

std::string HexByte(std::uint8_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

std::string BitList(std::uint8_t value) {
  std::string out;
  for (int bit = 0; bit < 8; ++bit) {
    if (bit) out += ' ';
    out += (value >> bit) & 1 ? '1' : '0';
  }
  return out;
}

std::string ApplySetting(std::string_view assignment, RegisterValues& values) {
  const std::size_t equals = assignment.find('=');
  if (equals == std::string_view::npos || equals == 0)
    return "\"" + std::string(assignment) + "\" is not KEY=VALUE";
  const std::string key = Lower(assignment.substr(0, equals));
  const std::string_view value = assignment.substr(equals + 1);
  if (value.empty())
    return "\"" + std::string(assignment) +
           "\" has no value (a shell takes \"$\" as the start of a variable: write 0x8000, "
           "or quote the argument)";
  std::int32_t number = 0;

  if (key == "address") {
    if (!ParseInRange(value, 0, 255, number)) return "address takes 0..255";
    ValueOf(values, kRegAddress) = static_cast<std::uint8_t>(number);
    return "";
  }
  if (key == "baud") {
    if (!TryStrToInt(value, number) || base::BaudIndexOf(number) < 0)
      return "baud takes one of 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200";
    ValueOf(values, kRegBaudIndex) = IndexFromBaud(number);
    return "";
  }
  if (key == "aout-init") {
    if (!ParseInRange(value, 0, 65535, number)) return "aout-init takes 0..65535";
    ValueOf(values, kRegAoutLow) = static_cast<std::uint8_t>(number & 0xFF);
    ValueOf(values, kRegAoutHigh) = static_cast<std::uint8_t>(number >> 8);
    return "";
  }
  for (const RegisterInfo& info : kRegisters) {
    if (!info.bits || key != info.name) continue;
    if (!ParseInRange(value, 0, 255, number)) return key + " takes a byte 0..255 (0x00..0xFF)";
    ValueOf(values, info.number) = static_cast<std::uint8_t>(number);
    return "";
  }
  const std::size_t dot = key.find('.');
  if (dot != std::string::npos)
    return SetBit(key.substr(0, dot), key.substr(dot + 1), value, values);
  char channel = 0;
  int bit = 0;
  if (ParseChannel(key, channel, bit)) {
    if (channel == 'I') return SetBit("din-negation", key, value, values);
    return "DOUT bits lie in two bytes: say dout-negation." + std::string(assignment) +
           " or dout-init." + std::string(assignment);
  }
  return "unknown key \"" + key +
         "\" (address, baud, aout-init, din-negation, dout-negation, dout-init, "
         "BYTE.DOUTk, DINk)";
}

}  // namespace qm90cli
