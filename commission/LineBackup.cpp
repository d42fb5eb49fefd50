#include "commission/LineBackup.h"

#include <cstdio>
#include <set>

#include "base/Baud.h"

namespace qm90commission {

namespace {

constexpr std::string_view kLinkKey = "interface: ";
constexpr std::string_view kTimeKey = "time: ";
constexpr std::string_view kModuleKey = "module: ";

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.size() > 100) return false;
  for (const char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    if (!plain) return false;
  }
  return true;
}

bool IsSha256Hex(std::string_view text) {
  if (text.size() != 64) return false;
  for (const char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

bool ParseNumber(std::string_view text, std::int64_t maximum, std::int64_t& value) {
  if (text.empty() || text.size() > 7) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return value <= maximum;
}

// Cuts the next word (up to one blank) off the front of text.
std::string_view NextWord(std::string_view& text) {
  const std::size_t blank = text.find(' ');
  const std::string_view word = text.substr(0, blank);
  text.remove_prefix(blank == std::string_view::npos ? text.size() : blank + 1);
  return word;
}

// "ADDRESS BAUD FILE SHA256 IDENTIFICATION"; an empty text on success.
std::string ParseModule(std::string_view text, TBackupEntry& entry) {
  std::int64_t address = 0, baud = 0;
  if (!ParseNumber(NextWord(text), 255, address)) return "the address is not 0..255";
  if (!ParseNumber(NextWord(text), 115200, baud) ||
      base::BaudIndexOf(static_cast<std::int32_t>(baud)) < 0)
    return "the rate is not one of the nine";
  const std::string_view file = NextWord(text);
  if (!IsPlainFileName(file)) return "\"" + ManifestText(file) + "\" is not a plain file name";
  const std::string_view sha = NextWord(text);
  if (!IsSha256Hex(sha)) return "the SHA-256 is not 64 hex digits";
  entry = {static_cast<std::uint8_t>(address), static_cast<std::int32_t>(baud), std::string(file),
           std::string(sha), std::string(text)};
  return "";
}

}  // namespace

std::string ModuleFileName(std::uint8_t address, std::int32_t baud) {
  char name[48];
  std::snprintf(name, sizeof name, "module-%03u-%d.qm90", address, static_cast<int>(baud));
  return name;
}

std::string ManifestText(std::string_view text) {
  std::string out;
  for (const char c : text) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
  return out;
}

std::string FormatManifest(const TManifest& manifest) {
  std::string out = std::string(kManifestMagic) + "\n";
  out += "# A line's backup written by qm90: one configuration file per module.\n";
  out += "# module: ADDRESS BAUD FILE SHA-256 IDENTIFICATION\n";
  out += std::string(kLinkKey) + ManifestText(manifest.link) + "\n";
  out += std::string(kTimeKey) + ManifestText(manifest.time) + "\n";
  for (const TBackupEntry& m : manifest.modules)
    out += std::string(kModuleKey) + std::to_string(m.address) + " " + std::to_string(m.baud) +
           " " + m.file + " " + m.sha256 + " " + ManifestText(m.identification) + "\n";
  return out;
}

std::string ParseManifest(std::string_view text, TManifest& manifest) {
  if (text.size() > kManifestMaxBytes) return "too large for a manifest";
  if (text.find('\0') != std::string_view::npos) return "damaged: it holds NUL bytes";
  TManifest parsed;
  std::set<std::pair<int, int>> seen;
  bool magic = false;
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const std::string where = "line " + std::to_string(number) + ": ";
    if (!magic) {
      if (line != kManifestMagic)
        return where + "not a qm90 line backup (it must start with \"" + kManifestMagic + "\")";
      magic = true;
    } else if (line.substr(0, kLinkKey.size()) == kLinkKey) {
      parsed.link = line.substr(kLinkKey.size());
    } else if (line.substr(0, kTimeKey.size()) == kTimeKey) {
      parsed.time = line.substr(kTimeKey.size());
    } else if (line.substr(0, kModuleKey.size()) == kModuleKey) {
      TBackupEntry entry;
      const std::string problem = ParseModule(line.substr(kModuleKey.size()), entry);
      if (!problem.empty()) return where + problem;
      if (!seen.insert({entry.address, entry.baud}).second)
        return where + "address " + std::to_string(entry.address) + " at " +
               std::to_string(entry.baud) + " Bd appears twice";
      parsed.modules.push_back(entry);
    } else {
      return where + "expected \"interface:\", \"time:\" or \"module:\"";
    }
  }
  if (!magic) return "not a qm90 line backup (empty)";
  if (parsed.modules.empty()) return "it lists no module";
  manifest = parsed;
  return "";
}

}  // namespace qm90commission
