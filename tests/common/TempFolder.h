// A new, empty folder of the test's own under the system's temporary folder
// (what mkdtemp gives on POSIX, on every platform).
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace qm90test {

// Returns the folder's path, or "" when none could be made.
inline std::string MakeTempFolder(const std::string& prefix,
                                  std::filesystem::path base = std::filesystem::path()) {
  std::error_code ec;
  if (base.empty()) base = std::filesystem::temp_directory_path(ec);
  if (ec) return "";
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto path = base / (prefix + std::to_string(random() % 1000000000u));
    if (std::filesystem::create_directory(path, ec)) {
      std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::replace, ec);
      return path.string();
    }
  }
  return "";
}

}  // namespace qm90test
