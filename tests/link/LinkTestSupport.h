// Small helpers shared by the link layer's tests: a private temporary folder
// and whole-file reads and writes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "tests/common/TempFolder.h"

namespace linktest {

// Settings-file names as they stand on disk (Windows-1250 bytes).
inline constexpr const char* kSecConnection = "P\xF8ipojen\xED";   // Připojení
inline constexpr const char* kKeyInterface = "Rozhran\xED";        // Rozhraní
inline constexpr const char* kKeyPort = "\xC8\xEDslo portu";       // Číslo portu
inline constexpr const char* kKeyIsaBase = "B\xE1zov\xE1 adresa";  // Bázová adresa

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.
class TempDir {
 public:
  TempDir() {
    path_ = qm90test::MakeTempFolder("qm90-linktest-");
  }
  ~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

  // Names of the entries in the folder.
  std::set<std::string> Entries() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_))
      names.insert(e.path().filename().string());
    return names;
  }

 private:
  std::filesystem::path path_;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace linktest
