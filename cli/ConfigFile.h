// The configuration file of `qm90 config save` and `config load`: UTF-8 text,
// commented, one line per register with its number, name and value. Only
// text in and text out here; reading and writing the file is the caller's.
#pragma once

#include <string>
#include <string_view>

#include "cli/Registers.h"

namespace qm90cli {

inline constexpr const char* kConfigFileMagic = "qm90-config 1";
// Larger files are not configuration files of ours.
inline constexpr std::size_t kConfigFileMaxBytes = 64 * 1024;

struct ConfigFileHeader {
  std::string module_name;  // "QM-90-01 v.1.02"
  std::string saved_at;     // time stamp text
  std::string link;         // interface, address and rate the values came over
};

std::string FormatConfigFile(const RegisterValues& values, const ConfigFileHeader& header);

// Reads all seven registers or none: returns an empty text and sets values, or
// returns the reason ("line 7: ...") and leaves values untouched.
std::string ParseConfigFile(std::string_view text, RegisterValues& values);

}  // namespace qm90cli
