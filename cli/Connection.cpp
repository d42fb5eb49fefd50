#include "cli/Connection.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "base/Baud.h"
#include "base/Files.h"
#include "link/Dekl.h"
#include "link/IntText.h"
#include "link/InterfaceKinds.h"

namespace qm90cli {

namespace {

// The option word and what the kind is; the kind's designation comes from the
// kind table.
struct KindName {
  const char* word;
  const char* what;
};
constexpr KindName kKinds[kInterfaceKindCount] = {
    {"com", "serial port"},   {"isa", "ISA card"},      {"pci", "PCI card"},
    {"usb", "USB converter"}, {"lan", "LAN converter"},
};

std::string KindText(std::uint8_t kind) {
  const std::string what = kKinds[kind].what;
  // The serial line is named by its port number, which the caller appends.
  if (kind == kKindSerial) return what + " COM";
  return what + " " + kInterfaceKinds[kind].settings_name;
}

std::string HexBase(std::uint16_t base) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (int shift = 12; shift >= 0; shift -= 4) out += digits[(base >> shift) & 0xF];
  while (out.size() > 3 && out[0] == '0') out.erase(0, 1);
  return out + "h";
}

// "300h" as the connection window shows it, or the integer text rule.
bool ParseIsaBase(std::string text, std::uint16_t& base) {
  std::int64_t value = 0;
  if (!text.empty() && (text.back() == 'h' || text.back() == 'H')) {
    text.pop_back();
    text.insert(0, "$");
  }
  if (!ParseInteger(text, 0, 0xFFFF, value)) return false;
  base = static_cast<std::uint16_t>(value);
  return true;
}

// A settings file is a few hundred bytes; far more is not one.
constexpr std::size_t kSettingsFileMaxBytes = 64 * 1024;

std::string CheckSettingsFile(const std::string& path) {
  std::string text;
  errno = 0;
  switch (base::ReadRegularFile(path, kSettingsFileMaxBytes, text)) {
    case base::ReadStatus::kOk:
      return "";
    case base::ReadStatus::kMissing:
      return std::strerror(ENOENT);
    case base::ReadStatus::kNotRegular:
      return "not a regular file";
    case base::ReadStatus::kTooLarge:
      return "too large for a settings file";
    case base::ReadStatus::kFailed:
      break;
  }
  return std::strerror(errno ? errno : EIO);
}

}  // namespace

const char* InterfaceWord(std::uint8_t kind) {
  return kind < kInterfaceKindCount ? kKinds[kind].word : "?";
}

std::string InterfaceDescription(const LinkParams& params) {
  if (params.kind >= kInterfaceKindCount) return "unknown interface";
  std::string text = KindText(params.kind);
  switch (params.kind) {
    case kKindSerial:
      return text + std::to_string(params.com_port);
    case kKindIsa:
      return text + " at " + HexBase(params.isa_base);
    case kKindLan:
      return text + " (" + params.ip + ":" + std::to_string(params.udp_port) + ")";
    default:
      return text;
  }
}

bool ParseInteger(const std::string& text, std::int64_t minimum, std::int64_t maximum,
                  std::int64_t& value) {
  std::int32_t parsed = 0;
  const auto low = static_cast<std::int32_t>(std::max<std::int64_t>(minimum, INT32_MIN));
  const auto high = static_cast<std::int32_t>(std::min<std::int64_t>(maximum, INT32_MAX));
  if (!TryStrToIntInRange(text, low, high, parsed)) return false;
  value = parsed;
  return true;
}

bool ParseBaud(const std::string& text, std::int32_t& baud) {
  std::int32_t parsed = 0;
  if (!TryStrToInt(text, parsed) || base::BaudIndexOf(parsed) < 0) return false;
  baud = parsed;
  return true;
}

std::string ResolveLink(const ConnectionOptions& options, LinkParams& params) {
  TData data;
  SetDataDefaults(&data);
  if (!options.settings_file.empty()) {
    // A file named explicitly must be one: never fall back to the defaults.
    if (const std::string problem = CheckSettingsFile(options.settings_file); !problem.empty())
      return "settings file " + options.settings_file + ": " + problem;
    SetSettingsFilePath(options.settings_file);
  }
  LoadSettings(&data);
  SetSettingsFilePath("");

  params.kind = data.InterfaceKind < kInterfaceKindCount ? data.InterfaceKind : 0;
  params.com_port = data.ComPort;
  params.isa_base = data.IsaBaseAddress;
  params.ip = data.IpAddress;
  params.udp_port = data.UdpPort;
  params.udp_timeout = data.UdpTimeout;
  params.address = data.ModuleAddress;
  // A rate from the file that is none of the nine stands for its list entry.
  params.baud = BaudFromIndex(IndexFromBaud(data.BaudRate));

  std::int64_t value = 0;
  if (!options.interface.empty()) {
    bool found = false;
    for (std::uint8_t kind = 0; kind < kInterfaceKindCount; ++kind)
      if (options.interface == kKinds[kind].word) {
        params.kind = kind;
        found = true;
      }
    if (!found) return "--interface takes com, isa, pci, usb or lan";
  }
  if (!options.port.empty()) {
    if (!ParseInteger(options.port, 1, 65535, value)) return "--port takes a COM number 1..65535";
    params.com_port = static_cast<std::uint16_t>(value);
  }
  if (!options.base.empty() && !ParseIsaBase(options.base, params.isa_base))
    return "--base takes the card's I/O address, e.g. 300h or 0x300";
  if (!options.ip.empty()) params.ip = options.ip;
  if (!options.udp_port.empty()) {
    if (!ParseInteger(options.udp_port, 0, 65535, value)) return "--udp-port takes 0..65535";
    params.udp_port = static_cast<std::int32_t>(value);
  }
  if (!options.timeout.empty()) {
    if (!ParseInteger(options.timeout, 0, 65535, value)) return "--timeout takes 0..65535 ms";
    params.udp_timeout = static_cast<std::int32_t>(value);
  }
  if (!options.address.empty()) {
    if (!ParseInteger(options.address, 0, 255, value)) return "--address takes 0..255";
    params.address = static_cast<std::uint8_t>(value);
  }
  if (!options.baud.empty() && !ParseBaud(options.baud, params.baud))
    return "--baud takes one of 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200";
  if (params.kind == kKindLan && params.ip.empty()) return "the LAN converter needs --ip";
  return "";
}

}  // namespace qm90cli
