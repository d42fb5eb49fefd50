#include "cli/ConfigFile.h"

#include <array>
#include <vector>

#include "link/Dekl.h"
#include "link/IntText.h"

namespace qm90cli {

namespace {

// Single-line comment text: no line breaks or other control characters.
std::string OneLine(std::string_view text) {
  std::string out;
  for (const char c : text) out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  return out;
}

std::string Decoded(const RegisterInfo& info, const RegisterValues& values) {
  const std::uint8_t value = ValueOf(values, info.number);
  if (info.bits)
    return std::string(info.channel == 'I' ? "DIN0..7: " : "DOUT0..7: ") + BitList(value);
  if (info.number == kRegAoutLow || info.number == kRegAoutHigh)
    return "aout-init " + std::to_string(AoutInitOf(values));
  if (info.number == kRegBaudIndex)
    return value <= 8 ? std::to_string(BaudFromIndex(value)) + " Bd" : "not a rate";
  return "";
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  while (true) {
    text = Trim(text);
    if (text.empty()) return words;
    std::size_t end = 0;
    while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
    words.push_back(text.substr(0, end));
    text.remove_prefix(end);
  }
}

// One "NUMBER NAME = VALUE" line; an empty text on success.
std::string ParseRegisterLine(std::string_view line, RegisterValues& values,
                              std::array<bool, kRegisters.size()>& seen) {
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return "expected NUMBER NAME = VALUE";
  const std::vector<std::string_view> left = Words(line.substr(0, equals));
  const std::vector<std::string_view> right = Words(line.substr(equals + 1));
  if (left.size() != 2 || right.size() != 1) return "expected NUMBER NAME = VALUE";
  std::int32_t number = 0;
  std::size_t index = kRegisters.size();
  if (TryStrToInt(left[0], number))
    for (std::size_t i = 0; i < kRegisters.size(); ++i)
      if (kRegisters[i].number == number) index = i;
  if (index == kRegisters.size())
    return "\"" + std::string(left[0]) + "\" is not a configuration register number";
  const RegisterInfo& info = kRegisters[index];
  if (left[1] != info.name)
    return "register " + std::to_string(info.number) + " is " + info.name + ", not \"" +
           std::string(left[1]) + "\"";
  if (seen[index]) return "register " + std::to_string(info.number) + " appears twice";
  std::int32_t value = 0;
  if (!TryStrToInt(right[0], value) || value < 0 || value > info.maximum)
    return std::string(info.name) + " takes 0.." + std::to_string(info.maximum) + ", not \"" +
           std::string(right[0]) + "\"";
  seen[index] = true;
  values[index] = static_cast<std::uint8_t>(value);
  return "";
}

}  // namespace

std::string FormatConfigFile(const RegisterValues& values, const ConfigFileHeader& header) {
  std::string out = std::string(kConfigFileMagic) + "\n";
  out += "# QM-90 module configuration written by qm90.\n";
  out += "# Module: " + OneLine(header.module_name) + "\n";
  out += "# Saved: " + OneLine(header.saved_at) + "\n";
  out += "# Read over: " + OneLine(header.link) + "\n";
  out += "# One line per configuration register: number, name, \"=\", value\n";
  out += "# (decimal, or hexadecimal after \"$\" or \"0x\"). Lines starting with \"#\" are\n";
  out += "# comments. `qm90 config load` keeps the target's address and rate unless\n";
  out += "# it is given --with-address.\n";
  for (const RegisterInfo& info : kRegisters) {
    const std::uint8_t value = ValueOf(values, info.number);
    const std::string decoded = Decoded(info, values);
    out += "\n# " + std::string(info.description) + (decoded.empty() ? "" : " (" + decoded + ")") +
           "\n";
    out += std::to_string(info.number) + " " + info.name + " = " +
           (info.bits ? HexByte(value) : std::to_string(value)) + "\n";
  }
  return out;
}

std::string ParseConfigFile(std::string_view text, RegisterValues& values) {
  if (text.size() > kConfigFileMaxBytes) return "too large for a configuration file";
  if (text.find('\0') != std::string_view::npos) return "damaged: it holds NUL bytes";
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

  RegisterValues parsed{};
  std::array<bool, kRegisters.size()> seen{};
  bool magic_seen = false;
  int line_number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = Trim(line);
    if (line.empty() || line.front() == '#') continue;
    const std::string where = "line " + std::to_string(line_number) + ": ";
    if (!magic_seen) {
      if (Words(line) != std::vector<std::string_view>{"qm90-config", "1"})
        return where + "not a qm90 configuration file (it must start with \"" + kConfigFileMagic +
               "\")";
      magic_seen = true;
      continue;
    }
    const std::string problem = ParseRegisterLine(line, parsed, seen);
    if (!problem.empty()) return where + problem;
  }
  if (!magic_seen) return "not a qm90 configuration file (empty)";
  for (std::size_t i = 0; i < kRegisters.size(); ++i)
    if (!seen[i])
      return "register " + std::to_string(kRegisters[i].number) + " (" + kRegisters[i].name +
             ") is missing";
  values = parsed;
  return "";
}

}  // namespace qm90cli
