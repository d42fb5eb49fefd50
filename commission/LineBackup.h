// The manifest of a line's backup: which modules were saved, at which address
// and rate, with their identification, the file of each (in the form of a
// single module's configuration file) and that file's SHA-256. Text in and
// text out only; the files are the caller's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm90commission {

inline constexpr const char* kManifestName = "manifest.qm90-line";
inline constexpr const char* kManifestMagic = "qm90-line-backup 1";
// Larger files are no manifests of ours.
inline constexpr std::size_t kManifestMaxBytes = 256 * 1024;

struct TBackupEntry {
  std::uint8_t address = 0;
  std::int32_t baud = 9600;
  std::string file;            // a plain name inside the backup's folder
  std::string sha256;          // lower-case hex of the file's bytes
  std::string identification;  // "QM-90    v.1.02", as the module gave it
  bool operator==(const TBackupEntry&) const = default;
};

struct TManifest {
  std::string link;  // the interface the modules were read over
  std::string time;  // when
  std::vector<TBackupEntry> modules;
};

// "module-001-9600.qm90": one name per address and rate.
std::string ModuleFileName(std::uint8_t address, std::int32_t baud);

// An identification as the manifest keeps it: control characters as '?'.
std::string ManifestText(std::string_view text);

std::string FormatManifest(const TManifest& manifest);

// Returns an empty text and fills manifest, or the reason ("line 7: ..."). A
// file name with a folder part, an address or rate out of range, a SHA-256
// that is not 64 hex digits or one address at one rate twice is refused.
std::string ParseManifest(std::string_view text, TManifest& manifest);

}  // namespace qm90commission
