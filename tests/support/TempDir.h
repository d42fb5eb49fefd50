// The tests' one temporary folder: made fresh under the system's temporary
// folder (or another base), removed with everything in it when the object goes.
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <system_error>

#include "tests/common/TempFolder.h"

namespace qm90test {

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "qm90-test",
                   const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
    path_ = MakeTempFolder(prefix + "-", base);
  }
  ~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    // A test may have taken the write right away; give it back first.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Empty when the folder could not be made.
  const std::filesystem::path& Path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

  // Names of the entries in the folder.
  std::set<std::string> Entries() const {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(path_, ec))
      names.insert(e.path().filename().string());
    return names;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace qm90test
