// Where qm90 finds its link: the settings file of the window program (read,
// never written) overlaid with the connection options of the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/ModuleAccess.h"

namespace qm90cli {

// The connection options as given (empty when not given); the texts are
// checked by ResolveLink.
struct ConnectionOptions {
  std::string settings_file;  // empty: W_qm90.ini beside the executable
  std::string interface;      // com|isa|pci|usb|lan
  std::string port, base, ip, udp_port, timeout, address, baud;
};

// The option word and the description of an interface kind.
const char* InterfaceWord(std::uint8_t kind);  // "com" .. "lan"
std::string InterfaceDescription(
    const LinkParams& params);  // "LAN converter QB-314 (127.0.0.1:5000)"

// Fills params from the settings file and the options. Returns an empty text,
// or what is wrong with an option (a usage error).
std::string ResolveLink(const ConnectionOptions& options, LinkParams& params);

// The program's integer text rule with a range; false when the text is not an
// integer in minimum..maximum.
bool ParseInteger(const std::string& text, std::int64_t minimum, std::int64_t maximum,
                  std::int64_t& value);
// One of the nine baud rates, in the integer text rule.
bool ParseBaud(const std::string& text, std::int32_t& baud);

}  // namespace qm90cli
